#include <orvik/sim/Simulator.h>

namespace OrvikFramework {

const BluetoothUUID SimulatedPrinter::serviceUUID = *BluetoothUUID::parse("6E400001-B5A3-F393-E0A9-E50E24DCCA9E");
const BluetoothUUID SimulatedPrinter::rxUUID = *BluetoothUUID::parse("6E400002-B5A3-F393-E0A9-E50E24DCCA9E");
const BluetoothUUID SimulatedPrinter::txUUID = *BluetoothUUID::parse("6E400003-B5A3-F393-E0A9-E50E24DCCA9E");

SimulatedPrinter::SimulatedPrinter(SimulatedBluetooth& adapter, std::optional<std::string> name, std::int64_t RSSI,
                                   std::function<void(const Data& value)> onWrite)
    : device_(adapter.addDevice({std::move(name), RSSI, {{serviceUUID, {{rxUUID, std::move(onWrite)}, {txUUID, nullptr}}}}})) {}

void SimulatedPrinter::notify(const Data& value) { device_->notify(txUUID, value); }

}  // namespace OrvikFramework
