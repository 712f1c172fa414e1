#include "platform/linux/NetworkManagerHotspot.h"

#include <map>
#include <vector>

#include <orvik/RunLoop.h>

namespace OrvikFramework {
namespace {

using namespace std::chrono_literals;

constexpr const char* busName = "org.freedesktop.NetworkManager";
constexpr const char* managerPath = "/org/freedesktop/NetworkManager";
constexpr const char* managerInterface = "org.freedesktop.NetworkManager";
constexpr const char* deviceInterface = "org.freedesktop.NetworkManager.Device";
constexpr const char* wirelessInterface = "org.freedesktop.NetworkManager.Device.Wireless";
constexpr const char* accessPointInterface = "org.freedesktop.NetworkManager.AccessPoint";
constexpr const char* activeInterface = "org.freedesktop.NetworkManager.Connection.Active";
constexpr const char* settingsConnectionInterface = "org.freedesktop.NetworkManager.Settings.Connection";
constexpr const char* propertiesInterface = "org.freedesktop.DBus.Properties";

constexpr std::uint32_t deviceTypeWifi = 2;
constexpr std::uint32_t activated = 2;
constexpr std::uint32_t deactivated = 4;
// Association and authentication with a slow access point can take most of this; a join never waits longer.
constexpr auto joinLimit = 90s;

using Settings = std::map<std::string, std::map<std::string, sdbus::Variant>>;
using Properties = std::map<std::string, sdbus::Variant>;

// NetworkManager's reasons for a connection that ended before it was activated, as its documentation words them.
std::string reasonText(std::uint32_t reason) {
    switch (reason) {
        case 2: return "The connection was disconnected by the user";
        case 3: return "The device the connection was using was disconnected";
        case 4: return "The service providing the VPN connection was stopped";
        case 5: return "The IP config of the active connection was invalid";
        case 6: return "There was a timeout while trying to connect";
        case 9: return "The secrets for the network were missing or refused (wrong passphrase?)";
        case 10: return "Login failed";
        case 11: return "The connection was deleted from settings";
        case 12: return "Master connection failed to activate";
        case 14: return "The device was removed or became unavailable";
        default: return "The connection failed to activate (reason " + std::to_string(reason) + ")";
    }
}

Settings connectionSettings(const HotspotConfiguration& configuration, bool keep) {
    const std::vector<std::uint8_t> ssid(configuration.SSID.begin(), configuration.SSID.end());
    Settings settings;
    settings["connection"]["type"] = sdbus::Variant(std::string("802-11-wireless"));
    settings["connection"]["id"] = sdbus::Variant(configuration.SSID);
    // A joined printer network must not take over the machine's Wi-Fi on its own later.
    settings["connection"]["autoconnect"] = sdbus::Variant(keep);
    settings["802-11-wireless"]["ssid"] = sdbus::Variant(ssid);
    settings["802-11-wireless"]["mode"] = sdbus::Variant(std::string("infrastructure"));
    if (!configuration.passphrase.empty()) {
        settings["802-11-wireless-security"]["key-mgmt"] = sdbus::Variant(std::string("wpa-psk"));
        settings["802-11-wireless-security"]["psk"] = sdbus::Variant(configuration.passphrase);
    }
    return settings;
}

}  // namespace

// One join request, from finding the device to the connection's first final state.
class NetworkManagerJoin : public std::enable_shared_from_this<NetworkManagerJoin> {
public:
    using ErrorHandler = std::function<void(const sdbus::Error&)>;

    NetworkManagerJoin(std::shared_ptr<DBusLink> link, HotspotConfiguration configuration,
                       NetworkManagerHotspot::Completion completion, std::function<void()> ended)
        : link_(std::move(link)),
          configuration_(std::move(configuration)),
          completion_(std::move(completion)),
          ended_(std::move(ended)) {}

    ~NetworkManagerJoin() {
        if (timer_) RunLoop::main().cancelTimer(*timer_);
    }

