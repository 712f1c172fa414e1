#pragma once

#include <cstdint>
#include <optional>

#include <orvik/Data.h>

namespace OrvikFramework {

/// What a printer reports of itself in answer to the four real-time status requests (DLE EOT 1 to 4).
struct PrinterStatus {
    bool online = true;
    bool coverOpen = false;
    bool paperNearEnd = false;
    /// The roll is empty, or printing stopped because of it.
    bool paperEnd = false;
    /// A cutter, mechanical or other error, recoverable or not.
    bool error = false;
    /// The answers to DLE EOT 1, 2, 3 and 4, in that order.
    Data raw = {};

    /// True when nothing keeps the printer from printing; a roll near its end still prints.
    bool canPrint() const { return online && !coverOpen && !paperEnd && !error; }

    bool operator==(const PrinterStatus&) const = default;
};

/// The status from the answers to DLE EOT 1 to 4, in that order, as read from a printer's back channel; absent
/// unless there are exactly four bytes and each is a status byte.
std::optional<PrinterStatus> decodePrinterStatus(const Data& answers);

}  // namespace OrvikFramework
