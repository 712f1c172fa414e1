#pragma once

// Real-time status requests and their one-byte answers (decodePrinterStatus reads them); pure functions.
#include <cstdint>

#include <orvik/Data.h>
#include <orvik/PrinterStatus.h>

namespace OrvikFramework::StatusBytes {

/// The kinds asked for, in order: printer, off-line cause, error cause, roll paper sensor.
inline constexpr std::uint8_t firstKind = 1;
inline constexpr std::uint8_t lastKind = 4;

/// DLE EOT n.
Data request(std::uint8_t kind);
/// True when the byte has the bits every status answer carries (bits 1 and 4 set, bits 0 and 7 clear); anything
/// else is an echo or unrelated data, not a status.
bool isStatusByte(std::uint8_t byte);
/// A printer's answer to `kind` (other kinds: the fixed bits alone). An open cover, an empty roll or an error take
/// the printer off-line too, as on a real one; an error is reported as unrecoverable.
std::uint8_t answer(std::uint8_t kind, const PrinterStatus& status);

}  // namespace OrvikFramework::StatusBytes
