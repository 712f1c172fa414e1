#pragma once

#include <cstdint>
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

/// Reads the whole file into `bytes` (left empty on failure). Returns 0 or the errno (ELOOP for a symlink when
/// `followSymlink` is false).
int readAll(const std::string& path, Data& bytes, bool followSymlink = true);

/// Removes the file. Returns 0 or the errno.
int remove(const std::string& path);

/// A file held open from its first append to the final read, so both reach the file that was opened even when
/// its name is meanwhile swapped for another file or a symlink. Opened without following a symlink, created
/// owner-only when absent.
class HeldFile {
public:
    /// Opens (or creates) the file at `path`. Returns 0 or the errno.
    int open(const std::string& path);
    /// Appends all bytes; on a failed write the file is cut back to its former length. Returns 0 or the errno.
    int append(const Data& data);
    /// Reads the whole file into `bytes` (left empty on failure). Returns 0 or the errno.
    int readAll(Data& bytes);
    /// The path it was opened by; empty when not open.
    const std::string& path() const { return path_; }

    HeldFile() = default;
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;
    ~HeldFile();

private:
    int fd_ = -1;
    std::string path_;
};

/// A file read a part at a time, so a large picture is never held whole.
class ReadOnlyFile {
public:
    /// Opens the file at `path` and notes its size. Returns 0 or the errno.
    int open(const std::string& path);
    std::uint64_t size() const { return size_; }
    /// Reads `count` bytes from `offset`. Returns 0 or the errno (EIO when the file ends first).
    int readAt(std::uint64_t offset, std::uint8_t* out, std::size_t count) const;

    ReadOnlyFile() = default;
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;
    ~ReadOnlyFile();

private:
    int fd_ = -1;
    std::uint64_t size_ = 0;
};

}  // namespace OrvikFramework::Files
