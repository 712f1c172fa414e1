#pragma once

#include <optional>

#include <orvik/Image.h>

namespace OrvikFramework::Images {

/// Decodes the picture into 8-bit RGBA; absent when the decoder cannot.
std::optional<RenderedBitmap> render(const DecodedImage& image);

}  // namespace OrvikFramework::Images
