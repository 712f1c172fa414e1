#include "platform/posix/Files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <utility>

#include <fcntl.h>
#include <unistd.h>

#include <orvik/Files.h>

#include "platform/posix/SysCalls.h"

namespace OrvikFramework::Files {
namespace {

int writeAll(int fd, const Data& data) {
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = sys().write(fd, data.data() + done, data.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && errno != EINTR) {
            return errno;
        } else if (n == 0) {
            return ENOSPC;
        }
    }
    return 0;
}

int openFile(const std::string& path, int flags, mode_t mode = 0644) {
    for (;;) {
        const int fd = sys().open(path.c_str(), flags | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EINTR) return fd;
    }
}

// Appends at the end; a failed write cuts the file back so nothing half-written stays.
int appendTo(int fd, const Data& data) {
    struct stat before{};
    int error = sys().fstat(fd, &before) < 0 ? errno : 0;
    if (error == 0) {
        error = writeAll(fd, data);
        if (error != 0) sys().ftruncate(fd, before.st_size);
    }
    return error;
}

int readFrom(int fd, Data& bytes) {
    // One byte more than the size on disk, so the end shows in the first read.
    struct stat status{};
    const bool sized = sys().fstat(fd, &status) == 0 && status.st_size > 0;
    Data buffer(sized ? static_cast<std::size_t>(status.st_size) + 1 : 64 * 1024);
    std::size_t used = 0;
    for (;;) {
        if (used == buffer.size()) buffer.resize(2 * buffer.size());
        const ssize_t n = sys().read(fd, buffer.data() + used, buffer.size() - used);
        if (n > 0) {
            used += static_cast<std::size_t>(n);
        } else if (n == 0) {
            break;
        } else if (errno != EINTR) {
            return errno;
        }
    }
    buffer.resize(used);
    bytes = std::move(buffer);
    return 0;
}

// A fresh name beside `path`, hidden and unguessable, so nobody can plant a file or symlink there beforehand.
std::string temporaryName(const std::string& path) {
    static std::mt19937_64 random{std::random_device{}()};
    const std::size_t slash = path.rfind('/');
    const std::size_t base = slash == std::string::npos ? 0 : slash + 1;
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, ".%016llx", static_cast<unsigned long long>(random()));
    return path.substr(0, base) + "." + path.substr(base) + suffix;
}

// Moves the finished file into place; refuses an existing entry at `path` unless told to replace it.
int moveIntoPlace(const std::string& from, const std::string& path, IfExists ifExists) {
    if (ifExists == IfExists::Replace) return std::rename(from.c_str(), path.c_str()) == 0 ? 0 : errno;
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return errno;
    // A file system without the no-replace rename: link() refuses an existing name just the same.
    if (::link(from.c_str(), path.c_str()) != 0) return errno;
    sys().unlink(from.c_str());
    return 0;
}

}  // namespace

int append(const std::string& path, const Data& data) {
    const int fd = openFile(path, O_WRONLY | O_APPEND);
    if (fd < 0) return errno;
    const int error = appendTo(fd, data);
    sys().close(fd);
    return error;
}

int create(const std::string& path, const Data& data) {
    const int fd = openFile(path, O_WRONLY | O_CREAT | O_EXCL);
    if (fd < 0) return errno;
    int error = writeAll(fd, data);
    if (sys().close(fd) < 0 && error == 0) error = errno;
    if (error != 0) sys().unlink(path.c_str());
    return error;
}

int appendOrCreate(const std::string& path, const Data& data) {
    const int error = append(path, data);
    return error == ENOENT ? create(path, data) : error;
}

int readAll(const std::string& path, Data& bytes, bool followSymlink) {
    bytes.clear();
    const int fd = openFile(path, followSymlink ? O_RDONLY : O_RDONLY | O_NOFOLLOW);
    if (fd < 0) return errno;
    const int error = readFrom(fd, bytes);
    sys().close(fd);
    return error;
}

int remove(const std::string& path) { return sys().unlink(path.c_str()) == 0 ? 0 : errno; }

int HeldFile::open(const std::string& path) {
    if (fd_ >= 0) sys().close(fd_);
    path_.clear();
    fd_ = openFile(path, O_RDWR | O_APPEND | O_CREAT | O_NOFOLLOW, 0600);
    if (fd_ < 0) return errno;
    path_ = path;
    return 0;
}

int HeldFile::append(const Data& data) { return fd_ < 0 ? EBADF : appendTo(fd_, data); }

int HeldFile::readAll(Data& bytes) {
    bytes.clear();
    if (fd_ < 0) return EBADF;
    if (::lseek(fd_, 0, SEEK_SET) < 0) return errno;
    return readFrom(fd_, bytes);
}

HeldFile::~HeldFile() {
    if (fd_ >= 0) sys().close(fd_);
}

int ReadOnlyFile::open(const std::string& path) {
    if (fd_ >= 0) sys().close(fd_);
    fd_ = openFile(path, O_RDONLY);
    if (fd_ < 0) return errno;
    struct stat status{};
    if (sys().fstat(fd_, &status) < 0) return errno;
    size_ = static_cast<std::uint64_t>(status.st_size);
    return 0;
}

int ReadOnlyFile::readAt(std::uint64_t offset, std::uint8_t* out, std::size_t count) const {
    while (count > 0) {
        const ssize_t n = ::pread(fd_, out, count, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) return EIO;
        out += n, offset += static_cast<std::uint64_t>(n), count -= static_cast<std::size_t>(n);
    }
    return 0;
}

ReadOnlyFile::~ReadOnlyFile() {
    if (fd_ >= 0) sys().close(fd_);
}

}  // namespace OrvikFramework::Files

namespace OrvikFramework {

Status writeFileExclusive(const std::string& path, const Data& bytes, FileMode mode, IfExists ifExists) {
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        temporary = Files::temporaryName(path);
        fd = Files::openFile(temporary, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, static_cast<mode_t>(mode));
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) return Error{ErrorCode::FileError, "cannot write \"" + path + "\": " + std::strerror(errno)};
    int error = Files::writeAll(fd, bytes);
    if (error == 0 && ::fsync(fd) != 0) error = errno;
    if (sys().close(fd) != 0 && error == 0) error = errno;
    if (error == 0) error = Files::moveIntoPlace(temporary, path, ifExists);
    if (error == 0) return std::nullopt;
    sys().unlink(temporary.c_str());
    if (error == EEXIST) return Error{ErrorCode::FileError, "\"" + path + "\" already exists"};
    return Error{ErrorCode::FileError, "cannot write \"" + path + "\": " + std::strerror(error)};
}


}  // namespace OrvikFramework
