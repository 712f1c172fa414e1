#pragma once

#include <functional>
#include <optional>
#include <string>

#include <orvik/PlatformError.h>

namespace OrvikFramework {

/// A request to join a Wi-Fi access point.
struct HotspotConfiguration {
    std::string SSID;
    std::string passphrase;
    bool isWEP = false;
    /// Join for this application's use only, not remembered by the system.
    bool joinOnce = false;
};

/// Joins access points on the application's behalf.
class HotspotConfigurationManager {
public:
    /// Called once, on RunLoop::main(), with an error that is absent on success.
    using Completion = std::function<void(const std::optional<PlatformError>& error)>;

    virtual ~HotspotConfigurationManager() = default;
    /// Starts joining; returns at once.
    virtual void apply(const HotspotConfiguration& configuration, Completion completionHandler) = 0;
};

}  // namespace OrvikFramework
