#include "core/StatusBytes.h"

#include "core/EscPos.h"

namespace OrvikFramework::StatusBytes {
namespace {

// Bits 1 and 4 are set and bits 0 and 7 clear in every answer, so a reader can tell a status byte from other data.
constexpr std::uint8_t fixedMask = 0x93;
constexpr std::uint8_t fixedBits = 0x12;

// Printer status.
constexpr std::uint8_t offline = 0x08;
// Off-line cause.
constexpr std::uint8_t coverOpen = 0x04;
constexpr std::uint8_t stoppedByPaperEnd = 0x20;
constexpr std::uint8_t errorOccurred = 0x40;
// Error cause: cutter, unrecoverable, auto-recoverable.
constexpr std::uint8_t unrecoverable = 0x20;
constexpr std::uint8_t anyError = 0x08 | unrecoverable | 0x40;
// Roll paper sensor: each condition is reported on two bits; either one counts.
constexpr std::uint8_t nearEnd = 0x0C;
constexpr std::uint8_t paperAbsent = 0x60;

std::uint8_t bit(bool on, std::uint8_t mask) { return on ? mask : 0; }

}  // namespace

Data request(std::uint8_t kind) { return {EscPos::DLE, EscPos::EOT, kind}; }

bool isStatusByte(std::uint8_t byte) { return (byte & fixedMask) == fixedBits; }

}  // namespace OrvikFramework::StatusBytes

namespace OrvikFramework {

std::optional<PrinterStatus> decodePrinterStatus(const Data& answers) {
    using namespace StatusBytes;
    if (answers.size() != lastKind - firstKind + 1) return std::nullopt;
    for (const std::uint8_t byte : answers)
        if (!isStatusByte(byte)) return std::nullopt;
    const std::uint8_t printer = answers[0], cause = answers[1], errors = answers[2], paper = answers[3];
    PrinterStatus status;
    status.online = !(printer & offline);
    status.coverOpen = cause & coverOpen;
    status.paperNearEnd = paper & nearEnd;
    status.paperEnd = (paper & paperAbsent) || (cause & stoppedByPaperEnd);
    status.error = (cause & errorOccurred) || (errors & anyError);
    status.raw = answers;
    return status;
}

}  // namespace OrvikFramework

namespace OrvikFramework::StatusBytes {

std::uint8_t answer(std::uint8_t kind, const PrinterStatus& s) {
    switch (kind) {
        case 1: return fixedBits | bit(!s.canPrint(), offline);
        case 2: return fixedBits | bit(s.coverOpen, coverOpen) | bit(s.paperEnd, stoppedByPaperEnd) | bit(s.error, errorOccurred);
        case 3: return fixedBits | bit(s.error, unrecoverable);
        case 4: return fixedBits | bit(s.paperNearEnd, nearEnd) | bit(s.paperEnd, paperAbsent);
        default: return fixedBits;
    }
}

}  // namespace OrvikFramework::StatusBytes
