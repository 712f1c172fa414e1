#pragma once

#include <cstdint>

#include <orvik/Data.h>

namespace OrvikFramework {

/// A 1-bit picture: rows of (width + 7) / 8 bytes, top row first, the leftmost dot in the high bit, 1 prints.
struct MonoBitmap {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    Data rows;

    std::uint32_t rowBytes() const { return (width + 7) / 8; }
    bool black(std::uint32_t x, std::uint32_t y) const {
        return rows[std::size_t{y} * rowBytes() + x / 8] & (0x80 >> (x % 8));
    }
    bool operator==(const MonoBitmap&) const = default;
};

/// The command a picture is sent with.
enum class ImageMode {
    Raster,    ///< GS v 0, the whole picture at once
    Graphics,  ///< GS ( L / GS 8 L: stored in the printer's graphics buffer, then printed
    Column,    ///< ESC *: bands of 24 dots, eight dots a byte down each column
};

}  // namespace OrvikFramework
