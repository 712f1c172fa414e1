#pragma once

#include <cstdint>
#include <string_view>

#include <orvik/Error.h>

namespace OrvikFramework {

/// How much of a QR symbol may be damaged and still read: about 7, 15, 25 or 30 %. The raw values are the
/// printer's own codes for the level.
enum class QRErrorCorrection : std::uint8_t { L = 48, M = 49, Q = 50, H = 51 };

/// Dots per QR module the printer accepts.
inline constexpr std::uint8_t QRSmallestModule = 1;
inline constexpr std::uint8_t QRLargestModule = 16;

/// InvalidArgument, saying why, when `data` fits no model 2 symbol at `level`; a printer would print nothing.
Status checkQRCode(std::string_view data, QRErrorCorrection level);

}  // namespace OrvikFramework
