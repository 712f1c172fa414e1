#include <orvik/Platform.h>

#include "platform/linux/BlueZ.h"
#include "platform/linux/NetworkManagerHotspot.h"

namespace OrvikFramework::Platform {

// On Linux the system's own services are BlueZ and NetworkManager, on the bus chosen with setDBusAddress().
PlatformBackend systemBackend() {
    return PlatformBackend{
        [](CentralManagerDelegate* delegate) -> std::shared_ptr<CentralManager> {
            return BlueZCentralManager::create(DBusLink::shared(), delegate);
        },
        [] {
            static std::shared_ptr<HotspotConfigurationManager> manager;
            static std::shared_ptr<DBusLink> linkOfManager;
            // A new bus address takes effect for the next join.
            if (auto link = DBusLink::shared(); !manager || link != linkOfManager) {
                linkOfManager = link;
                manager = std::make_shared<NetworkManagerHotspot>(link);
            }
            return manager;
        },
    };
}

}  // namespace OrvikFramework::Platform
