#pragma once

// One-bit BMP files turned into raster rows for GS v 0.
#include <cstdint>
#include <string>
#include <variant>

#include <orvik/Data.h>

namespace OrvikFramework::BmpRaster {

/// Bytes per raster row: 4 × ⌈width ÷ 32⌉, the row length of a 1-bit BMP.
std::int64_t bytesPerRow(std::int64_t width);

/// The widest row GS v 0 can describe in its xL, xH bytes.
inline constexpr std::int64_t maxBytesPerRow = 0xFFFF;

/// The picture's rows in printer order (top row first, each bytesPerRow(width) bytes, a 1 bit is a dark dot,
/// the bits right of the picture 0), or the reason the file cannot give them.
std::variant<Data, std::string> printerRows(const Data& file, std::int64_t width, std::int64_t height);

}  // namespace OrvikFramework::BmpRaster
