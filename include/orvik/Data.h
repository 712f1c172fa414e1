#pragma once

#include <cstdint>
#include <vector>

namespace OrvikFramework {

/// An ordered sequence of unsigned 8-bit values: one printer command piece, a file's bytes, a received value.
using Data = std::vector<std::uint8_t>;

}  // namespace OrvikFramework
