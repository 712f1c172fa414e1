#pragma once

#include <cstdint>
#include <optional>

namespace OrvikFramework {

/// The kind of link to the printer. Equality and std::hash go by case ordinal (0, 1, 2); those of the
/// byte enums below by raw value, which is what the enums' underlying values are.
enum class WIRELESSS_INTERFACE { BLUETOOTH, WIFI, SOCKET };

/// Text alignment; the raw values are the parameter byte of ESC a (ASCII "0", "1", "2").
enum class ALIGNMENT : std::uint8_t { LEFT = 48, CENTER = 49, RIGHT = 50 };

/// Where a barcode's human-readable text is printed; the raw values are the parameter byte of GS H.
enum class BARCODE_HRI_POS : std::uint8_t { NON = 0, ABOVE = 1, BENEATH = 2 };

/// The case for a raw value, or absent for any other byte.
std::optional<ALIGNMENT> makeALIGNMENT(std::uint8_t rawValue);
/// The case for a raw value, or absent for any other byte.
std::optional<BARCODE_HRI_POS> makeBARCODE_HRI_POS(std::uint8_t rawValue);

/// The raw value of an enum case.
constexpr std::uint8_t rawValue(ALIGNMENT alignment) { return static_cast<std::uint8_t>(alignment); }
/// The raw value of an enum case.
constexpr std::uint8_t rawValue(BARCODE_HRI_POS position) { return static_cast<std::uint8_t>(position); }

/// Bits of the print-mode byte (ESC ! n), to be ORed together and passed to PrintMode.
inline constexpr std::int64_t PRINT_MODE__CHAR_FONT_B = 0x01;
inline constexpr std::int64_t PRINT_MODE__EMPHASIZED_SELECTED = 0x08;
inline constexpr std::int64_t PRINT_MODE__DOUBLE_HEIGHT_SELECTED = 0x10;
inline constexpr std::int64_t PRINT_MODE__DOUBLE_WIDTH_SELECTED = 0x20;
inline constexpr std::int64_t PRINT_MODE__UNDERLINE_SELECTED = 0x80;

}  // namespace OrvikFramework
