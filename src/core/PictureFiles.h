#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace OrvikFramework::PictureFiles {

/// The eight bytes every PNG file starts with.
inline constexpr std::uint8_t pngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};

/// A PNG number (chunk lengths, sizes): four bytes, most significant first.
inline std::uint32_t bigEndian32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

/// The length a BMP, PNG or GIF file's own structure says it has (headers, pixel rows, chunks, blocks up to the
/// end marker); for other files, and where the structure cannot tell, `size`. More than `size`: the file is cut
/// short, which the picture decoder would fill with black or garbage rather than refuse.
std::uint64_t claimedLength(const std::uint8_t* bytes, std::size_t size);

/// The same for a PNG read a chunk header at a time through `read(offset, out, count)`, which is false when those
/// bytes are not there.
std::uint64_t pngClaimedLength(const std::function<bool(std::uint64_t, std::uint8_t*, std::size_t)>& read,
                               std::uint64_t size);

}  // namespace OrvikFramework::PictureFiles
