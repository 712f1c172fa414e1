#include "platform/linux/BlueZ.h"

#include <algorithm>

#include <orvik/Log.h>
#include <orvik/RunLoop.h>

namespace OrvikFramework {
namespace {

constexpr const char* bluez = "org.bluez";
constexpr const char* adapterInterface = "org.bluez.Adapter1";
constexpr const char* deviceInterface = "org.bluez.Device1";
constexpr const char* serviceInterface = "org.bluez.GattService1";
constexpr const char* characteristicInterface = "org.bluez.GattCharacteristic1";
constexpr const char* objectManagerInterface = "org.freedesktop.DBus.ObjectManager";
// Writes sent ahead of their confirmations: enough to keep the link busy, few enough to keep memory flat.
constexpr std::size_t writeWindow = 16;
// Why Bluetooth is unavailable while BlueZ is not on the bus.
constexpr const char* notRunning = "BlueZ is not running";
// The signal strength reported for a device whose current strength BlueZ does not know.
constexpr double unknownRSSI = 127;

template <typename T>
std::optional<T> property(const std::map<std::string, sdbus::Variant>* properties, const std::string& name) {
    if (!properties) return std::nullopt;
    const auto it = properties->find(name);
    if (it == properties->end()) return std::nullopt;
    try {
        return it->second.get<T>();
    } catch (const sdbus::Error&) {
        return std::nullopt;
    }
}

std::optional<BluetoothUUID> uuidOf(const std::map<std::string, sdbus::Variant>* properties) {
    const auto text = property<std::string>(properties, "UUID");
    return text ? BluetoothUUID::parse(*text) : std::nullopt;
}

bool matches(const std::optional<std::vector<BluetoothUUID>>& filter, const BluetoothUUID& uuid) {
    return !filter || filter->empty() || std::find(filter->begin(), filter->end(), uuid) != filter->end();
}

PlatformError platformError(const sdbus::Error& error) { return PlatformError{describe(error)}; }

class BlueZCharacteristic : public Characteristic {
public:
    BlueZCharacteristic(std::string path, BluetoothUUID uuid) : path_(std::move(path)), uuid_(uuid) {}
    BluetoothUUID uuid() const override { return uuid_; }
    std::optional<Data> value() const override { return value_; }
    const std::string& path() const { return path_; }
    void setValue(std::optional<Data> value) { value_ = std::move(value); }

private:
    std::string path_;
    BluetoothUUID uuid_;
    std::optional<Data> value_;
};

class BlueZService : public Service {
public:
    BlueZService(std::string path, BluetoothUUID uuid) : path_(std::move(path)), uuid_(uuid) {}
    BluetoothUUID uuid() const override { return uuid_; }
    std::optional<std::vector<std::shared_ptr<Characteristic>>> characteristics() const override { return characteristics_; }
    const std::string& path() const { return path_; }
    void setCharacteristics(std::vector<std::shared_ptr<Characteristic>> found) { characteristics_ = std::move(found); }

private:
    std::string path_;
    BluetoothUUID uuid_;
    std::optional<std::vector<std::shared_ptr<Characteristic>>> characteristics_;
};

const std::string* pathOf(const Characteristic& characteristic) {
    const auto* ours = dynamic_cast<const BlueZCharacteristic*>(&characteristic);
    return ours ? &ours->path() : nullptr;
}

}  // namespace

// One remote device, known by its object path below the adapter.
class BlueZPeripheral : public Peripheral, public std::enable_shared_from_this<BlueZPeripheral> {
public:
    BlueZPeripheral(std::weak_ptr<BlueZCentralManager> manager, std::string path)
        : manager_(std::move(manager)), path_(std::move(path)) {}

    const std::string& path() const { return path_; }

    // The last name BlueZ gave, kept when the device object goes, so that a last report can still name it.
    std::optional<std::string> name() const override { return name_; }
    // BlueZ names device objects after the address: /org/bluez/hci0/dev_AA_BB_CC_DD_EE_FF.
    std::string address() const override {
        const auto slash = path_.rfind('/');
        std::string last = path_.substr(slash == std::string::npos ? 0 : slash + 1);
        if (!last.starts_with("dev_")) return {};
        last.erase(0, 4);
        std::replace(last.begin(), last.end(), '_', ':');
        return last;
    }
    void setName(std::optional<std::string> name) {
        if (name) name_ = std::move(name);
    }

