#pragma once

#include <memory>
#include <string>

#include "codec.h"

// gzip through zlib, for systems without ISA-L (ISA-L has code for x86-64
// and 64-bit Arm only, and its Debian package cannot sit beside another
// architecture's): a streaming inflate of every member in turn, each
// member's header CRC (when it has one), CRC-32 and length checked, and a
// deflate at level 1.
std::unique_ptr<ByteSource> zlibGzipDecoder(ByteSource& log, const std::string& logName);
std::unique_ptr<Encoder> zlibGzipEncoder();
