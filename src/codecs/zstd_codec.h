#pragma once

#include <memory>
#include <string>

#include "codec.h"

// zstd through libzstd: a streaming decompression of every frame in turn,
// skippable frames passed over and each checksum present checked, and a
// compression at level 1 into frames that carry their checksum.
std::unique_ptr<ByteSource> zstdDecoder(ByteSource& log, const std::string& logName);
std::unique_ptr<Encoder> zstdEncoder();