    void setDelegate(PeripheralDelegate* delegate) override { delegate_ = delegate; }

    void discoverServices(const std::vector<BluetoothUUID>& serviceUUIDs) override {
        auto manager = manager_.lock();
        if (!manager) return;
        serviceFilter_ = serviceUUIDs;
        awaitingServices_ = true;
        // On a first resolution BlueZ may say the services are resolved before it publishes their objects, so the
        // objects are waited for too, but not forever.
        if (serviceTimer_) RunLoop::main().cancelTimer(*serviceTimer_);
        serviceTimer_ = RunLoop::main().addTimer(manager->serviceWait_, [weak = weak_from_this()] {
            if (auto self = weak.lock()) {
                self->serviceTimer_.reset();
                self->finishServices(PlatformError{"The device did not offer the requested services and their characteristics in time"});
            }
        });
        checkServices();
    }

    void discoverCharacteristics(const std::optional<std::vector<BluetoothUUID>>& characteristicUUIDs,
                                 const std::shared_ptr<Service>& service) override {
        auto manager = manager_.lock();
        auto* ours = dynamic_cast<BlueZService*>(service.get());
        if (!manager || !ours) return;
        std::vector<std::shared_ptr<Characteristic>> found;
        for (const auto& path : manager->children(ours->path(), characteristicInterface)) {
            const auto uuid = uuidOf(manager->properties(path, characteristicInterface));
            if (uuid && matches(characteristicUUIDs, *uuid)) found.push_back(characteristic(path, *uuid));
        }
        ours->setCharacteristics(std::move(found));
        report([service](PeripheralDelegate& delegate, Peripheral& self) {
            delegate.peripheralDidDiscoverCharacteristicsFor(self, service, std::nullopt);
        });
    }

    void setNotifyValue(bool enabled, const std::shared_ptr<Characteristic>& characteristic) override {
        auto manager = manager_.lock();
        const std::string* path = characteristic ? pathOf(*characteristic) : nullptr;
        if (manager && path) manager->setNotify(*path, enabled);
    }

    bool writeValue(const Data& data, const std::shared_ptr<Characteristic>& characteristic,
                    CharacteristicWriteType type) override {
        auto manager = manager_.lock();
        const std::string* path = characteristic ? pathOf(*characteristic) : nullptr;
        return manager && path && manager->write(path_, {*path, data, type});
    }

    std::optional<std::vector<std::shared_ptr<Service>>> services() const override { return services_; }

    bool isEqual(const Peripheral& other) const override {
        const auto* ours = dynamic_cast<const BlueZPeripheral*>(&other);
        return ours && ours->path_ == path_;
    }

    // Reports a pending discovery once BlueZ has resolved the services and every requested one is published with
    // its characteristics (a service object comes before those of its characteristics).
    void checkServices() {
        auto manager = manager_.lock();
        if (!manager || !awaitingServices_) return;
        if (!property<bool>(manager->properties(path_, deviceInterface), "ServicesResolved").value_or(false)) return;
        std::vector<std::shared_ptr<Service>> found;
        for (const auto& path : manager->children(path_, serviceInterface)) {
            const auto uuid = uuidOf(manager->properties(path, serviceInterface));
            if (uuid && matches(serviceFilter_, *uuid) && !manager->children(path, characteristicInterface).empty()) {
                found.push_back(std::make_shared<BlueZService>(path, *uuid));
            }
        }
        const auto offered = [&found](const BluetoothUUID& uuid) {
            return std::any_of(found.begin(), found.end(), [&uuid](const auto& service) { return service->uuid() == uuid; });
        };
        if (found.empty() || !std::all_of(serviceFilter_.begin(), serviceFilter_.end(), offered)) return;
        services_ = std::move(found);
        finishServices(std::nullopt);
    }

    void disconnected() { finishServices(PlatformError{"The device disconnected before its services were resolved"}); }

    void wrote(const std::string& path, const std::optional<PlatformError>& error) {
        const auto found = characteristics_.find(path);
        if (found == characteristics_.end()) return;
        report([written = found->second, error](PeripheralDelegate& delegate, Peripheral& self) {
            delegate.peripheralDidWriteValueFor(self, written, error);
        });
    }

