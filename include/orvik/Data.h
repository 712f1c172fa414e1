#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

namespace OrvikFramework {

/// An ordered sequence of unsigned 8-bit values: one printer command piece, a file's bytes, a received value.
using Data = std::vector<std::uint8_t>;

/// Appends the buffer to the file, creating the file when there is none. Throws std::system_error with the
/// file error otherwise; a file that exists but cannot be written is never replaced.
void appendToURL(const Data& data, const std::filesystem::path& fileURL);

}  // namespace OrvikFramework
