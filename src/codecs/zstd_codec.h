#pragma once

#include <memory>
#include <string>

#include "codec.h"

// zstd through libzstd: a streaming decompression of every frame in turn,
// skippable frames passed over and each checksum present checked, and a
// compression at level 1 into frames that carry their checksum.
// The largest window read, as a power of two: 1 GiB where the address space
// is 64-bit, 128 MiB (zstd -d's own default) elsewhere. The decoder holds a
// window of the size a frame declares; a larger one is refused with its own
// message, before any output is created when it is the first frame's.
inline constexpr int kMostZstdWindowLog = sizeof(void*) >= 8 ? 30 : 27;

std::unique_ptr<ByteSource> zstdDecoder(ByteSource& log, const std::string& logName);
std::unique_ptr<Encoder> zstdEncoder();
