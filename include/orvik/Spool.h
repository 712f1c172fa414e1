#pragma once

#include <filesystem>

#include <orvik/Data.h>

namespace OrvikFramework {

/// Appends the buffer to the file, creating the file when there is none. Throws std::system_error with the
/// file error otherwise; a file that exists but cannot be written is never replaced.
void appendToURL(const Data& data, const std::filesystem::path& fileURL);

}  // namespace OrvikFramework
