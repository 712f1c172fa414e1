#include <orvik/BLEPeripheral.h>

namespace OrvikFramework {

BLEPeripheral::BLEPeripheral(std::shared_ptr<Peripheral> withPeripheral, std::int32_t andRSSI, bool andIsConnected)
    : peripheral(std::move(withPeripheral)), RSSI(andRSSI), isConnected(andIsConnected) {}

std::string BLEPeripheral::name() const {
    // A null peripheral (the field is the application's to replace) reads as a device without a name.
    const auto name = peripheral ? peripheral->name() : std::nullopt;
    return name ? *name : "No name";
}

bool BLEPeripheral::isEqual(const BLEPeripheral* other) const {
    if (!other || !peripheral || !other->peripheral) return false;
    return peripheral->isEqual(*other->peripheral);
}

}  // namespace OrvikFramework
