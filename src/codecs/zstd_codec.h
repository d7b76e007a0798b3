#pragma once

#include <memory>
#include <string>

#include "codec.h"

// zstd through libzstd: a streaming decompression of every frame in turn,
// skippable frames passed over and each checksum present checked, and a
// compression at level 1 into frames that carry their checksum.
// The decoder holds a window of the size a frame declares, up to
// kMostWindowLog; a larger one is refused with its own message, before any
// output is created when it is the first frame's.

std::unique_ptr<ByteSource> zstdDecoder(ByteSource& log, const std::string& logName);
std::unique_ptr<Encoder> zstdEncoder();
