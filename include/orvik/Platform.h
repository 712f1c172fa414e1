#pragma once

#include <functional>
#include <memory>

#include <orvik/Bluetooth.h>
#include <orvik/Hotspot.h>

namespace OrvikFramework {

/// The platform services behind the SDK: how a central manager and the hotspot manager are obtained.
struct PlatformBackend {
    /// Creates a central manager reporting to `delegate` on RunLoop::main().
    std::function<std::shared_ptr<CentralManager>(CentralManagerDelegate* delegate)> makeCentralManager;
    /// The process-wide hotspot manager.
    std::function<std::shared_ptr<HotspotConfigurationManager>()> hotspotManager;
};

/// Process-wide choice of back-end, read each time InitSDK creates a central manager or applies a hotspot
/// configuration. The default is the system's own stack; tests and the demo install a simulated one.
namespace Platform {

/// Replaces the back-end used from now on.
void setBackend(PlatformBackend backend);
/// The back-end in use.
const PlatformBackend& backend();
/// The system's own Bluetooth and hotspot services.
PlatformBackend systemBackend();

}  // namespace Platform
}  // namespace OrvikFramework
