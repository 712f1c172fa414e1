#include <orvik/Simulator.h>

#include <algorithm>
#include <cstdio>
#include <set>

#include <orvik/RunLoop.h>

namespace OrvikFramework {
namespace {

class SimCentral;

class SimCharacteristic final : public Characteristic {
public:
    explicit SimCharacteristic(SimulatedCharacteristicLayout layout) : layout_(std::move(layout)) {}
    BluetoothUUID uuid() const override { return layout_.uuid; }
    std::optional<Data> value() const override { return value_; }

    const SimulatedCharacteristicLayout layout_;
    std::optional<Data> value_;
    bool notifying_ = false;
};

class SimService final : public Service {
public:
    explicit SimService(BluetoothUUID uuid) : uuid_(uuid) {}
    BluetoothUUID uuid() const override { return uuid_; }
    std::optional<std::vector<std::shared_ptr<Characteristic>>> characteristics() const override {
        if (!discovered_) return std::nullopt;
        return std::vector<std::shared_ptr<Characteristic>>(characteristics_.begin(), characteristics_.end());
    }

    const BluetoothUUID uuid_;
    std::vector<std::shared_ptr<SimCharacteristic>> characteristics_;
    bool discovered_ = false;
};

// One simulated remote device; it is both the test's handle and the peripheral the central hands out.
class SimDevice final : public SimulatedDevice, public Peripheral, public std::enable_shared_from_this<SimDevice> {
public:
    SimDevice(std::weak_ptr<SimulatedBluetooth::State> adapter, SimulatedDeviceLayout layout, std::string address);

    // SimulatedDevice
    bool isConnected() const override { return connected_; }
    void notify(const BluetoothUUID& characteristic, const Data& value) override;
    void dropLink() override { loseLink(PlatformError{"The connection has timed out unexpectedly."}); }
    void dropLinkAfterWrites(std::size_t writes) override { dropAfterWrites_ = writes; }

    // Peripheral
    std::optional<std::string> name() const override { return name_; }
    std::string address() const override { return address_; }
    void setDelegate(PeripheralDelegate* delegate) override { delegate_ = delegate; }
    void discoverServices(const std::vector<BluetoothUUID>& serviceUUIDs) override;
    void discoverCharacteristics(const std::optional<std::vector<BluetoothUUID>>& characteristicUUIDs,
                                 const std::shared_ptr<Service>& service) override;
    void setNotifyValue(bool enabled, const std::shared_ptr<Characteristic>& characteristic) override;
    bool writeValue(const Data& data, const std::shared_ptr<Characteristic>& characteristic,
                    CharacteristicWriteType type) override;
    std::optional<std::vector<std::shared_ptr<Service>>> services() const override { return discoveredServices_; }
    bool isEqual(const Peripheral& other) const override { return &other == static_cast<const Peripheral*>(this); }

    bool advertises(const std::optional<std::vector<BluetoothUUID>>& serviceUUIDs) const;
    std::int64_t RSSI() const { return RSSI_; }
    void linkUp(const std::shared_ptr<SimCentral>& central);
    /// Ends the link: an error marks a loss, no error a requested disconnect.
    void loseLink(const std::optional<PlatformError>& error);
    bool connectedTo(const SimCentral* central) const;

private:
    std::shared_ptr<SimCharacteristic> own(const std::shared_ptr<Characteristic>& characteristic) const;
    std::shared_ptr<SimService> own(const std::shared_ptr<Service>& service) const;

    std::weak_ptr<SimulatedBluetooth::State> adapter_;
    std::optional<std::string> name_;
    std::string address_;
    std::int64_t RSSI_;
    std::vector<std::shared_ptr<SimService>> services_;
    std::optional<std::vector<std::shared_ptr<Service>>> discoveredServices_;
    PeripheralDelegate* delegate_ = nullptr;
    std::weak_ptr<SimCentral> central_;
    bool connected_ = false;
    std::optional<std::size_t> dropAfterWrites_;
};

class SimCentral final : public CentralManager, public std::enable_shared_from_this<SimCentral> {
public:
    explicit SimCentral(std::weak_ptr<SimulatedBluetooth::State> adapter) : adapter_(std::move(adapter)) {}

