#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include <orvik/Error.h>

namespace OrvikFramework {

/// One Bluetooth LE advertiser heard by a scan, with its strongest signal.
struct HeardDevice {
    std::string name;     ///< advertised name, "No name" when it has none
    std::string address;  ///< "AA:BB:CC:DD:EE:FF", empty when the stack does not tell it
    std::int32_t RSSI = 0;
};

/// Listens for advertisers for `duration` on the main run loop, strongest first; BluetoothUnavailable when there is
/// no Bluetooth service or the radio cannot scan.
Result<std::vector<HeardDevice>> scanBluetooth(std::chrono::milliseconds duration);

}  // namespace OrvikFramework
