#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <orvik/Bluetooth.h>
#include <orvik/Hotspot.h>
#include <orvik/Platform.h>

// In-process Bluetooth adapter and hotspot manager for tests, demos and work without hardware. Every report
// is posted to RunLoop::main(), one loop turn per step, so a run is the same each time.
namespace OrvikFramework {

/// A characteristic a simulated device offers; `onWrite` receives every value written to it.
struct SimulatedCharacteristicLayout {
    BluetoothUUID uuid;
    std::function<void(const Data& value)> onWrite;
};

/// A service a simulated device offers.
struct SimulatedServiceLayout {
    BluetoothUUID uuid;
    std::vector<SimulatedCharacteristicLayout> characteristics;
};

/// What a simulated device advertises and offers.
struct SimulatedDeviceLayout {
    std::optional<std::string> name;
    std::int64_t RSSI = -60;
    std::vector<SimulatedServiceLayout> services;
};

/// A simulated remote device, as the test sees it.
class SimulatedDevice {
public:
    virtual ~SimulatedDevice() = default;
    virtual bool isConnected() const = 0;
    /// Sets a characteristic's value and notifies a connected central that switched notifications on.
    virtual void notify(const BluetoothUUID& characteristic, const Data& value) = 0;
    /// Drops the link now, as a device going out of range does (reported with an error).
    virtual void dropLink() = 0;
    /// Drops the link right after the given number of further accepted writes.
    virtual void dropLinkAfterWrites(std::size_t writes) = 0;
};

/// The simulated adapter: advertisers and fault switches.
class SimulatedBluetooth {
public:
    SimulatedBluetooth();
    ~SimulatedBluetooth();
    SimulatedBluetooth(const SimulatedBluetooth&) = delete;
    SimulatedBluetooth& operator=(const SimulatedBluetooth&) = delete;

    /// Adds an advertiser; a running scan reports it on a later loop turn.
    std::shared_ptr<SimulatedDevice> addDevice(SimulatedDeviceLayout layout);
    /// Switches the radio; every central manager gets a state report, and links drop when it goes off.
    void setPoweredOn(bool on);
    /// While set, connection requests fail.
    void setConnectFails(bool fails);
    /// While set, the stack refuses every write.
    void setRejectWrites(bool rejects);
    /// While set, the stack takes every write but reports it failed afterwards, and the device never gets it.
    void setFailWrites(bool fails);
    /// Present: central managers report the stack unusable for this reason (as with no adapter).
    void setUnavailable(std::optional<std::string> reason);
    /// Creates a central manager on this adapter.
    std::shared_ptr<CentralManager> makeCentralManager(CentralManagerDelegate* delegate);

    struct State;

private:
    std::shared_ptr<State> state_;
};

/// A simulated hotspot manager that succeeds, or fails with a given description.
class SimulatedHotspot final : public HotspotConfigurationManager {
public:
    /// Absent: joins succeed; otherwise they fail with this description.
    void setFailure(std::optional<std::string> description) { failure_ = std::move(description); }
    /// Every configuration applied so far.
    const std::vector<HotspotConfiguration>& applied() const { return applied_; }
    void apply(const HotspotConfiguration& configuration, Completion completionHandler) override;

private:
    std::optional<std::string> failure_;
    std::vector<HotspotConfiguration> applied_;
};

/// A simulated printer: the printer service with its RX (write) and TX (notify) characteristics.
class SimulatedPrinter {
public:
    /// Advertises `name` on `adapter`; every value written to RX is handed to `onWrite`.
    SimulatedPrinter(SimulatedBluetooth& adapter, std::optional<std::string> name, std::int64_t RSSI,
                     std::function<void(const Data& value)> onWrite);

    SimulatedDevice& device() { return *device_; }
    /// Sends a TX notification to the connected central.
    void notify(const Data& value);

    static const BluetoothUUID serviceUUID;
    static const BluetoothUUID rxUUID;
    static const BluetoothUUID txUUID;

private:
    std::shared_ptr<SimulatedDevice> device_;
};

/// A back-end built from a simulated adapter and hotspot manager.
PlatformBackend simulatedBackend(std::shared_ptr<SimulatedBluetooth> bluetooth, std::shared_ptr<SimulatedHotspot> hotspot);

}  // namespace OrvikFramework
