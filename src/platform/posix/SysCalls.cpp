#include "platform/posix/SysCalls.h"

#include <fcntl.h>
#include <unistd.h>

namespace OrvikFramework {
namespace {

int openFile(const char* path, int flags, mode_t mode) { return ::open(path, flags, mode); }

}  // namespace

const SysCalls& realSysCalls() {
    static const SysCalls real{::poll,  ::socket, ::connect, ::getsockopt, ::setsockopt, ::send,      ::recv,
                               ::close, openFile, ::write,   ::read,       ::fstat,      ::ftruncate, ::unlink};
    return real;
}

SysCalls& sys() {
    static SysCalls current = realSysCalls();
    return current;
}

}  // namespace OrvikFramework
