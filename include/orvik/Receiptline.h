#pragma once

// Receipt documents in the receiptline markup, as Orvik::PrintDocument prints them.

#include <cstddef>

namespace OrvikFramework {

/// The largest document PrintDocument takes, pictures included, in bytes.
inline constexpr std::size_t DocumentMaxBytes = 16 * 1024 * 1024;

}  // namespace OrvikFramework