    void valueChanged(const std::string& path, const Data& value) {
        const auto found = characteristics_.find(path);
        if (found == characteristics_.end()) return;
        auto changed = found->second;
        changed->setValue(value);
        report([changed](PeripheralDelegate& delegate, Peripheral& self) {
            delegate.peripheralDidUpdateValueFor(self, changed, std::nullopt);
        });
    }

private:
    // The same handle for a path every time, so that values land on the object the application holds.
    std::shared_ptr<BlueZCharacteristic> characteristic(const std::string& path, const BluetoothUUID& uuid) {
        auto& entry = characteristics_[path];
        if (!entry || entry->uuid() != uuid) entry = std::make_shared<BlueZCharacteristic>(path, uuid);
        return entry;
    }

    void finishServices(const std::optional<PlatformError>& error) {
        if (!awaitingServices_) return;
        awaitingServices_ = false;
        if (serviceTimer_) RunLoop::main().cancelTimer(*serviceTimer_);
        serviceTimer_.reset();
        report([error](PeripheralDelegate& delegate, Peripheral& self) { delegate.peripheralDidDiscoverServices(self, error); });
    }

    void report(std::function<void(PeripheralDelegate&, Peripheral&)> call) {
        RunLoop::main().post([weak = weak_from_this(), call = std::move(call)] {
            auto self = weak.lock();
            if (self && self->delegate_) call(*self->delegate_, *self);
        });
    }