    ManagerState state() const override;
    void setDelegate(CentralManagerDelegate* delegate) override { delegate_ = delegate; }
    void scanForPeripherals(const std::optional<std::vector<BluetoothUUID>>& serviceUUIDs, const ScanOptions& options) override;
    void stopScan() override { scanning_ = false; }
    void connect(const std::shared_ptr<Peripheral>& peripheral) override;
    void cancelPeripheralConnection(const std::shared_ptr<Peripheral>& peripheral) override;
    std::optional<PlatformError> unavailableReason() const override;

    void reportState();
    void radioOff() { scanning_ = false; }
    /// Reports a device to a running scan whose filter it passes.
    void offer(const std::shared_ptr<SimDevice>& device);
    void reportDisconnect(const std::shared_ptr<SimDevice>& device, const std::optional<PlatformError>& error);

private:
    std::weak_ptr<SimulatedBluetooth::State> adapter_;
    CentralManagerDelegate* delegate_ = nullptr;
    bool stateKnown_ = false;
    bool scanning_ = false;
    ScanOptions options_;
    std::optional<std::vector<BluetoothUUID>> filter_;
    std::set<const SimDevice*> reported_;
};

}  // namespace

struct SimulatedBluetooth::State {
    bool poweredOn = true;
    bool connectFails = false;
    bool rejectWrites = false;
    bool failWrites = false;
    std::optional<std::string> unavailable;
    std::vector<std::shared_ptr<SimDevice>> devices;
    std::vector<std::weak_ptr<SimCentral>> centrals;

