#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <orvik/Data.h>

namespace OrvikFramework::VirtualPrinter {

// The bars of a one-dimensional barcode, one entry per module (true = bar), quiet zones included.
struct BarPattern {
    std::vector<bool> modules;
    std::string hri;      // the human-readable text printed with it
    std::string problem;  // set when the content cannot be encoded; modules are then empty
};

// Encodes barcode content for the GS k system m (either numbering).
BarPattern encodeBarcode(std::int64_t system, const Data& content);

}  // namespace OrvikFramework::VirtualPrinter
