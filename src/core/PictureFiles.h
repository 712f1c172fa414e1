#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace OrvikFramework::PictureFiles {

/// The length a BMP, PNG or GIF file's own structure says it has (headers, pixel rows, chunks, blocks up to the
/// end marker); for other files, and where the structure cannot tell, `size`. More than `size`: the file is cut
/// short, which the picture decoder would fill with black or garbage rather than refuse.
std::uint64_t claimedLength(const std::uint8_t* bytes, std::size_t size);

/// The same for a PNG read a chunk header at a time through `read(offset, out, count)`, which is false when those
/// bytes are not there.
std::uint64_t pngClaimedLength(const std::function<bool(std::uint64_t, std::uint8_t*, std::size_t)>& read,
                               std::uint64_t size);

}  // namespace OrvikFramework::PictureFiles
