#pragma once

#include <cstdint>
#include <vector>

#include <orvik/Data.h>

#include "core/ImageConvert.h"

namespace OrvikFramework::Testing {

// A grey picture with every pixel computed by `shade(x, y)`.
template <typename Shade>
ImageConvert::GreyImage greyImage(int width, int height, Shade shade) {
    ImageConvert::GreyImage image{width, height, std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height)};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) image.pixels[static_cast<std::size_t>(y) * width + x] = shade(x, y);
    return image;
}

// The picture encoded as a grey PNG, as other programs write them.
Data encodePng(const ImageConvert::GreyImage& image);

// `filter` 0-4 writes every row with that PNG filter; -1 lets the encoder choose row by row.
Data encodePng(int width, int height, int channels, const std::vector<std::uint8_t>& bytes, int filter = -1);
// `channels` (1-4) bytes a pixel, each computed by `shade(x, y, channel)`, encoded as an 8-bit PNG.
template <typename Shade>
Data encodePng(int width, int height, int channels, Shade shade, int filter = -1) {
    std::vector<std::uint8_t> bytes;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < channels; ++c) bytes.push_back(static_cast<std::uint8_t>(shade(x, y, c)));
    return encodePng(width, height, channels, bytes, filter);
}

// The picture encoded as a baseline JPEG.
Data encodeJpeg(const ImageConvert::GreyImage& image);

}  // namespace OrvikFramework::Testing
