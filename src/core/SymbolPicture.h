#pragma once

// Barcodes and PDF417 symbols drawn here, for printers without the symbol commands and for the virtual printer.
#include <cstdint>
#include <string_view>

#include <orvik/Barcode.h>
#include <orvik/BitImage.h>
#include <orvik/Error.h>

#include "core/Barcodes.h"

namespace OrvikFramework::SymbolPicture {

/// The barcode with its quiet zones, `moduleWidth` dots a module and bars `height` dots high; the
/// human-readable text under it when `withText`.
Result<MonoBitmap> barcode(const Barcodes::Checked& barcode, std::uint8_t moduleWidth, std::uint8_t height,
                           bool withText);

/// The PDF417 symbol with its quiet zone; an error when the options are out of range or the data fits no symbol.
Result<MonoBitmap> pdf417(std::string_view data, const Pdf417Options& options);

}  // namespace OrvikFramework::SymbolPicture
