#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include <orvik/Bluetooth.h>

namespace OrvikFramework {

/// The record of one scan result: the remote device, its signal strength and a connected flag.
class BLEPeripheral {
public:
    /// The kit always passes a peripheral; a null one has no name and equals no record.
    BLEPeripheral(std::shared_ptr<Peripheral> withPeripheral, std::int32_t andRSSI = 0, bool andIsConnected = false);
    virtual ~BLEPeripheral() = default;

    std::shared_ptr<Peripheral> peripheral;
    std::int32_t RSSI;
    bool isConnected;

    /// The peripheral's name, or "No name" when it has none.
    virtual std::string name() const;
    /// Whether the other record stands for the same remote device; false for null.
    virtual bool isEqual(const BLEPeripheral* other) const;
};

}  // namespace OrvikFramework
