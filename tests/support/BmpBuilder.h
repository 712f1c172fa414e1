#pragma once

#include <array>
#include <cstdint>
#include <functional>

#include <orvik/Data.h>

namespace OrvikFramework::Testing {

// A picture to write as a BMP file: colour index per pixel (y = 0 is the top row) and the file's options.
struct BmpLayout {
    std::int64_t width = 8;
    std::int64_t height = 1;
    std::function<int(std::int64_t x, std::int64_t y)> index = [](std::int64_t x, std::int64_t y) {
        return (x * 7 + y * 13 + (x * y) % 5) % 3 == 0 ? 0 : 1;
    };
    std::array<std::uint32_t, 2> palette{0x000000, 0xFFFFFF};  // 0xRRGGBB of colours 0 and 1
    int extraColours = 0;                                      // colour-table entries after the first two
    bool topDown = false;
    std::uint8_t padding = 0x00;  // bit pattern of everything right of the picture in each row
    std::uint16_t bitCount = 1;   // 1, or 24 for a true-colour file
    Data trailing{};              // bytes after the pixel array
};

Data bmpFile(const BmpLayout& layout);

// The raster rows the printer should get for the picture, packed straight from the pixels: top row first,
// rows of 4 × ⌈width ÷ 32⌉ bytes, a 1 bit for each pixel of the darker colour (colour 0 when both are alike).
Data expectedRows(const BmpLayout& layout);

}  // namespace OrvikFramework::Testing
