#include <orvik/vprinter/PrinterState.h>

#include "core/StatusBytes.h"

namespace OrvikFramework::VirtualPrinter {

std::uint8_t PrinterState::statusByte(std::uint8_t kind) const {
    return StatusBytes::answer(kind, {.online = online, .coverOpen = coverOpen, .paperNearEnd = paperNearEnd,
                                      .paperEnd = paperEnd, .error = error});
}

}  // namespace OrvikFramework::VirtualPrinter