    void start() {
        if (configuration_.isWEP) return finish("WEP networks are not supported");
        const std::weak_ptr<NetworkManagerJoin> weak = weak_from_this();
        timer_ = RunLoop::main().addTimer(joinLimit, [weak] {
            if (auto self = weak.lock()) {
                self->timer_.reset();
                self->finish("Timed out waiting for the access point");
            }
        });
        call(managerPath, managerInterface, "GetDevices", [this](std::vector<sdbus::ObjectPath> devices) {
            devices_ = std::move(devices);
            inspectNextDevice();
        });
    }

private:
    // Proxies live as long as the join: a reply handler must not destroy the proxy that calls it.
    sdbus::IProxy& proxy(const std::string& path) {
        auto& entry = proxies_[path];
        if (!entry) entry = sdbus::createProxy(link_->connection(), busName, path);
        return *entry;
    }

    // Calls a method asynchronously; the reply goes to `onReply`, an error to `onError` or, without one, ends the join.
    template <typename... Reply, typename... Arguments>
    void invoke(const std::string& path, const char* interface, const char* method,
                std::function<void(Reply...)> onReply, ErrorHandler onError, Arguments&&... arguments) {
        const std::weak_ptr<NetworkManagerJoin> weak = weak_from_this();
        callAsync(
            *link_, proxy(path), interface, method,
            std::function([weak, onReply](Reply... reply) {
                auto self = weak.lock();
                if (self && !self->done_) onReply(std::move(reply)...);
            }),
            std::function([weak, onError](const sdbus::Error& error) {
                auto self = weak.lock();
                if (!self || self->done_) return;
                if (onError) return onError(error);
                self->finish(describe(error));
            }),
            std::forward<Arguments>(arguments)...);
    }

    template <typename Handler, typename... Arguments>
    void call(const std::string& path, const char* interface, const char* method, Handler onReply,
              Arguments&&... arguments) {
        invoke(path, interface, method, std::function(onReply), nullptr, std::forward<Arguments>(arguments)...);
    }

    void getAll(const std::string& path, const char* interface, std::function<void(Properties)> onReply) {
        call(path, propertiesInterface, "GetAll", onReply, std::string(interface));
    }

    void inspectNextDevice() {
        if (devices_.empty()) return finish("No Wi-Fi device found");
        const sdbus::ObjectPath device = devices_.front();
        devices_.erase(devices_.begin());
        getAll(device, deviceInterface, [this, device](Properties properties) {
            const auto type = properties.find("DeviceType");
            if (type == properties.end() || type->second.get<std::uint32_t>() != deviceTypeWifi) {
                return inspectNextDevice();
            }
            device_ = device;
            getAll(device, wirelessInterface, [this](Properties wireless) {
                const auto points = wireless.find("AccessPoints");
                if (points != wireless.end()) accessPoints_ = points->second.get<std::vector<sdbus::ObjectPath>>();
                inspectNextAccessPoint();
            });
        });
    }

    // Names the matching access point when the device has seen it; otherwise NetworkManager looks for the SSID.
    void inspectNextAccessPoint() {
        if (accessPoints_.empty()) return activate(sdbus::ObjectPath("/"));
        const sdbus::ObjectPath point = accessPoints_.front();
        accessPoints_.erase(accessPoints_.begin());
        getAll(point, accessPointInterface, [this, point](Properties properties) {
            const auto ssid = properties.find("Ssid");
            if (ssid != properties.end()) {
                const auto bytes = ssid->second.get<std::vector<std::uint8_t>>();
                if (std::string(bytes.begin(), bytes.end()) == configuration_.SSID) return activate(point);
            }
            inspectNextAccessPoint();
        });
    }

    void activate(const sdbus::ObjectPath& accessPoint) {
        if (!configuration_.joinOnce) return activateSaved(accessPoint, false);
        // A volatile connection is removed by NetworkManager itself once it ends, even when this process is gone.
        const std::map<std::string, sdbus::Variant> options{{"persist", sdbus::Variant(std::string("volatile"))}};
        invoke(
            managerPath, managerInterface, "AddAndActivateConnection2",
            std::function([this](sdbus::ObjectPath, sdbus::ObjectPath active, Properties) { watch(active); }),
            [this, accessPoint](const sdbus::Error& error) {
                // NetworkManager before 1.16 has no volatile connections: delete ours when it ends.
                if (error.getName() == "org.freedesktop.DBus.Error.UnknownMethod") return activateSaved(accessPoint, true);
                finish(describe(error));
            },
            connectionSettings(configuration_, false), device_, accessPoint, options);
    }

