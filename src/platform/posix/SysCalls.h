#pragma once

// The one seam through which the POSIX layer makes system calls, so tests can inject EINTR, EAGAIN and short writes.
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/types.h>

namespace OrvikFramework {

struct SysCalls {
    int (*poll)(pollfd* fds, nfds_t count, int timeoutMs);
    int (*socket)(int domain, int type, int protocol);
    int (*connect)(int fd, const sockaddr* address, socklen_t length);
    int (*getsockopt)(int fd, int level, int name, void* value, socklen_t* length);
    int (*setsockopt)(int fd, int level, int name, const void* value, socklen_t length);
    ssize_t (*send)(int fd, const void* bytes, size_t length, int flags);
    ssize_t (*recv)(int fd, void* buffer, size_t length, int flags);
    int (*close)(int fd);
    int (*open)(const char* path, int flags, mode_t mode);
    ssize_t (*write)(int fd, const void* bytes, size_t length);
    ssize_t (*read)(int fd, void* buffer, size_t length);
    int (*fstat)(int fd, struct stat* status);
    int (*ftruncate)(int fd, off_t length);
    int (*unlink)(const char* path);
};

/// The table in use; tests replace entries and restore them.
SysCalls& sys();

/// The table of the real system calls.
const SysCalls& realSysCalls();

}  // namespace OrvikFramework
