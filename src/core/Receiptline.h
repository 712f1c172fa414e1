#pragma once

// Receipt documents in the receiptline markup: a table of `|`-separated columns aligned by the spaces around
// them, text decorations, rules, cuts and `{key: value}` properties for widths, borders, codes, pictures and raw
// commands. Laid out here into printable blocks; pure.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <orvik/Barcode.h>
#include <orvik/Data.h>
#include <orvik/Error.h>
#include <orvik/QRCode.h>
#include <orvik/Receiptline.h>

#include "core/Layout.h"

namespace OrvikFramework::Receiptline {

/// The decorations a character carries, in Layout::Unit::style.
inline constexpr std::uint32_t underline = 1, emphasis = 2, invert = 4;
/// Character width and height multipliers of a style, 1-6.
inline std::uint8_t widthScale(std::uint32_t style) { return static_cast<std::uint8_t>(((style >> 4) & 7) + 1); }
inline std::uint8_t heightScale(std::uint32_t style) { return static_cast<std::uint8_t>(((style >> 8) & 7) + 1); }

/// A barcode or QR code as the document asks for it.
struct Code {
    bool qr = false;
    Symbology symbology = Symbology::Code128;
    std::string data;
    BarcodeOptions barcode{72, 2, HriPosition::None, HriFont::A};
    std::uint8_t cellSize = 3;
    QRErrorCorrection level = QRErrorCorrection::L;
};

/// One thing to print, in document order.
struct Block {
    enum class Kind { Line, Cut, Code, Image, Command };
    Kind kind = Kind::Line;
    Layout::Units line;  ///< Line: the characters, padded to their places
    Layout::Align align = Layout::Align::Center;  ///< Code, Image
    Code code;
    Data bytes;  ///< Image: the PNG file; Command: the bytes to send
};

/// The document laid out on lines of `columns` characters; InvalidArgument for a document too large or a
/// picture that is not base64.
Result<std::vector<Block>> layout(std::string_view document, int columns);

}  // namespace OrvikFramework::Receiptline
