#pragma once

// The gzip wrapper the SDK reaches zlib through.
#include <optional>

#include <orvik/Data.h>

namespace OrvikFramework::Gzip {

/// zlib's default compression level.
inline constexpr int defaultCompression = -1;

/// One gzip member holding the DEFLATE compression of the whole buffer; empty for an empty buffer,
/// absent when zlib fails (for example on a level outside -1 to 9).
std::optional<Data> gzipped(const Data& data, int level = defaultCompression);

/// Whether the buffer begins with the gzip identification bytes 1F 8B.
bool isGzipped(const Data& data);

}  // namespace OrvikFramework::Gzip
