#pragma once

// Encoders of the GS ( k commands for a model 2 QR code, one buffer per command.
#include <cstdint>
#include <string_view>

#include <orvik/Data.h>

namespace OrvikFramework::Commands {

/// The most bytes a QR code can hold (numeric data at level L); the printer refuses longer stores.
inline constexpr std::size_t qrLargestStore = 7089;

/// Function 165: select model 2.
Data qrSelectModel2();
/// Function 167: module size in dots.
Data qrModuleSize(std::uint8_t dots);
/// Function 169: error-correction level, 48 (L) to 51 (H).
Data qrErrorCorrection(std::uint8_t level);
/// Function 180: store the symbol data; at most qrLargestStore bytes.
Data qrStore(std::string_view data);
/// Function 181: print the stored symbol.
Data qrPrint();

}  // namespace OrvikFramework::Commands
