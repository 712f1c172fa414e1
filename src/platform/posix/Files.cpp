#include "platform/posix/Files.h"

#include <cerrno>
#include <utility>

#include <fcntl.h>

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

int openFile(const std::string& path, int flags) {
    for (;;) {
        const int fd = sys().open(path.c_str(), flags | O_CLOEXEC, 0644);
        if (fd >= 0 || errno != EINTR) return fd;
    }
}

}  // namespace

int append(const std::string& path, const Data& data) {
    const int fd = openFile(path, O_WRONLY | O_APPEND);
    if (fd < 0) return errno;
    struct stat before{};
    int error = sys().fstat(fd, &before) < 0 ? errno : 0;
    if (error == 0) {
        error = writeAll(fd, data);
        if (error != 0) sys().ftruncate(fd, before.st_size);
    }
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

int readAll(const std::string& path, Data& bytes) {
    bytes.clear();
    const int fd = openFile(path, O_RDONLY);
    if (fd < 0) return errno;
    // One byte more than the size on disk, so the end shows in the first read.
    struct stat status{};
    const bool sized = sys().fstat(fd, &status) == 0 && status.st_size > 0;
    Data buffer(sized ? static_cast<std::size_t>(status.st_size) + 1 : 64 * 1024);
    std::size_t used = 0;
    int error = 0;
    for (;;) {
        if (used == buffer.size()) buffer.resize(2 * buffer.size());
        const ssize_t n = sys().read(fd, buffer.data() + used, buffer.size() - used);
        if (n > 0) {
            used += static_cast<std::size_t>(n);
        } else if (n == 0) {
            break;
        } else if (errno != EINTR) {
            error = errno;
            break;
        }
    }
    sys().close(fd);
    if (error == 0) {
        buffer.resize(used);
        bytes = std::move(buffer);
    }
    return error;
}

int remove(const std::string& path) { return sys().unlink(path.c_str()) == 0 ? 0 : errno; }

}  // namespace OrvikFramework::Files
