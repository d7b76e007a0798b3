#pragma once

#include <memory>
#include <string>

#include "codec.h"

// gzip through Intel's ISA-L (igzip): a streaming inflate of every member in
// turn, each member's CRC-32 and length checked, and a deflate at level 1.
std::unique_ptr<ByteSource> isalGzipDecoder(ByteSource& log, const std::string& logName);
std::unique_ptr<Encoder> isalGzipEncoder();