    std::weak_ptr<BlueZCentralManager> manager_;
    std::string path_;
    PeripheralDelegate* delegate_ = nullptr;
    std::vector<BluetoothUUID> serviceFilter_;
    bool awaitingServices_ = false;
    std::optional<RunLoop::TimerId> serviceTimer_;
    std::optional<std::vector<std::shared_ptr<Service>>> services_;
    std::map<std::string, std::shared_ptr<BlueZCharacteristic>> characteristics_;
    std::optional<std::string> name_;
};

std::shared_ptr<BlueZCentralManager> BlueZCentralManager::create(std::shared_ptr<DBusLink> link,
                                                                 CentralManagerDelegate* delegate,
                                                                 std::chrono::milliseconds serviceWait) {
    std::shared_ptr<BlueZCentralManager> manager(new BlueZCentralManager(std::move(link), delegate, serviceWait));
    manager->start();
    return manager;
}

BlueZCentralManager::BlueZCentralManager(std::shared_ptr<DBusLink> link, CentralManagerDelegate* delegate,
                                         std::chrono::milliseconds serviceWait)
    : link_(std::move(link)), delegate_(delegate), serviceWait_(serviceWait) {}

BlueZCentralManager::~BlueZCentralManager() {
    // Slots and proxies refer to the connection; release them before the link may go.
    matches_.clear();
    proxies_.clear();
}

void BlueZCentralManager::start() {
    if (!link_ || !link_->connected()) {
        Log::plain("BlueZ: no D-Bus connection; Bluetooth is unavailable");
        setState(ManagerState::unsupported, "no system bus");
        return;
    }
    const std::weak_ptr<BlueZCentralManager> weak = weak_from_this();
    auto& connection = link_->connection();
    const auto onSignal = [weak](void (*handle)(BlueZCentralManager&, sdbus::Message&)) {
        return [weak, handle](sdbus::Message& message) {
            auto self = weak.lock();
            if (!self) return;
            try {
                handle(*self, message);
            } catch (const sdbus::Error& error) {
                Log::plain("BlueZ: ignored a malformed signal: " + describe(error));
            }
        };
    };
    matches_.push_back(connection.addMatch(
        "type='signal',sender='org.bluez',interface='org.freedesktop.DBus.Properties',member='PropertiesChanged'",
        onSignal([](BlueZCentralManager& self, sdbus::Message& message) {
            std::string interface;
            Properties changed;
            message >> interface >> changed;
            self.propertiesChanged(message.getPath(), interface, changed);
        })));
    matches_.push_back(connection.addMatch(
        "type='signal',sender='org.bluez',interface='org.freedesktop.DBus.ObjectManager',member='InterfacesAdded'",
        onSignal([](BlueZCentralManager& self, sdbus::Message& message) {
            sdbus::ObjectPath path;
            Interfaces interfaces;
            message >> path >> interfaces;
            self.interfacesAdded(path, interfaces);
        })));
    matches_.push_back(connection.addMatch(
        "type='signal',sender='org.bluez',interface='org.freedesktop.DBus.ObjectManager',member='InterfacesRemoved'",
        onSignal([](BlueZCentralManager& self, sdbus::Message& message) {
            sdbus::ObjectPath path;
            std::vector<std::string> interfaces;
            message >> path >> interfaces;
            self.interfacesRemoved(path, interfaces);
        })));
    // BlueZ restarting, or stopping, is seen as its bus name changing hands.
    matches_.push_back(connection.addMatch(
        "type='signal',sender='org.freedesktop.DBus',interface='org.freedesktop.DBus',member='NameOwnerChanged',"
        "arg0='org.bluez'",
        onSignal([](BlueZCentralManager& self, sdbus::Message& message) {
            std::string name, before, after;
            message >> name >> before >> after;
            self.forgetAll();
            if (after.empty()) {
                Log::plain("BlueZ: the Bluetooth service left the bus");
                self.setState(ManagerState::unsupported, notRunning);
            } else {
                self.load();
            }
        })));
    load();
}

void BlueZCentralManager::load() {
    const std::weak_ptr<BlueZCentralManager> weak = weak_from_this();
    using Managed = std::map<sdbus::ObjectPath, Interfaces>;
    callAsync(
        *link_, proxy("/"), objectManagerInterface, "GetManagedObjects",
        std::function([weak](Managed managed) {
            auto self = weak.lock();
            if (!self) return;
            for (const auto& [path, interfaces] : managed) self->interfacesAdded(path, interfaces);
            self->loaded_ = true;
            self->updateState();
        }),
        std::function([weak](const sdbus::Error& error) {
            auto self = weak.lock();
            if (!self) return;
            Log::plain("BlueZ: the Bluetooth service is not available: " + describe(error));
            self->loaded_ = true;
            const bool absent = error.getName() == "org.freedesktop.DBus.Error.ServiceUnknown" ||
                                error.getName() == "org.freedesktop.DBus.Error.NameHasNoOwner";
            self->setState(ManagerState::unsupported, absent ? notRunning : "BlueZ does not answer: " + describe(error));
        }));
}

void BlueZCentralManager::forgetAll() {
    for (const auto& path : std::set<std::string>(connected_)) deviceGone(path);
    for (const auto& path : std::set<std::string>(connecting_)) {
        connecting_.erase(path);
        post([p = peripheral(path)](CentralManagerDelegate& delegate, CentralManager& self) {
            delegate.centralManagerDidFailToConnect(self, p, PlatformError{"The Bluetooth service left the bus"});
        });
    }
    objects_.clear();
    adapter_.reset();
    scanning_ = false;
    discovering_ = false;
}

void BlueZCentralManager::interfacesAdded(const std::string& path, const Interfaces& interfaces) {
    auto& object = objects_[path];
    for (const auto& [interface, properties] : interfaces) {
        for (const auto& [name, value] : properties) object[interface][name] = value;
    }
    if (interfaces.count(adapterInterface) && loaded_) updateState();
    if (interfaces.count(deviceInterface) && peripherals_.count(path)) peripheral(path);
    if (interfaces.count(deviceInterface) && scanning_) reportDiscovered(path);
    if (interfaces.count(serviceInterface) || interfaces.count(characteristicInterface)) {
        if (auto* device = deviceAbove(path)) device->checkServices();
    }
}

void BlueZCentralManager::interfacesRemoved(const std::string& path, const std::vector<std::string>& interfaces) {
    const auto object = objects_.find(path);
    if (object == objects_.end()) return;
    for (const auto& interface : interfaces) object->second.erase(interface);
    if (object->second.empty()) objects_.erase(object);
    for (const auto& interface : interfaces) {
        if (interface == deviceInterface) deviceGone(path);
        if (interface == adapterInterface) updateState();
    }
}

void BlueZCentralManager::propertiesChanged(const std::string& path, const std::string& interface,
                                            const Properties& changed) {
    const auto object = objects_.find(path);
    if (object == objects_.end()) return;
    for (const auto& [name, value] : changed) object->second[interface][name] = value;
    if (interface == adapterInterface) updateState();
    if (interface == deviceInterface) deviceChanged(path, changed);
    if (interface == characteristicInterface && changed.count("Value")) {
        const auto value = property<std::vector<std::uint8_t>>(&changed, "Value");
        if (auto* device = deviceAbove(path); device && value) device->valueChanged(path, *value);
    }
}

void BlueZCentralManager::updateState() {
    adapter_.reset();
    for (const auto& [path, interfaces] : objects_) {
        if (interfaces.count(adapterInterface)) {
            adapter_ = path;
            break;
        }
    }
    if (!adapter_) {
        if (state_ != ManagerState::unsupported) Log::plain("BlueZ: no Bluetooth adapter");
        setState(ManagerState::unsupported, "no Bluetooth adapter");
        return;
    }
    if (property<bool>(properties(*adapter_, adapterInterface), "Powered").value_or(false)) {
        setState(ManagerState::poweredOn);
    } else {
        setState(ManagerState::poweredOff, "the Bluetooth adapter is powered off");
    }
}

void BlueZCentralManager::setState(ManagerState state, std::optional<std::string> reason) {
    unavailable_.reset();
    if (reason) unavailable_ = PlatformError{std::move(*reason)};
    const bool first = !reportedState_;
    if (!first && state == state_) return;
    reportedState_ = true;
    state_ = state;
    if (state != ManagerState::poweredOn) scanning_ = false;
    post([](CentralManagerDelegate& delegate, CentralManager& self) { delegate.centralManagerDidUpdateState(self); });
}

void BlueZCentralManager::deviceChanged(const std::string& path, const Properties& changed) {
    if (const auto known = peripherals_.find(path); known != peripherals_.end()) {
        known->second->setName(property<std::string>(&changed, "Name"));
    }
    if (const auto connected = property<bool>(&changed, "Connected")) {
        if (*connected) {
            this->connected(path);
        } else if (connected_.count(path)) {
            deviceGone(path);
        }
    }
    if (property<bool>(&changed, "ServicesResolved").value_or(false)) {
        if (const auto known = peripherals_.find(path); known != peripherals_.end()) known->second->checkServices();
    }
    if (scanning_ && (changed.count("RSSI") || changed.count("Name")) && (allowDuplicates_ || !reported_.count(path))) {
        reportDiscovered(path);
    }
}

void BlueZCentralManager::reportDiscovered(const std::string& path) {
    // Devices of another adapter are not this radio's scan results.
    if (!adapter_ || path.rfind(*adapter_ + "/", 0) != 0) return;
    if (!allowDuplicates_ && reported_.count(path)) return;
    reported_.insert(path);
    const auto rssi = property<std::int16_t>(properties(path, deviceInterface), "RSSI");
    const double strength = rssi ? *rssi : unknownRSSI;
    post([p = peripheral(path), strength](CentralManagerDelegate& delegate, CentralManager& self) {
        delegate.centralManagerDidDiscover(self, p, AdvertisementData{}, strength);
    });
}

void BlueZCentralManager::deviceGone(const std::string& path) {
    const auto known = peripherals_.find(path);
    if (known != peripherals_.end()) known->second->disconnected();
    if (!connected_.erase(path)) return;
    disconnectWhenDrained_.erase(path);
    post([p = peripheral(path)](CentralManagerDelegate& delegate, CentralManager& self) {
        delegate.centralManagerDidDisconnectPeripheral(self, p, std::nullopt);
    });
}

void BlueZCentralManager::connected(const std::string& path) {
    if (!connecting_.erase(path)) return;
    connected_.insert(path);
    post([p = peripheral(path)](CentralManagerDelegate& delegate, CentralManager& self) {
        delegate.centralManagerDidConnect(self, p);
    });
}

BlueZPeripheral* BlueZCentralManager::deviceAbove(const std::string& path) const {
    for (const auto& [devicePath, device] : peripherals_) {
        if (path.rfind(devicePath + "/", 0) == 0) return device.get();
    }
    return nullptr;
}

void BlueZCentralManager::scanForPeripherals(const std::optional<std::vector<BluetoothUUID>>& serviceUUIDs,
                                             const ScanOptions& options) {
    if (state_ != ManagerState::poweredOn || !adapter_) {
        Log::plain("BlueZ: cannot scan: Bluetooth is not powered on");
        return;
    }
    allowDuplicates_ = options.allowDuplicates;
    reported_.clear();
    scanning_ = true;
    std::map<std::string, sdbus::Variant> filter{{"Transport", sdbus::Variant(std::string("le"))},
                                                 {"DuplicateData", sdbus::Variant(options.allowDuplicates)}};
    if (serviceUUIDs && !serviceUUIDs->empty()) {
        std::vector<std::string> uuids;
        for (const auto& uuid : *serviceUUIDs) uuids.push_back(uuid.uuidString());
        filter["UUIDs"] = sdbus::Variant(uuids);
    }
    const auto logFailure = [](const char* what) {
        return std::function([what](const sdbus::Error& error) {
            Log::plain(std::string("BlueZ: ") + what + " failed: " + describe(error));
        });
    };
    const std::string adapter = *adapter_;
    const std::weak_ptr<BlueZCentralManager> weak = weak_from_this();
    callAsync(
        *link_, proxy(adapter), adapterInterface, "SetDiscoveryFilter",
        std::function([weak, adapter, logFailure] {
            auto self = weak.lock();
            if (!self || !self->scanning_) return;
            callAsync(
                *self->link_, self->proxy(adapter), adapterInterface, "StartDiscovery",
                std::function([weak] {
                    auto self = weak.lock();
                    if (!self) return;
                    self->discovering_ = true;
                    // Stopped while the request was on its way.
                    if (!self->scanning_) self->stopScan();
                }),
                logFailure("StartDiscovery"));
        }),
        logFailure("SetDiscoveryFilter"), filter);
    // Devices BlueZ already sees count as results of this scan too.
    for (const auto& [path, interfaces] : objects_) {
        if (interfaces.count(deviceInterface) && property<std::int16_t>(properties(path, deviceInterface), "RSSI")) {
            reportDiscovered(path);
        }
    }
}

void BlueZCentralManager::stopScan() {
    scanning_ = false;
    if (!discovering_ || !adapter_) return;
    discovering_ = false;
    callAsync(*link_, proxy(*adapter_), adapterInterface, "StopDiscovery", std::function([] {}),
              std::function([](const sdbus::Error& error) {
                  Log::plain("BlueZ: StopDiscovery failed: " + describe(error));
              }));
}

void BlueZCentralManager::connect(const std::shared_ptr<Peripheral>& peripheral) {
    auto* ours = dynamic_cast<BlueZPeripheral*>(peripheral.get());
    if (!ours || !link_ || !link_->connected()) return;
    const std::string path = ours->path();
    if (connected_.count(path)) return;
    connecting_.insert(path);
    const std::weak_ptr<BlueZCentralManager> weak = weak_from_this();
    callAsync(
        *link_, proxy(path), deviceInterface, "Connect",
        std::function([weak, path] {
            if (auto self = weak.lock()) self->connected(path);
        }),
        std::function([weak, path](const sdbus::Error& error) {
            auto self = weak.lock();
            if (!self) return;
            if (error.getName() == "org.bluez.Error.AlreadyConnected") return self->connected(path);
            if (!self->connecting_.erase(path)) return;
            self->post([p = self->peripheral(path), failure = platformError(error)](CentralManagerDelegate& delegate,
                                                                                    CentralManager& manager) {
                delegate.centralManagerDidFailToConnect(manager, p, failure);
            });
        }));
}

void BlueZCentralManager::cancelPeripheralConnection(const std::shared_ptr<Peripheral>& peripheral) {
    auto* ours = dynamic_cast<BlueZPeripheral*>(peripheral.get());
    if (!ours || !link_ || !link_->connected()) return;
    const std::string path = ours->path();
    // Disconnecting must not cut off the tail of a job: the link goes once the writes handed over are done.
    if (pendingWrites() > 0) {
        disconnectWhenDrained_.insert(path);
        return;
    }
    callAsync(*link_, proxy(path), deviceInterface, "Disconnect", std::function([] {}),
              std::function([](const sdbus::Error& error) {
                  Log::plain("BlueZ: Disconnect failed: " + describe(error));
              }));
}

const BlueZCentralManager::Properties* BlueZCentralManager::properties(const std::string& path,
                                                                       const std::string& interface) const {
    const auto object = objects_.find(path);
    if (object == objects_.end()) return nullptr;
    const auto found = object->second.find(interface);
    return found == object->second.end() ? nullptr : &found->second;
}

std::vector<std::string> BlueZCentralManager::children(const std::string& parent, const std::string& interface) const {
    std::vector<std::string> found;
    const std::string prefix = parent + "/";
    for (auto it = objects_.lower_bound(prefix); it != objects_.end() && it->first.rfind(prefix, 0) == 0; ++it) {
        // Direct children only: a characteristic's descriptors are not characteristics of the service.
        if (it->first.find('/', prefix.size()) == std::string::npos && it->second.count(interface)) found.push_back(it->first);
    }
    return found;
}

std::shared_ptr<BlueZPeripheral> BlueZCentralManager::peripheral(const std::string& path) {
    auto& entry = peripherals_[path];
    if (!entry) entry = std::make_shared<BlueZPeripheral>(weak_from_this(), path);
    entry->setName(property<std::string>(properties(path, deviceInterface), "Name"));
    return entry;
}

bool BlueZCentralManager::deviceConnected(const std::string& path) const {
    return connected_.count(path) > 0 &&
           property<bool>(properties(path, deviceInterface), "Connected").value_or(true);
}

bool BlueZCentralManager::write(const std::string& device, Write write) {
    if (!link_ || !link_->connected() || !deviceConnected(device)) return false;
    queued_.push_back(std::move(write));
    sendWrites();
    return true;
}

void BlueZCentralManager::sendWrites() {
    const std::weak_ptr<BlueZCentralManager> weak = weak_from_this();
    while (inFlight_ < writeWindow && !queued_.empty()) {
        Write next = std::move(queued_.front());
        queued_.pop_front();
        ++inFlight_;
        const bool confirmed = next.type == CharacteristicWriteType::withResponse;
        const std::map<std::string, sdbus::Variant> options{{"type", sdbus::Variant(std::string(confirmed ? "request" : "command"))}};
        // `error` is null when the write succeeded.
        const auto done = [weak, confirmed, path = next.characteristic](const sdbus::Error* error) {
            auto self = weak.lock();
            if (!self) return;
            --self->inFlight_;
            if (error) Log::plain("BlueZ: write to " + path + " failed: " + describe(*error));
            if (auto* device = self->deviceAbove(path); device && confirmed) {
                device->wrote(path, error ? std::optional(platformError(*error)) : std::nullopt);
            }
            self->sendWrites();
        };
        callAsync(*link_, proxy(next.characteristic), characteristicInterface, "WriteValue",
                  std::function([done] { done(nullptr); }),
                  std::function([done](const sdbus::Error& error) { done(&error); }),
                  next.bytes, options);
    }
    if (pendingWrites() > 0) return;
    for (const auto& path : std::exchange(disconnectWhenDrained_, {})) cancelPeripheralConnection(peripheral(path));
}

void BlueZCentralManager::setNotify(const std::string& characteristic, bool enabled) {
    const char* method = enabled ? "StartNotify" : "StopNotify";
    callAsync(*link_, proxy(characteristic), characteristicInterface, method, std::function([] {}),
              std::function([method, characteristic](const sdbus::Error& error) {
                  Log::plain(std::string("BlueZ: ") + method + " on " + characteristic + " failed: " + describe(error));
              }));
}

sdbus::IProxy& BlueZCentralManager::proxy(const std::string& path) {
    auto& entry = proxies_[path];
    if (!entry) entry = sdbus::createProxy(link_->connection(), bluez, path);
    return *entry;
}

void BlueZCentralManager::post(std::function<void(CentralManagerDelegate&, CentralManager&)> report) {
    RunLoop::main().post([weak = weak_from_this(), report = std::move(report)] {
        auto self = weak.lock();
        if (self && self->delegate_) report(*self->delegate_, *self);
    });
}

}  // namespace OrvikFramework
