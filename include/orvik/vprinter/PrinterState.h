#pragma once

#include <cstdint>
#include <functional>

#include <orvik/Data.h>

namespace OrvikFramework::VirtualPrinter {

/// Receives the bytes the printer answers status requests with.
using ReplySink = std::function<void(const Data& reply)>;

/// The condition the virtual printer reports when asked for its real-time status (DLE EOT 1 to 4).
struct PrinterState {
    bool online = true;
    bool coverOpen = false;
    bool paperNearEnd = false;
    bool paperEnd = false;
    bool error = false;
    /// False: status requests are decoded but never answered, like a printer without status read-back.
    bool answers = true;

    /// The answer to DLE EOT `kind` (1 to 4). An open cover, an empty roll or an error take the printer
    /// off-line too, as on a real one.
    std::uint8_t statusByte(std::uint8_t kind) const;
};

}  // namespace OrvikFramework::VirtualPrinter
