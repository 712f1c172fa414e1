// Opening a link by its address, and the device or file links Open adds beside the three interfaces.
#include <orvik/Orvik.h>

#include <orvik/PrinterAddress.h>

#include "platform/posix/DeviceLink.h"

namespace OrvikFramework {

Status Orvik::Open(std::string_view address, std::chrono::milliseconds timeout) {
    Result<PrinterAddress> parsed = parsePrinterAddress(address);
    if (!parsed) return parsed.error();
    const PrinterAddress& where = *parsed;
    Disconnect();
    closeDevice();
    connectAfterJoin_.reset();
    connectWhenFound_ = false;
    deviceTimeout_ = timeout;
    switch (where.kind) {
        case PrinterAddress::Kind::Tcp:
            InitSDK(WIRELESSS_INTERFACE::SOCKET, MTU, where.host, "");
            Connect(where.host, where.port);
            TCPDevice->waitTimeout = timeout;
            return std::nullopt;
        case PrinterAddress::Kind::Wifi:
            connectAfterJoin_.emplace(where.host, where.port);
            InitSDK(WIRELESSS_INTERFACE::WIFI, MTU, where.ssid, where.password);
            return std::nullopt;
        case PrinterAddress::Kind::Ble:
            connectWhenFound_ = true;
            InitSDK(WIRELESSS_INTERFACE::BLUETOOTH, MTU, where.name, "");
            return std::nullopt;
        case PrinterAddress::Kind::Usb:
        case PrinterAddress::Kind::Serial:
        case PrinterAddress::Kind::File: break;
    }
    Result<std::unique_ptr<DeviceLink>> device = DeviceLink::open(where);
    if (!device) return device.error();
    if (InterfaceType == WIRELESSS_INTERFACE::BLUETOOTH) BLEDeviceScanStop();
    InterfaceType.reset();
    ConnectTo = where.path;
    device_ = std::move(device).value();
    return std::nullopt;
}

void Orvik::closeDevice() {
    if (!device_) return;
    device_->close(deviceTimeout_);
    device_.reset();
}

void Orvik::wifiJoinFinished(const std::optional<Error>& failure) {
    const auto target = std::exchange(connectAfterJoin_, std::nullopt);
    if (observer_) {
        if (failure) observer_->wifiJoinFailed(*failure);
        else observer_->wifiJoined();
    }
    if (!target) return;
    if (failure) {
        failed(*failure);
        return;
    }
    Connect(target->first, target->second);
    TCPDevice->waitTimeout = deviceTimeout_;
}

}  // namespace OrvikFramework
