#pragma once

// QR code symbols drawn with libqrencode, shared by the raster fallback and the virtual printer.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <orvik/Data.h>

namespace OrvikFramework::QrSymbol {

/// Modules a reader needs blank around the symbol.
inline constexpr int quietZone = 4;

/// A square of modules, row by row, true = dark; quiet zone not included.
struct Matrix {
    int size = 0;
    std::vector<bool> dark;

    bool at(int x, int y) const { return dark[static_cast<std::size_t>(y) * static_cast<std::size_t>(size) +
                                                static_cast<std::size_t>(x)]; }
};

/// The model 2 symbol of the bytes (8-bit mode, smallest version) at level 48 (L) to 51 (H); absent, with the
/// reason in `problem`, when the bytes are empty, too many for a QR code or the level is unknown.
std::optional<Matrix> encode(const Data& bytes, std::uint8_t level, std::string& problem);

/// The symbol with its quiet zone as raster rows, 1 bits dark, `moduleDots` dots per module.
struct Raster {
    int rowBytes = 0;
    int rows = 0;
    Data bits;
};
Raster toRaster(const Matrix& matrix, int moduleDots);

}  // namespace OrvikFramework::QrSymbol
