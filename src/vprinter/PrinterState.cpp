#include <orvik/vprinter/PrinterState.h>

namespace OrvikFramework::VirtualPrinter {
namespace {

// Bits 1 and 4 are set in every answer, so a reader can tell a status byte from other data.
constexpr std::uint8_t fixedBits = 0x12;

std::uint8_t bit(bool on, std::uint8_t mask) { return on ? mask : 0; }

}  // namespace

std::uint8_t PrinterState::statusByte(std::uint8_t kind) const {
    const bool offline = !online || coverOpen || paperOut || error;
    switch (kind) {
        case 1: return fixedBits | bit(offline, 0x08);
        case 2: return fixedBits | bit(coverOpen, 0x04) | bit(paperOut, 0x20) | bit(error, 0x40);
        case 3: return fixedBits | bit(error, 0x20);  // an unrecoverable error
        case 4: return fixedBits | bit(paperNearEnd, 0x0C) | bit(paperOut, 0x60);
        default: return fixedBits;
    }
}

}  // namespace OrvikFramework::VirtualPrinter
