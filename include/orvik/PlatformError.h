#pragma once

#include <string>

namespace OrvikFramework {

/// An error reported by a platform service (Bluetooth stack, hotspot joining).
struct PlatformError {
    std::string localizedDescription;
};

}  // namespace OrvikFramework
