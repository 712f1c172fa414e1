// Link set-up, the Bluetooth central callbacks and the Bluetooth write path of the SDK object.
#include <orvik/Orvik.h>

#include <cmath>
#include <limits>

#include <orvik/Log.h>
#include <orvik/Platform.h>
#include <orvik/RunLoop.h>

#include "core/BleFraming.h"
#include "core/Gzip.h"
#include "platform/posix/DeviceLink.h"

namespace OrvikFramework {
namespace {

using namespace std::string_view_literals;

const char* interfaceName(WIRELESSS_INTERFACE type) {
    switch (type) {
        case WIRELESSS_INTERFACE::BLUETOOTH: return "WIRELESSS_INTERFACE.BLUETOOTH";
        case WIRELESSS_INTERFACE::WIFI: return "WIRELESSS_INTERFACE.WIFI";
        case WIRELESSS_INTERFACE::SOCKET: return "WIRELESSS_INTERFACE.SOCKET";
    }
    return "";
}

// Signal strength as a 32-bit integer; out-of-range or non-numeric reports are clamped instead of overflowing.
std::int32_t toInt32(double value) {
    if (std::isnan(value)) return 0;
    constexpr double low = std::numeric_limits<std::int32_t>::min();
    constexpr double high = std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(value < low ? low : value > high ? high : value);
}

// A join failure is logged with the system's own words, which may quote what it was given; the passphrase is
// masked. Returns the failure as an error, with the same masked words.
std::optional<Error> logWiFiJoin(const std::optional<PlatformError>& error, std::string_view passphrase) {
    if (!error) {
        Log::plain("WiFi AP Connect : Success");
        return std::nullopt;
    }
    std::string description = error->localizedDescription;
    if (!passphrase.empty()) {
        for (auto at = description.find(passphrase); at != std::string::npos; at = description.find(passphrase, at + 3)) {
            description.replace(at, passphrase.size(), "***");
        }
    }
    Log::plain("WiFi AP Connect : Not Succee \nError: " + Log::debugForm(std::optional<std::string>(description)));
    return Error{ErrorCode::WiFiJoinFailed, description};
}

Error notConnected(std::size_t bytes) {
    return {ErrorCode::NotConnected, "the Bluetooth printer is not connected; " + std::to_string(bytes) + " bytes not sent"};
}

}  // namespace

Orvik::~Orvik() { detachFromStack(); }

// The stack keeps the delegate as a plain pointer; queued reports must find it cleared once this object is gone.
void Orvik::detachFromStack() {
    if (BLEManager) BLEManager->setDelegate(nullptr);
    if (ConnectedBLEDevice) ConnectedBLEDevice->setDelegate(nullptr);
}

void Orvik::InitSDK(WIRELESSS_INTERFACE InterfaceType, std::int64_t MTU, std::string_view ConnectTo, std::string_view Password) {
    closeDevice();
    if (this->InterfaceType == WIRELESSS_INTERFACE::BLUETOOTH && InterfaceType != WIRELESSS_INTERFACE::BLUETOOTH) {
        BLEDeviceScanStop();
    }
    this->InterfaceType = InterfaceType;
    this->MTU = MTU;
    this->ConnectTo = ConnectTo;
    this->Password = Password;
    Log::debug(std::string("Connect ") + interfaceName(InterfaceType) + " : " + this->ConnectTo);

    switch (InterfaceType) {
        case WIRELESSS_INTERFACE::SOCKET: break;
        case WIRELESSS_INTERFACE::WIFI: {
            WiFiConfiguration = HotspotConfiguration{this->ConnectTo, this->Password, false};
            WiFiConfiguration->joinOnce = true;
            const auto& makeManager = Platform::backend().hotspotManager;
            if (const auto manager = makeManager ? makeManager() : nullptr) {
                manager->apply(*WiFiConfiguration, [this, alive = std::weak_ptr<int>(lifetime_), passphrase = this->Password](
                                                       const std::optional<PlatformError>& error) {
                    const auto failure = logWiFiJoin(error, passphrase);
                    if (!alive.expired()) wifiJoinFinished(failure);
                });
            } else {
                wifiJoinFinished(logWiFiJoin(PlatformError{"no Wi-Fi access-point service on this system"}, {}));
            }
            break;
        }
        case WIRELESSS_INTERFACE::BLUETOOTH: {
            // The replaced manager is not stopped, but it must not report to this object any more.
            if (BLEManager) BLEManager->setDelegate(nullptr);
            const auto& makeManager = Platform::backend().makeCentralManager;
            BLEManager = makeManager ? makeManager(this) : nullptr;
            if (!BLEManager) Log::plain("Orvik: no Bluetooth service on this system; the printer cannot be found");
            reportBluetoothUnavailable();
            BLEDeviceScanStart();
            Log::debug("BLEDeviceScanStart End: " + this->ConnectTo);
            break;
        }
    }
}

bool Orvik::Connect(std::string_view IP, std::int64_t Port) {
    if (!InterfaceType) {
        Log::plain("Orvik: no interface chosen; call InitSDK before Connect (nothing connected)");
        return false;
    }
    if (*InterfaceType == WIRELESSS_INTERFACE::BLUETOOTH) {
        reportBluetoothUnavailable();
        if (!BLEDevice) return false;
        if (BLEManager && BLEDevice->peripheral) BLEManager->connect(BLEDevice->peripheral);
        Log::debug(std::optional<bool>(BLEDevice->isConnected));
        Log::debug("BLEDeviceScanStart End: " + ConnectTo);
    } else {
        Log::debug(std::string("Connect ") + interfaceName(*InterfaceType) + " : " + ConnectTo);
        TCPDevice = std::make_shared<TcpSocket>();
        watchConnection(*TCPDevice);
        TCPDevice->connect(IP, Port);
    }
    bConnect = true;
    return true;
}

void Orvik::Disconnect() {
    closeDevice();
    if (!bConnect) return;
    if (!InterfaceType) {
        Log::plain("Orvik: no interface chosen; nothing to disconnect");
        bConnect = false;
        return;
    }
    Log::debug(std::string("Disconnect ") + interfaceName(*InterfaceType) + " : " + ConnectTo);
    if (*InterfaceType == WIRELESSS_INTERFACE::BLUETOOTH) {
        // Every piece was handed to the stack before this point, and the stack finishes queued writes first.
        const auto target = ConnectedBLEDevice ? ConnectedBLEDevice : BLEDevice ? BLEDevice->peripheral : nullptr;
        if (BLEManager && target) BLEManager->cancelPeripheralConnection(target);
    } else if (TCPDevice) {
        TCPDevice->disconnect();
    }
    bConnect = false;
}

// Scanning with duplicates reported lets a device list keep signal strengths current; the printer
// itself is found by the scan the powered-on report starts.
void Orvik::BLEDeviceScanStart() {
    if (BLEManager && BLEManager->state() == ManagerState::poweredOn) {
        BLEManager->scanForPeripherals(std::nullopt, ScanOptions{true});
    }
}

void Orvik::BLEDeviceScanStop() {
    if (BLEManager) BLEManager->stopScan();
}

void Orvik::centralManagerDidUpdateState(CentralManager& central) {
    if (central.state() != ManagerState::poweredOn) {
        reportBluetoothUnavailable();
        return;
    }
    Log::debug("BT poweredOn"sv);
    if (BLEManager) BLEManager->scanForPeripherals(std::nullopt, ScanOptions{false});
}

void Orvik::centralManagerDidDiscover(CentralManager&, const std::shared_ptr<Peripheral>& peripheral, const AdvertisementData&,
                                      double RSSI) {
    Log::debug("Enter centralManager"sv);
    RunLoop::main().post([this, alive = std::weak_ptr<int>(lifetime_), peripheral, rssi = toInt32(RSSI)] {
        if (alive.expired()) return;
        auto record = std::make_shared<BLEPeripheral>(peripheral, rssi, false);
        const std::string name = record->name();
        if (name != ConnectTo) {
            Log::debug("BT SCAN : " + name);
            return;
        }
        if (BLEManager) BLEManager->stopScan();
        Log::debug("BT SCAN : " + name);
        BLEDevice = std::move(record);
        Log::debug("Signal......"sv);
        if (observer_) observer_->printerFound(*BLEDevice);
        if (std::exchange(connectWhenFound_, false)) Connect("", 0);
    });
    Log::debug("Leave centralManager"sv);
}

void Orvik::centralManagerDidConnect(CentralManager&, const std::shared_ptr<Peripheral>& peripheral) {
    if (!peripheral) return;
    ConnectedBLEDevice = peripheral;
    ConnectedBLEDevice->setDelegate(this);
    // Confirmations of writes on an earlier link will not come any more.
    staleConfirmations_ = 0;
    ConnectedBLEDevice->discoverServices({ServiceUUID});
}

void Orvik::centralManagerDidDisconnectPeripheral(CentralManager&, const std::shared_ptr<Peripheral>&,
                                                  const std::optional<PlatformError>& error) {
    // Writes not yet confirmed may still be reported by the stack; they are no part of the job any more.
    const bool unconfirmed = !job_.awaitingConfirmation.empty();
    staleConfirmations_ += job_.awaitingConfirmation.size();
    job_.awaitingConfirmation.clear();
    std::optional<Error> loss;
    if (error) loss = Error{ErrorCode::LinkLost, "the Bluetooth link was lost: " + error->localizedDescription};
    else if (unconfirmed) loss = Error{ErrorCode::LinkLost, "disconnected before the printer confirmed every write"};
    if (loss) failed(*loss);
    if (observer_) {
        if (error) observer_->linkLost(*loss);
        observer_->printerDisconnected(error ? loss : std::nullopt);
    }
    if (error || !ConnectedBLEDevice) return;
    ConnectedBLEDevice->setDelegate(nullptr);
    ConnectedBLEDevice.reset();
}

void Orvik::centralManagerDidFailToConnect(CentralManager&, const std::shared_ptr<Peripheral>&,
                                           const std::optional<PlatformError>& error) {
    const Error failure{ErrorCode::ConnectionFailed,
                        "the printer could not be connected: " + (error ? error->localizedDescription : "no reason given")};
    failed(failure);
    if (observer_) observer_->connectionFailed(failure);
    if (error || !ConnectedBLEDevice) return;
    ConnectedBLEDevice->setDelegate(nullptr);
    ConnectedBLEDevice.reset();
}

// A printer whose service never shows up would otherwise leave every later job waiting with nothing said.
void Orvik::serviceNotFound(const std::string& why) {
    const Error error{ErrorCode::ServiceNotFound, why};
    failed(error);
    if (observer_) observer_->connectionFailed(error);
}

void Orvik::peripheralDidDiscoverServices(Peripheral& peripheral, const std::optional<PlatformError>& error) {
    if (error) return serviceNotFound(error->localizedDescription);
    for (const auto& service : peripheral.services().value_or(std::vector<std::shared_ptr<Service>>{})) {
        if (service && service->uuid() == ServiceUUID) {
            if (ConnectedBLEDevice) ConnectedBLEDevice->discoverCharacteristics(std::nullopt, service);
            return;
        }
    }
    serviceNotFound("the device does not offer the printer service");
}

void Orvik::peripheralDidDiscoverCharacteristicsFor(Peripheral&, const std::shared_ptr<Service>& service,
                                                    const std::optional<PlatformError>& error) {
    if (error) return serviceNotFound(error->localizedDescription);
    if (service && service->uuid() == ServiceUUID) {
        for (const auto& characteristic : service->characteristics().value_or(std::vector<std::shared_ptr<Characteristic>>{})) {
            if (!characteristic) continue;
            if (characteristic->uuid() == RXCharacteristicUUID) {
                RXCharacteristic = characteristic;
            } else if (characteristic->uuid() == TXCharacteristicUUID) {
                TXCharacteristic = characteristic;
            }
        }
    }
    if (RXCharacteristic && TXCharacteristic && ConnectedBLEDevice) {
        ConnectedBLEDevice->setNotifyValue(true, TXCharacteristic);
        if (observer_) observer_->printerConnected();
    } else if (service && service->uuid() == ServiceUUID) {
        serviceNotFound("the printer service lacks its write or notify characteristic");
    }
}

void Orvik::peripheralDidUpdateValueFor(Peripheral&, const std::shared_ptr<Characteristic>& characteristic,
                                        const std::optional<PlatformError>& error) {
    if (error || !characteristic) return;
    if (characteristic->uuid() != TXCharacteristicUUID) return;
    RecevedData = characteristic->value();
    ++notifications_;
}

void Orvik::BLESend(const Data& data) {
    if (!RXCharacteristic) {
        failed(notConnected(data.size()));
        return;
    }
    if (Gzip::isGzipped(data)) {
        Log::debug("Send Size : 11"sv);
        BLESend(BleFraming::sizeAnnouncement(static_cast<std::int64_t>(data.size())), CharacteristicWriteType::withResponse);
    }
    BleFraming::forEachPiece(data, MTU, [this](const Data& piece) {
        Log::plain(BleFraming::hexDump(piece));
        Log::debug("Send Size : " + std::to_string(piece.size()));
        BLESend(piece, CharacteristicWriteType::withResponse);
    });
}

void Orvik::BLESend(const Data& data, CharacteristicWriteType withType) { writeToPrinter(data, withType); }

void Orvik::BLESend(std::string_view text) {
    if (!RXCharacteristic) {
        failed(notConnected(text.size()));
        return;
    }
    for (const std::string_view piece : BleFraming::textPieces(text, MTU)) BLESend(piece, CharacteristicWriteType::withResponse);
}

void Orvik::BLESend(std::string_view text, CharacteristicWriteType withType) {
    writeToPrinter(Data(text.begin(), text.end()), withType);
}

void Orvik::writeToPrinter(const Data& bytes, CharacteristicWriteType type) {
    // Held locally: a write may run callbacks that replace the properties.
    const auto characteristic = RXCharacteristic;
    const auto device = BLEDevice;
    if (!characteristic || !device || !device->peripheral) {
        failed(notConnected(bytes.size()));
        return;
    }
    if (!device->peripheral->writeValue(bytes, characteristic, type)) {
        const std::string what = "BLE write refused by the Bluetooth stack (link down or write rejected): " +
                                 std::to_string(bytes.size()) + " bytes not sent";
        Log::plain(what);
        const Error failure{ErrorCode::WriteFailed, what};
        failed(failure);
        if (observer_) observer_->writeFailed(failure);
        return;
    }
    // A write with response counts once the stack confirms it; one without is as done as it will ever be.
    if (type == CharacteristicWriteType::withResponse) job_.awaitingConfirmation.push_back(bytes.size());
    else accepted(bytes.size());
}

}  // namespace OrvikFramework
