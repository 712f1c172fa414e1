#pragma once

#include <cstdint>
#include <optional>

#include <orvik/Data.h>

namespace OrvikFramework {

/// A picture recognised in a file's bytes, with the size its header gives; its pixels are produced by rendering.
struct DecodedImage {
    std::int64_t width = 0;
    std::int64_t height = 0;
    Data encoded;

    /// Recognises an image file's bytes (BMP, PNG, JPEG, GIF, ...); absent when they are no picture.
    static std::optional<DecodedImage> decode(Data encoded);
};

/// A rendered picture: 8-bit RGBA pixels, top row first.
struct RenderedBitmap {
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::int64_t bitsPerPixel = 0;
    std::int64_t bytesPerRow = 0;
    Data pixels;
};

/// What LoadBMPFile gives: the picture's size, the renderer's bits per pixel, the raster bytes per row and the
/// raster rows (top row first, a 1 bit prints a dot); all zero and no pixels when the file cannot be used.
struct BMPLoadResult {
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::int64_t bitsPerPixel = 0;
    std::int64_t bytesPerRow = 0;
    std::optional<Data> pixels;

    bool operator==(const BMPLoadResult&) const = default;
};

}  // namespace OrvikFramework
