#pragma once

#include <cstdint>

namespace OrvikFramework {

/// Error-correction level of a QR code; the raw values are the parameter byte of GS ( k function 169.
enum class QR_ERROR_CORRECTION : std::uint8_t { L = 48, M = 49, Q = 50, H = 51 };

/// The raw value of an enum case.
constexpr std::uint8_t rawValue(QR_ERROR_CORRECTION level) { return static_cast<std::uint8_t>(level); }

/// Largest module size, in dots, that GS ( k function 167 accepts; the smallest is 1.
inline constexpr std::uint8_t QR_LARGEST_MODULE_SIZE = 16;

}  // namespace OrvikFramework