    void activateSaved(const sdbus::ObjectPath& accessPoint, bool deleteWhenEnded) {
        call(
            managerPath, managerInterface, "AddAndActivateConnection",
            [this, deleteWhenEnded](sdbus::ObjectPath connection, sdbus::ObjectPath active) {
                if (deleteWhenEnded) saved_ = connection;
                watch(active);
            },
            connectionSettings(configuration_, !configuration_.joinOnce), device_, accessPoint);
    }

    void watch(const std::string& active) {
        const std::weak_ptr<NetworkManagerJoin> weak = weak_from_this();
        sdbus::IProxy& connection = proxy(active);
        connection.uponSignal("StateChanged").onInterface(activeInterface).call([weak](std::uint32_t state, std::uint32_t reason) {
            if (auto self = weak.lock()) self->stateChanged(state, reason);
        });
        connection.finishRegistration();
        getAll(active, activeInterface, [this](Properties properties) {
            const auto state = properties.find("State");
            if (state != properties.end()) stateChanged(state->second.get<std::uint32_t>(), 0);
        });
    }

    void stateChanged(std::uint32_t state, std::uint32_t reason) {
        if (state == activated) finish(std::nullopt);
        if (state != deactivated) return;
        finish(reasonText(reason));
        removeSaved();
    }

    // Ends the join, deleting a join-once connection that NetworkManager would otherwise keep.
    void removeSaved() {
        if (!saved_.empty()) {
            // No reply is awaited: the join may be gone before it would arrive.
            proxy(saved_).callMethod("Delete").onInterface(settingsConnectionInterface).dontExpectReply();
            saved_.clear();
            link_->schedulePump();
        }
        ended();
    }

    void finish(std::optional<std::string> error) {
        if (done_) return;
        done_ = true;
        if (timer_) RunLoop::main().cancelTimer(*timer_);
        timer_.reset();
        const auto completion = std::move(completion_);
        completion(error ? std::optional<PlatformError>(PlatformError{*error}) : std::nullopt);
        // A join-once connection that had to be saved is watched until it ends; any other join is over.
        if (error || saved_.empty()) removeSaved();
    }

    void ended() {
        if (ended_) std::exchange(ended_, nullptr)();
    }

    std::shared_ptr<DBusLink> link_;
    HotspotConfiguration configuration_;
    NetworkManagerHotspot::Completion completion_;
    std::function<void()> ended_;
    std::map<std::string, std::unique_ptr<sdbus::IProxy>> proxies_;
    std::vector<sdbus::ObjectPath> devices_;
    std::vector<sdbus::ObjectPath> accessPoints_;
    sdbus::ObjectPath device_;
    sdbus::ObjectPath saved_;
    std::optional<RunLoop::TimerId> timer_;
    bool done_ = false;
};

NetworkManagerHotspot::NetworkManagerHotspot(std::shared_ptr<DBusLink> link) : link_(std::move(link)) {}

NetworkManagerHotspot::~NetworkManagerHotspot() = default;

void NetworkManagerHotspot::apply(const HotspotConfiguration& configuration, Completion completion) {
    if (!link_ || !link_->connected()) {
        RunLoop::main().post([completion] { completion(PlatformError{"NetworkManager is not reachable: no D-Bus connection"}); });
        return;
    }
    auto& joins = *joins_;
    joins.push_back(nullptr);
    const auto slot = std::prev(joins.end());
    // The join leaves the list after its last step, posted since that step runs inside the join itself.
    auto ended = [list = std::weak_ptr(joins_), slot] {
        RunLoop::main().post([list, slot] {
            if (auto joins = list.lock()) joins->erase(slot);
        });
    };
    *slot = std::make_shared<NetworkManagerJoin>(link_, configuration, std::move(completion), std::move(ended));
    // Started from the loop, so that the completion never runs inside the caller's apply().
    RunLoop::main().post([join = std::weak_ptr(*slot)] {
        if (auto self = join.lock()) self->start();
    });
}

}  // namespace OrvikFramework
