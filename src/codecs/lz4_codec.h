#pragma once

#include <memory>
#include <string>

#include "codec.h"

// lz4's frame format through liblz4: every frame of a log in turn, linked
// or independent blocks, each block and content checksum present checked,
// skippable frames passed over. Outputs are frames at lz4's default (fast)
// level that carry a content checksum.
std::unique_ptr<ByteSource> lz4Decoder(ByteSource& log, const std::string& logName);
std::unique_ptr<Encoder> lz4Encoder();
