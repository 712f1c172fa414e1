#pragma once

// Encoders of the ESC/POS commands the SDK object sends; pure functions, one buffer per piece.
#include <array>
#include <cstdint>
#include <string_view>

#include <orvik/Data.h>

namespace OrvikFramework::Commands {

Data initPrinter();
Data textAlignment(std::uint8_t alignment);
Data printMode(std::uint8_t mode);
/// UTF-8 text followed by CR LF.
Data textLine(std::string_view text);
/// The buffer without its last byte (nothing when empty), followed by CR LF.
Data dataLine(const Data& data);
/// The buffer without its last byte; empty for an empty buffer.
Data withoutLastByte(const Data& data);
Data feedPaper(std::uint8_t units);
Data cutPaper();
Data selectCutMode(std::uint8_t m, std::uint8_t n);

/// HRI position, height, width, barcode-system header, then the text with NUL, CR, LF.
std::array<Data, 5> barcode(std::uint8_t hriPosition, std::uint8_t height, std::uint8_t width, std::string_view text);
inline constexpr std::size_t barcodeHeaderPiece = 3;

/// GS v 0 m xL xH yL yH.
Data rasterHeader(std::uint8_t m, std::uint8_t xL, std::uint8_t xH, std::uint8_t yL, std::uint8_t yH);

}  // namespace OrvikFramework::Commands
