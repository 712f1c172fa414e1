#pragma once

// QR code symbols: the printer's own two-dimensional symbol commands, and the symbol's modules for printers that
// only take pictures. Pure functions.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <orvik/Data.h>
#include <orvik/QRCode.h>

namespace OrvikFramework::QrSymbol {

/// The modules of a model 2 symbol, row by row, true for dark.
struct Modules {
    int size = 0;
    std::vector<bool> dark;
    bool at(int x, int y) const { return dark[static_cast<std::size_t>(y) * size + x]; }
};

/// The smallest symbol holding `data` as bytes at `level`; absent, with `error` saying why, when none can.
std::optional<Modules> encode(std::string_view data, QRErrorCorrection level, std::string& error);

/// GS ( k: select model 2, set the module size and the error-correction level, store the data, print it.
Data printCommands(std::string_view data, std::uint8_t moduleSize, QRErrorCorrection level);

/// A 1-bit picture of the symbol with its 4-module quiet zone, `moduleSize` dots per module, rows of
/// `rowBytes` bytes with the leftmost dot in the high bit.
struct Raster {
    int rowBytes = 0;
    int rows = 0;
    Data bits;
};
Raster raster(const Modules& modules, int moduleSize);

/// The quiet zone around a symbol, in modules.
inline constexpr int quietZone = 4;

}  // namespace OrvikFramework::QrSymbol
