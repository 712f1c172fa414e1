#pragma once

// One-dimensional barcodes: checking and completing data per symbology, the printer's GS k command, and the way
// back from a GS k command to the data it carries. Pure functions.
#include <cstdint>
#include <string>
#include <string_view>

#include <orvik/Barcode.h>
#include <orvik/Data.h>
#include <orvik/Error.h>

namespace OrvikFramework::Barcodes {

/// Data as a symbology carries it: check digits in place, GS1 application identifiers in parentheses.
struct Checked {
    Symbology symbology;
    std::string data;
};

/// The data checked against what the symbology can carry, completed with its check digit where it has one.
Result<Checked> check(Symbology symbology, std::string_view data);

/// GS k m n d1..dn (function B) for checked data; CODE128 and GS1-128 in the shortest mix of code sets.
Result<Data> printCommand(const Checked& barcode);

/// GS H n, GS f n, GS h n, GS w n; an error for a height of 0 or a module width outside 1-6.
Result<Data> settingCommands(const BarcodeOptions& options);

/// What a GS k command with system m (either numbering) and these data bytes carries, checked as above.
Result<Checked> fromPrintCommand(std::int64_t m, const Data& bytes);

}  // namespace OrvikFramework::Barcodes
