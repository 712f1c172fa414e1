#pragma once

#include <optional>

#include <orvik/Image.h>

namespace OrvikFramework::Images {

/// Bits per pixel of every rendered bitmap.
inline constexpr std::int64_t renderedBitsPerPixel = 32;

/// Decodes the picture into 8-bit RGBA; absent when the decoder cannot.
std::optional<RenderedBitmap> render(const DecodedImage& image);

}  // namespace OrvikFramework::Images
