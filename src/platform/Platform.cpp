#include <orvik/Platform.h>

namespace OrvikFramework::Platform {
namespace {

PlatformBackend& current() {
    static PlatformBackend backend = systemBackend();
    return backend;
}

}  // namespace

void setBackend(PlatformBackend backend) { current() = std::move(backend); }

const PlatformBackend& backend() { return current(); }

}  // namespace OrvikFramework::Platform
