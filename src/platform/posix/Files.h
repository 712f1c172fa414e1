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

/// Appends to the file, creating it when there is none. Returns 0 or the errno; a file that exists but
/// cannot be opened for writing is reported, never replaced.
int appendOrCreate(const std::string& path, const Data& data);

/// Reads the whole file into `bytes` (left empty on failure). Returns 0 or the errno.
int readAll(const std::string& path, Data& bytes);

/// Removes the file. Returns 0 or the errno.
int remove(const std::string& path);

}  // namespace OrvikFramework::Files
