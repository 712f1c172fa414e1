#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include <orvik/Error.h>

namespace OrvikFramework {

/// The one-dimensional symbologies the printer draws itself (GS k).
enum class Symbology {
    UpcA,     ///< 11 digits, or 12 with the check digit
    UpcE,     ///< 6 digits (number system 0), 7 with the number system 0 or 1, or 8 with the check digit
    Ean13,    ///< 12 digits, or 13 with the check digit
    Ean8,     ///< 7 digits, or 8 with the check digit
    Code39,   ///< 0-9, A-Z, space and - . $ / + %
    Itf,      ///< an even number of digits
    Codabar,  ///< 0-9 - $ : / . +, between start and stop characters A-D
    Code93,   ///< ASCII
    Code128,  ///< ASCII; the shortest mix of code sets A, B and C is chosen
    Gs1_128,  ///< application identifiers in parentheses, e.g. "(01)09501101530003(17)250101"
};

/// The symbology of a lower-case name (upca upce ean13 ean8 code39 itf codabar code93 code128 gs1-128).
std::optional<Symbology> symbologyNamed(std::string_view name);

/// Where the human-readable text goes (GS H).
enum class HriPosition : std::uint8_t { None = 0, Above = 1, Below = 2, Both = 3 };
/// The font of the human-readable text (GS f).
enum class HriFont : std::uint8_t { A = 0, B = 1 };

/// How a barcode is drawn.
struct BarcodeOptions {
    std::uint8_t height = 80;       ///< bar height in dots, 1-255 (GS h)
    std::uint8_t moduleWidth = 2;   ///< dots per narrowest bar, 1-6 (GS w)
    HriPosition hriPosition = HriPosition::Below;
    HriFont hriFont = HriFont::A;
};

/// How a PDF417 symbol is drawn (GS ( k, symbol 48).
struct Pdf417Options {
    std::uint8_t columns = 0;      ///< data columns, 1-30; 0 lets the printer choose
    std::uint8_t rows = 0;         ///< rows, 3-90; 0 lets the printer choose
    std::uint8_t moduleWidth = 3;  ///< dots per module, 2-8
    std::uint8_t rowHeight = 3;    ///< row height in module widths, 2-8
    std::uint8_t errorLevel = 1;   ///< error correction level, 0-8
};

/// InvalidArgument, saying why, when the symbology cannot carry `data`; what PrintBarcode would refuse.
Status checkBarcode(Symbology symbology, std::string_view data);
/// InvalidArgument when the options are out of range or `data` fits no PDF417 symbol.
Status checkPdf417(std::string_view data, const Pdf417Options& options = {});

}  // namespace OrvikFramework
