#include "core/StatusBytes.h"

namespace OrvikFramework::StatusBytes {
namespace {

constexpr std::uint8_t DLE = 0x10;
constexpr std::uint8_t EOT = 0x04;
constexpr std::uint8_t fixedMask = 0x93;
constexpr std::uint8_t fixedBits = 0x12;

// Printer status.
constexpr std::uint8_t offline = 0x08;
// Off-line cause.
constexpr std::uint8_t coverOpen = 0x04;
constexpr std::uint8_t stoppedByPaperEnd = 0x20;
constexpr std::uint8_t errorOccurred = 0x40;
// Error cause: cutter, unrecoverable, auto-recoverable.
constexpr std::uint8_t anyError = 0x08 | 0x20 | 0x40;
// Roll paper sensor: each condition is reported on two bits; either one counts.
constexpr std::uint8_t nearEnd = 0x0C;
constexpr std::uint8_t paperAbsent = 0x60;

}  // namespace

Data request(std::uint8_t kind) { return {DLE, EOT, kind}; }

bool isStatusByte(std::uint8_t byte) { return (byte & fixedMask) == fixedBits; }

std::optional<PrinterStatus> decode(const Data& answers) {
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

}  // namespace OrvikFramework::StatusBytes
