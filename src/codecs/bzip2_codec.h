#pragma once

#include <memory>
#include <string>

#include "codec.h"

// bzip2 through libbz2: every stream of a log in turn (concatenated files,
// pbzip2's and lbzip2's output), each block's CRC and each stream's
// combined CRC checked; bytes after the last stream, which bzip2 -d ignores
// with a warning, are refused. Outputs are streams of 900 kB blocks
// (bzip2 -9, its default), or of one smaller block where a buffer fits one.
// The decoder asks libbz2 for at most this many bytes a call: libbz2 does
// not count what a call wrote of a block it then finds corrupt, so those
// bytes, at most these, are not given out.
inline constexpr std::size_t kBzip2MostPerCall = std::size_t{64} << 10;

std::unique_ptr<ByteSource> bzip2Decoder(ByteSource& log, const std::string& logName);
std::unique_ptr<Encoder> bzip2Encoder();
// The memory one encoder holds while it compresses (libbz2's 400 kB plus
// eight bytes per byte of a block).
inline constexpr std::size_t kBzip2EncoderMemory = std::size_t{8} << 20;
