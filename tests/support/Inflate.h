#pragma once

#include <optional>

#include <orvik/Data.h>

namespace OrvikFramework::Testing {

// Decompresses exactly one gzip member with zlib; absent when the bytes are not one complete, intact member.
std::optional<Data> gunzip(const Data& compressed);

}  // namespace OrvikFramework::Testing
