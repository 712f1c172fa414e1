#pragma once

#include <chrono>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include <orvik/Bluetooth.h>

#include "platform/linux/DBusLink.h"

namespace OrvikFramework {

class BlueZPeripheral;

// The central role through BlueZ: the adapter's state, discovery, connections, the GATT object tree, notifications
// and writes, all over one D-Bus link driven by the main run loop. Reports are posted to RunLoop::main().
class BlueZCentralManager : public CentralManager, public std::enable_shared_from_this<BlueZCentralManager> {
public:
    // Starts reading BlueZ's objects; the first state report follows. A null link reports an unsupported radio.
    // A service discovery fails when the requested services and their characteristics have not all appeared within
    // `serviceWait` of the request.
    static std::shared_ptr<BlueZCentralManager> create(std::shared_ptr<DBusLink> link, CentralManagerDelegate* delegate,
                                                       std::chrono::milliseconds serviceWait = std::chrono::seconds(10));
    ~BlueZCentralManager() override;

    ManagerState state() const override { return state_; }
    void setDelegate(CentralManagerDelegate* delegate) override { delegate_ = delegate; }
    void scanForPeripherals(const std::optional<std::vector<BluetoothUUID>>& serviceUUIDs,
                            const ScanOptions& options) override;
    void stopScan() override;
    void connect(const std::shared_ptr<Peripheral>& peripheral) override;
    void cancelPeripheralConnection(const std::shared_ptr<Peripheral>& peripheral) override;

    // Writes handed over but not yet confirmed by BlueZ.
    std::size_t pendingWrites() const override { return queued_.size() + inFlight_; }
    std::optional<PlatformError> unavailableReason() const override { return unavailable_; }

private:
    friend class BlueZPeripheral;
    using Properties = std::map<std::string, sdbus::Variant>;
    using Interfaces = std::map<std::string, Properties>;
    struct Write {
        std::string characteristic;
        Data bytes;
        CharacteristicWriteType type;
    };

    BlueZCentralManager(std::shared_ptr<DBusLink> link, CentralManagerDelegate* delegate, std::chrono::milliseconds serviceWait);
    void start();
    void load();
    void forgetAll();
    void interfacesAdded(const std::string& path, const Interfaces& interfaces);
    void interfacesRemoved(const std::string& path, const std::vector<std::string>& interfaces);
    void propertiesChanged(const std::string& path, const std::string& interface, const Properties& changed);
    void updateState();
    // `reason` says why the radio cannot be used; absent when it is usable or may become so.
    void setState(ManagerState state, std::optional<std::string> reason = std::nullopt);
    void deviceChanged(const std::string& path, const Properties& changed);
    void reportDiscovered(const std::string& path);
    void deviceGone(const std::string& path);
    void connected(const std::string& path);
    // The peripheral whose device object `path` lies below, if the application has one.
    BlueZPeripheral* deviceAbove(const std::string& path) const;

    // Used by peripherals.
    const Properties* properties(const std::string& path, const std::string& interface) const;
    std::vector<std::string> children(const std::string& parent, const std::string& interface) const;
    std::shared_ptr<BlueZPeripheral> peripheral(const std::string& path);
    bool deviceConnected(const std::string& path) const;
    bool write(const std::string& device, Write write);
    void sendWrites();
    void setNotify(const std::string& characteristic, bool enabled);
    sdbus::IProxy& proxy(const std::string& path);
    void post(std::function<void(CentralManagerDelegate&, CentralManager&)> report);

    std::shared_ptr<DBusLink> link_;
    CentralManagerDelegate* delegate_;
    const std::chrono::milliseconds serviceWait_;
    ManagerState state_ = ManagerState::unknown;
    std::optional<PlatformError> unavailable_;
    std::optional<std::string> adapter_;
    std::map<std::string, Interfaces> objects_;
    std::map<std::string, std::unique_ptr<sdbus::IProxy>> proxies_;
    std::vector<sdbus::Slot> matches_;
    std::map<std::string, std::shared_ptr<BlueZPeripheral>> peripherals_;
    bool loaded_ = false;
    bool reportedState_ = false;
    bool scanning_ = false;
    bool discovering_ = false;
    bool allowDuplicates_ = false;
    std::set<std::string> reported_;
    std::set<std::string> connecting_;
    std::set<std::string> connected_;
    std::set<std::string> disconnectWhenDrained_;
    std::deque<Write> queued_;
    std::size_t inFlight_ = 0;
};

}  // namespace OrvikFramework
