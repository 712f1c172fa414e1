#pragma once

#include <string>

#include <orvik/Data.h>

namespace OrvikFramework::Files {

/// Appends all bytes to an existing file. Returns 0 or the errno (ENOENT when there is no such file);
/// on a failed write the file is cut back to its former length, so nothing half-written stays.
int append(const std::string& path, const Data& data);

/// Creates a file holding exactly the bytes. Returns 0 or the errno; never replaces an existing file
/// and leaves no file behind when the write fails.
int create(const std::string& path, const Data& data);

}  // namespace OrvikFramework::Files
