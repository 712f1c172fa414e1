#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <orvik/Data.h>
#include <orvik/ImageConversion.h>

namespace OrvikFramework::ImageConvert {

/// A grey picture, one byte a pixel, 0 black to 255 white, rows top to bottom.
struct GreyImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;
};

/// A 1-bit picture in printer raster order: rows top to bottom, (width + 7) / 8 bytes a row, MSB first, 1 = black.
struct BitImage {
    int width = 0;
    int height = 0;
    Data rows;
    int rowBytes() const { return (width + 7) / 8; }
    bool black(int x, int y) const { return rows[static_cast<std::size_t>(y) * rowBytes() + x / 8] & (0x80 >> (x % 8)); }
};

using Dither = OrvikFramework::Dither;

/// The widest picture a conversion produces, in dots, and the most pixels it will hold in memory.
inline constexpr int maxWidth = PictureMaxWidth;
inline constexpr std::int64_t maxPixels = 64LL * 1024 * 1024;

/// Decodes PNG, JPEG, GIF (first frame) or BMP; transparent parts become white. Absent with `error` set on failure.
std::optional<GreyImage> decode(const Data& encoded, std::string& error);

/// Scales to `width` keeping the aspect ratio: area averaging when shrinking, bilinear when enlarging.
/// Absent with `error` set when the width is out of range or the result would be too large.
std::optional<GreyImage> scaleToWidth(const GreyImage& image, int width, std::string& error);

/// Reduces to black and white; `threshold` is the grey level below which a pixel is black.
BitImage dither(const GreyImage& image, Dither method, std::uint8_t threshold = 128);

/// A standard 1-bit BMP: 62-byte header, bottom-up rows padded to 4 bytes, palette index 0 black, 1 white.
Data encodeBmp(const BitImage& image);

}  // namespace OrvikFramework::ImageConvert
