#include <orvik/BluetoothScan.h>

#include <algorithm>
#include <memory>
#include <utility>

#include <orvik/BLEPeripheral.h>
#include <orvik/Platform.h>
#include <orvik/RunLoop.h>

namespace OrvikFramework {
namespace {

class ScanListener final : public CentralManagerDelegate {
public:
    void centralManagerDidUpdateState(CentralManager& central) override {
        if (central.state() == ManagerState::poweredOn) central.scanForPeripherals(std::nullopt, ScanOptions{true});
    }
    void centralManagerDidDiscover(CentralManager&, const std::shared_ptr<Peripheral>& peripheral, const AdvertisementData&,
                                   double RSSI) override {
        if (!peripheral) return;
        const BLEPeripheral record(peripheral, static_cast<std::int32_t>(std::clamp(RSSI, -127.0, 127.0)));
        const auto same = std::find_if(heard_.begin(), heard_.end(), [&](const auto& seen) { return seen.first->isEqual(*peripheral); });
        if (same == heard_.end()) {
            heard_.emplace_back(peripheral, HeardDevice{record.name(), peripheral->address(), record.RSSI});
        } else {
            same->second.RSSI = std::max(same->second.RSSI, record.RSSI);
            same->second.name = record.name();
        }
    }
    void centralManagerDidConnect(CentralManager&, const std::shared_ptr<Peripheral>&) override {}
    void centralManagerDidDisconnectPeripheral(CentralManager&, const std::shared_ptr<Peripheral>&,
                                               const std::optional<PlatformError>&) override {}
    void centralManagerDidFailToConnect(CentralManager&, const std::shared_ptr<Peripheral>&,
                                        const std::optional<PlatformError>&) override {}

    std::vector<HeardDevice> devices() const {
        std::vector<HeardDevice> devices;
        for (const auto& seen : heard_) devices.push_back(seen.second);
        std::stable_sort(devices.begin(), devices.end(), [](const HeardDevice& a, const HeardDevice& b) { return a.RSSI > b.RSSI; });
        return devices;
    }

private:
    std::vector<std::pair<std::shared_ptr<Peripheral>, HeardDevice>> heard_;
};

std::string whyUnusable(const CentralManager& manager) {
    if (const auto reason = manager.unavailableReason()) return reason->localizedDescription;
    return manager.state() == ManagerState::poweredOff ? "Bluetooth is powered off" : "Bluetooth cannot scan";
}

}  // namespace

Result<std::vector<HeardDevice>> scanBluetooth(std::chrono::milliseconds duration) {
    ScanListener listener;
    const auto& makeManager = Platform::backend().makeCentralManager;
    const auto manager = makeManager ? makeManager(&listener) : nullptr;
    if (!manager) return Error{ErrorCode::BluetoothUnavailable, "no Bluetooth service on this system"};
    // Ends early once the stack says it cannot be used, rather than after the whole scan.
    RunLoop::main().runUntil([&] { return manager->unavailableReason().has_value(); }, duration);
    const bool scanned = manager->state() == ManagerState::poweredOn;
    manager->stopScan();
    manager->setDelegate(nullptr);
    if (!scanned) return Error{ErrorCode::BluetoothUnavailable, whyUnusable(*manager)};
    return listener.devices();
}

}  // namespace OrvikFramework
