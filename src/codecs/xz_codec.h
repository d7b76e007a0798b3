#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "codec.h"

// xz through liblzma: every stream of a log in turn, stream padding between
// and after them, each block's check verified (CRC32, CRC64, SHA-256, or
// none); a check of a type liblzma does not know, which xz -d only warns
// of, is refused. A stream whose dictionary is larger than 2^kMostWindowLog
// bytes is refused as unreadable, before the decoder allocates it. Outputs
// are streams made at preset 1 (xz -1), with a CRC64 check.
// The most memory the decoder may use: the largest dictionary read, and
// room for the rest of its state.
inline constexpr std::uint64_t kMostXzDecoderMemory =
    (std::uint64_t{1} << kMostWindowLog) + (std::uint64_t{1} << 20);

std::unique_ptr<ByteSource> xzDecoder(ByteSource& log, const std::string& logName);
std::unique_ptr<Encoder> xzEncoder();
// The memory one encoder holds.
inline constexpr std::size_t kXzEncoderMemory = std::size_t{9} << 20;
