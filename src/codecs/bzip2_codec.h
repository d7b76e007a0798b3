#pragma once

#include <memory>
#include <string>

#include "codec.h"

// bzip2 through libbz2: every stream of a log in turn (concatenated files,
// pbzip2's and lbzip2's output), each block's CRC and each stream's
// combined CRC checked; bytes after the last stream, which bzip2 -d ignores
// with a warning, are refused. Outputs are streams of 900 kB blocks
// (bzip2 -9, its default).
std::unique_ptr<ByteSource> bzip2Decoder(ByteSource& log, const std::string& logName);
std::unique_ptr<Encoder> bzip2Encoder();
// The memory one encoder holds while it compresses (libbz2's 400 kB plus
// eight bytes per byte of a block).
inline constexpr std::size_t kBzip2EncoderMemory = std::size_t{8} << 20;
