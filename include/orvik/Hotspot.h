#pragma once

#include <string>

namespace OrvikFramework {

/// A request to join a Wi-Fi access point.
struct HotspotConfiguration {
    std::string SSID;
    std::string passphrase;
    bool isWEP = false;
    /// Join for this application's use only, not remembered by the system.
    bool joinOnce = false;
};

}  // namespace OrvikFramework
