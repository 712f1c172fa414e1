#pragma once

#include <any>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <orvik/BluetoothUUID.h>
#include <orvik/Data.h>
#include <orvik/PlatformError.h>

// Bluetooth LE central role as the SDK uses it. Back-ends implement these interfaces and deliver every
// delegate callback by posting it to RunLoop::main(); a delegate is looked up when the callback runs, so
// clearing it stops callbacks that are already queued.
namespace OrvikFramework {

class CentralManager;
class Peripheral;
class Service;
class Characteristic;
class BLEPeripheral;

/// Radio state; the raw values are the ones applications compare with (powered on is 5).
enum class ManagerState : std::int64_t { unknown = 0, resetting = 1, unsupported = 2, unauthorized = 3, poweredOff = 4, poweredOn = 5 };

/// How a value is written to a characteristic.
enum class CharacteristicWriteType : std::int64_t { withResponse = 0, withoutResponse = 1 };

/// Advertisement data of one scan result.
using AdvertisementData = std::map<std::string, std::any>;

/// Options of a scan request.
struct ScanOptions {
    /// Report every advertisement of a device, not only its first.
    bool allowDuplicates = false;
};

/// A GATT characteristic of a remote peripheral.
class Characteristic {
public:
    virtual ~Characteristic() = default;
    virtual BluetoothUUID uuid() const = 0;
    /// The latest value read or notified, absent before the first.
    virtual std::optional<Data> value() const = 0;
};

/// A GATT service of a remote peripheral.
class Service {
public:
    virtual ~Service() = default;
    virtual BluetoothUUID uuid() const = 0;
    /// The characteristics found by the last discovery, absent before it.
    virtual std::optional<std::vector<std::shared_ptr<Characteristic>>> characteristics() const = 0;
};

/// Receives a peripheral's discovery and value reports.
class PeripheralDelegate {
public:
    virtual ~PeripheralDelegate() = default;
    virtual void peripheralDidDiscoverServices(Peripheral& peripheral, const std::optional<PlatformError>& error) = 0;
    virtual void peripheralDidDiscoverCharacteristicsFor(Peripheral& peripheral, const std::shared_ptr<Service>& service,
                                                         const std::optional<PlatformError>& error) = 0;
    virtual void peripheralDidUpdateValueFor(Peripheral& peripheral, const std::shared_ptr<Characteristic>& characteristic,
                                             const std::optional<PlatformError>& error) = 0;
    /// The outcome of one write with response, in the order the writes were queued; `error` when it failed.
    virtual void peripheralDidWriteValueFor(Peripheral& peripheral, const std::shared_ptr<Characteristic>& characteristic,
                                            const std::optional<PlatformError>& error) {
        (void)peripheral, (void)characteristic, (void)error;
    }
};

/// A remote device seen by a scan. Two handles are equal when they stand for the same device.
class Peripheral {
public:
    virtual ~Peripheral() = default;
    /// The advertised or device name, absent when the device has none.
    virtual std::optional<std::string> name() const = 0;
    /// The device's Bluetooth address ("AA:BB:CC:DD:EE:FF"), empty when the stack does not tell it.
    virtual std::string address() const { return {}; }
    /// Sets or (with nullptr) clears the receiver of this peripheral's reports; not owned.
    virtual void setDelegate(PeripheralDelegate* delegate) = 0;
    /// Discovers the services with these UUIDs; the report follows as peripheralDidDiscoverServices.
    virtual void discoverServices(const std::vector<BluetoothUUID>& serviceUUIDs) = 0;
    /// Discovers a service's characteristics (all when the filter is absent).
    virtual void discoverCharacteristics(const std::optional<std::vector<BluetoothUUID>>& characteristicUUIDs,
                                         const std::shared_ptr<Service>& service) = 0;
    /// Switches value notifications of a characteristic on or off.
    virtual void setNotifyValue(bool enabled, const std::shared_ptr<Characteristic>& characteristic) = 0;
    /// Queues a write; false when the stack refuses it at once (no link, rejected), so nothing will be written.
    virtual bool writeValue(const Data& data, const std::shared_ptr<Characteristic>& characteristic,
                            CharacteristicWriteType type) = 0;
    /// The services found by the last discovery, absent before it.
    virtual std::optional<std::vector<std::shared_ptr<Service>>> services() const = 0;
    /// Whether both handles stand for the same remote device.
    virtual bool isEqual(const Peripheral& other) const = 0;
};

/// Receives a central manager's radio, scan and connection reports.
class CentralManagerDelegate {
public:
    virtual ~CentralManagerDelegate() = default;
    virtual void centralManagerDidUpdateState(CentralManager& central) = 0;
    virtual void centralManagerDidDiscover(CentralManager& central, const std::shared_ptr<Peripheral>& peripheral,
                                           const AdvertisementData& advertisementData, double RSSI) = 0;
    virtual void centralManagerDidConnect(CentralManager& central, const std::shared_ptr<Peripheral>& peripheral) = 0;
    virtual void centralManagerDidDisconnectPeripheral(CentralManager& central, const std::shared_ptr<Peripheral>& peripheral,
                                                       const std::optional<PlatformError>& error) = 0;
    virtual void centralManagerDidFailToConnect(CentralManager& central, const std::shared_ptr<Peripheral>& peripheral,
                                                const std::optional<PlatformError>& error) = 0;
};

/// The local adapter in the central role. Its first state report follows creation.
class CentralManager {
public:
    virtual ~CentralManager() = default;
    virtual ManagerState state() const = 0;
    /// Sets or (with nullptr) clears the receiver of this manager's reports; not owned.
    virtual void setDelegate(CentralManagerDelegate* delegate) = 0;
    /// Scans for advertisers offering these services (all when absent); results follow as centralManagerDidDiscover.
    virtual void scanForPeripherals(const std::optional<std::vector<BluetoothUUID>>& serviceUUIDs, const ScanOptions& options) = 0;
    /// Stops the scan; no discovery report is delivered after this call.
    virtual void stopScan() = 0;
    /// Requests a connection; the outcome follows as centralManagerDidConnect or centralManagerDidFailToConnect.
    virtual void connect(const std::shared_ptr<Peripheral>& peripheral) = 0;
    /// Drops a connection once the writes already queued on it are done; centralManagerDidDisconnectPeripheral follows.
    virtual void cancelPeripheralConnection(const std::shared_ptr<Peripheral>& peripheral) = 0;
    /// Writes handed to the stack that it has not finished yet.
    virtual std::size_t pendingWrites() const { return 0; }
    /// Why the stack cannot be used (no system bus, no Bluetooth service, no adapter), as soon as it is known;
    /// absent while it may still become usable.
    virtual std::optional<PlatformError> unavailableReason() const { return std::nullopt; }
};

}  // namespace OrvikFramework
