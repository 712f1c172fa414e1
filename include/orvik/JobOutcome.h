#pragma once

#include <cstdint>
#include <optional>

#include <orvik/Error.h>
#include <orvik/PrinterStatus.h>

namespace OrvikFramework {

/// What became of the bytes handed to the link since the last successful wait: all accepted, or the first error.
struct JobOutcome {
    /// The first failure, absent when every byte was accepted by the link (and, after ConfirmPrinted, the printer
    /// reported that it can print).
    std::optional<Error> error;
    /// Bytes the link accepted.
    std::uint64_t bytesSent = 0;
    /// The printer's answer, when it was asked (ConfirmPrinted) and gave one.
    std::optional<PrinterStatus> status;

    explicit operator bool() const { return !error; }
};

}  // namespace OrvikFramework
