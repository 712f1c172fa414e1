#include <orvik/Enums.h>

namespace OrvikFramework {

std::optional<ALIGNMENT> makeALIGNMENT(std::uint8_t rawValue) {
    if (rawValue < 48 || rawValue > 50) return std::nullopt;
    return static_cast<ALIGNMENT>(rawValue);
}

std::optional<BARCODE_HRI_POS> makeBARCODE_HRI_POS(std::uint8_t rawValue) {
    if (rawValue > 2) return std::nullopt;
    return static_cast<BARCODE_HRI_POS>(rawValue);
}

}  // namespace OrvikFramework