    std::vector<std::shared_ptr<SimCentral>> liveCentrals() {
        std::erase_if(centrals, [](const auto& central) { return central.expired(); });
        std::vector<std::shared_ptr<SimCentral>> live;
        for (const auto& central : centrals) live.push_back(central.lock());
        return live;
    }
};

namespace {

std::shared_ptr<SimulatedBluetooth::State> lock(const std::weak_ptr<SimulatedBluetooth::State>& adapter) {
    return adapter.lock();
}

SimDevice::SimDevice(std::weak_ptr<SimulatedBluetooth::State> adapter, SimulatedDeviceLayout layout, std::string address)
    : adapter_(std::move(adapter)), name_(std::move(layout.name)), address_(std::move(address)), RSSI_(layout.RSSI) {
    for (auto& serviceLayout : layout.services) {
        auto service = std::make_shared<SimService>(serviceLayout.uuid);
        for (auto& characteristic : serviceLayout.characteristics) {
            service->characteristics_.push_back(std::make_shared<SimCharacteristic>(std::move(characteristic)));
        }
        services_.push_back(std::move(service));
    }
}

bool SimDevice::advertises(const std::optional<std::vector<BluetoothUUID>>& serviceUUIDs) const {
    if (!serviceUUIDs) return true;
    return std::any_of(services_.begin(), services_.end(), [&](const auto& service) {
        return std::find(serviceUUIDs->begin(), serviceUUIDs->end(), service->uuid_) != serviceUUIDs->end();
    });
}

bool SimDevice::connectedTo(const SimCentral* central) const { return connected_ && central_.lock().get() == central; }

void SimDevice::linkUp(const std::shared_ptr<SimCentral>& central) {
    connected_ = true;
    central_ = central;
}

void SimDevice::loseLink(const std::optional<PlatformError>& error) {
    if (!connected_) return;
    connected_ = false;
    dropAfterWrites_.reset();
    for (const auto& service : services_) {
        for (const auto& characteristic : service->characteristics_) characteristic->notifying_ = false;
    }
    if (const auto central = central_.lock()) central->reportDisconnect(shared_from_this(), error);
    central_.reset();
}

std::shared_ptr<SimCharacteristic> SimDevice::own(const std::shared_ptr<Characteristic>& characteristic) const {
    for (const auto& service : services_) {
        for (const auto& candidate : service->characteristics_) {
            if (candidate == characteristic) return candidate;
        }
    }
    return nullptr;
}

std::shared_ptr<SimService> SimDevice::own(const std::shared_ptr<Service>& service) const {
    for (const auto& candidate : services_) {
        if (candidate == service) return candidate;
    }
    return nullptr;
}

void SimDevice::notify(const BluetoothUUID& uuid, const Data& value) {
    for (const auto& service : services_) {
        for (const auto& characteristic : service->characteristics_) {
            if (characteristic->layout_.uuid != uuid) continue;
            characteristic->value_ = value;
            if (!connected_ || !characteristic->notifying_) continue;
            RunLoop::main().post([self = shared_from_this(), characteristic] {
                if (self->connected_ && self->delegate_) {
                    self->delegate_->peripheralDidUpdateValueFor(*self, characteristic, std::nullopt);
                }
            });
        }
    }
}

void SimDevice::discoverServices(const std::vector<BluetoothUUID>& serviceUUIDs) {
    RunLoop::main().post([self = shared_from_this(), serviceUUIDs] {
        if (!self->connected_) return;
        std::vector<std::shared_ptr<Service>> found;
        for (const auto& service : self->services_) {
            if (serviceUUIDs.empty() || std::find(serviceUUIDs.begin(), serviceUUIDs.end(), service->uuid_) != serviceUUIDs.end()) {
                found.push_back(service);
            }
        }
        self->discoveredServices_ = std::move(found);
        if (self->delegate_) self->delegate_->peripheralDidDiscoverServices(*self, std::nullopt);
    });
}

void SimDevice::discoverCharacteristics(const std::optional<std::vector<BluetoothUUID>>&, const std::shared_ptr<Service>& service) {
    const auto mine = own(service);
    if (!mine) return;
    RunLoop::main().post([self = shared_from_this(), mine] {
        if (!self->connected_) return;
        mine->discovered_ = true;
        if (self->delegate_) self->delegate_->peripheralDidDiscoverCharacteristicsFor(*self, mine, std::nullopt);
    });
}

void SimDevice::setNotifyValue(bool enabled, const std::shared_ptr<Characteristic>& characteristic) {
    if (const auto mine = own(characteristic); mine && connected_) mine->notifying_ = enabled;
}

bool SimDevice::writeValue(const Data& data, const std::shared_ptr<Characteristic>& characteristic,
                           CharacteristicWriteType type) {
    const auto adapter = lock(adapter_);
    const auto mine = own(characteristic);
    if (!adapter || adapter->rejectWrites || !connected_ || !mine || !mine->layout_.onWrite) return false;
    const bool fails = adapter->failWrites;
    if (!fails) mine->layout_.onWrite(data);
    if (type == CharacteristicWriteType::withResponse) {
        std::optional<PlatformError> error;
        if (fails) error = PlatformError{"The write failed: the device did not acknowledge it."};
        RunLoop::main().post([self = shared_from_this(), mine, error] {
            if (self->delegate_) self->delegate_->peripheralDidWriteValueFor(*self, mine, error);
        });
    }
    if (dropAfterWrites_ && --*dropAfterWrites_ == 0) dropLink();
    return true;
}

// Like a real stack, the state is unknown until the first report has been delivered.
ManagerState SimCentral::state() const {
    if (!stateKnown_) return ManagerState::unknown;
    const auto adapter = lock(adapter_);
    return adapter && adapter->poweredOn ? ManagerState::poweredOn : ManagerState::poweredOff;
}

std::optional<PlatformError> SimCentral::unavailableReason() const {
    const auto adapter = lock(adapter_);
    if (!adapter || !adapter->unavailable) return std::nullopt;
    return PlatformError{*adapter->unavailable};
}

void SimCentral::reportState() {
    RunLoop::main().post([weak = weak_from_this()] {
        const auto self = weak.lock();
        if (!self) return;
        self->stateKnown_ = true;
        if (self->delegate_) self->delegate_->centralManagerDidUpdateState(*self);
    });
}

void SimCentral::scanForPeripherals(const std::optional<std::vector<BluetoothUUID>>& serviceUUIDs, const ScanOptions& options) {
    const auto adapter = lock(adapter_);
    if (!adapter || !adapter->poweredOn) return;
    scanning_ = true;
    options_ = options;
    filter_ = serviceUUIDs;
    reported_.clear();
    for (const auto& device : adapter->devices) offer(device);
}

void SimCentral::offer(const std::shared_ptr<SimDevice>& device) {
    if (!scanning_ || !device->advertises(filter_)) return;
    RunLoop::main().post([weak = weak_from_this(), device] {
        const auto self = weak.lock();
        if (!self || !self->scanning_ || !self->delegate_) return;
        if (!self->options_.allowDuplicates && !self->reported_.insert(device.get()).second) return;
        AdvertisementData advertisement;
        if (const auto name = device->name()) advertisement["kCBAdvDataLocalName"] = *name;
        self->delegate_->centralManagerDidDiscover(*self, device, advertisement, static_cast<double>(device->RSSI()));
    });
}

void SimCentral::connect(const std::shared_ptr<Peripheral>& peripheral) {
    RunLoop::main().post([weak = weak_from_this(), peripheral] {
        const auto self = weak.lock();
        if (!self) return;
        const auto adapter = lock(self->adapter_);
        const auto device = std::dynamic_pointer_cast<SimDevice>(peripheral);
        const bool fails = !adapter || !adapter->poweredOn || adapter->connectFails || !device;
        if (!fails) device->linkUp(self);
        if (!self->delegate_) return;
        if (fails) {
            self->delegate_->centralManagerDidFailToConnect(*self, peripheral, PlatformError{"The connection failed."});
        } else {
            self->delegate_->centralManagerDidConnect(*self, peripheral);
        }
    });
}

void SimCentral::cancelPeripheralConnection(const std::shared_ptr<Peripheral>& peripheral) {
    // Writes are handed over synchronously, so everything queued before this call has already been written.
    const auto device = std::dynamic_pointer_cast<SimDevice>(peripheral);
    if (device && device->connectedTo(this)) device->loseLink(std::nullopt);
}

void SimCentral::reportDisconnect(const std::shared_ptr<SimDevice>& device, const std::optional<PlatformError>& error) {
    RunLoop::main().post([weak = weak_from_this(), device, error] {
        const auto self = weak.lock();
        if (self && self->delegate_) self->delegate_->centralManagerDidDisconnectPeripheral(*self, device, error);
    });
}

}  // namespace

SimulatedBluetooth::SimulatedBluetooth() : state_(std::make_shared<State>()) {}

SimulatedBluetooth::~SimulatedBluetooth() = default;

std::shared_ptr<SimulatedDevice> SimulatedBluetooth::addDevice(SimulatedDeviceLayout layout) {
    // Addresses follow the order devices were added, so a run is the same each time.
    char address[18];
    const auto index = static_cast<unsigned>(state_->devices.size());
    std::snprintf(address, sizeof address, "5A:00:00:00:%02X:%02X", (index >> 8) & 0xffu, index & 0xffu);
    auto device = std::make_shared<SimDevice>(state_, std::move(layout), address);
    state_->devices.push_back(device);
    for (const auto& central : state_->liveCentrals()) central->offer(device);
    return device;
}

void SimulatedBluetooth::setPoweredOn(bool on) {
    state_->poweredOn = on;
    if (!on) {
        for (const auto& device : state_->devices) device->loseLink(PlatformError{"Bluetooth is powered off."});
    }
    for (const auto& central : state_->liveCentrals()) {
        if (!on) central->radioOff();
        central->reportState();
    }
}

void SimulatedBluetooth::setConnectFails(bool fails) { state_->connectFails = fails; }

void SimulatedBluetooth::setRejectWrites(bool rejects) { state_->rejectWrites = rejects; }

void SimulatedBluetooth::setFailWrites(bool fails) { state_->failWrites = fails; }

void SimulatedBluetooth::setUnavailable(std::optional<std::string> reason) { state_->unavailable = std::move(reason); }

std::shared_ptr<CentralManager> SimulatedBluetooth::makeCentralManager(CentralManagerDelegate* delegate) {
    auto central = std::make_shared<SimCentral>(state_);
    central->setDelegate(delegate);
    state_->centrals.push_back(central);
    central->reportState();
    return central;
}

void SimulatedHotspot::apply(const HotspotConfiguration& configuration, Completion completionHandler) {
    applied_.push_back(configuration);
    std::optional<PlatformError> error;
    if (failure_) error = PlatformError{*failure_};
    RunLoop::main().post([completionHandler = std::move(completionHandler), error] { completionHandler(error); });
}

PlatformBackend simulatedBackend(std::shared_ptr<SimulatedBluetooth> bluetooth, std::shared_ptr<SimulatedHotspot> hotspot) {
    return {
        [bluetooth](CentralManagerDelegate* delegate) { return bluetooth->makeCentralManager(delegate); },
        [hotspot] { return std::static_pointer_cast<HotspotConfigurationManager>(hotspot); },
    };
}

}  // namespace OrvikFramework
