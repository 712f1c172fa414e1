#pragma once

#include <functional>
#include <list>
#include <memory>
#include <optional>
#include <string>

#include <orvik/Hotspot.h>

#include "platform/linux/DBusLink.h"

namespace OrvikFramework {

class NetworkManagerJoin;

// Joins access points through NetworkManager: one connection per request, activated on the first Wi-Fi device,
// and not kept by the system after it ends when the request says join-once.
class NetworkManagerHotspot : public HotspotConfigurationManager {
public:

    explicit NetworkManagerHotspot(std::shared_ptr<DBusLink> link);
    ~NetworkManagerHotspot() override;

    // The completion runs once, on the link's run loop: absent error when the connection is activated.
    void apply(const HotspotConfiguration& configuration, Completion completion) override;

private:
    std::shared_ptr<DBusLink> link_;
    std::shared_ptr<std::list<std::shared_ptr<NetworkManagerJoin>>> joins_ =
        std::make_shared<std::list<std::shared_ptr<NetworkManagerJoin>>>();
};

}  // namespace OrvikFramework
