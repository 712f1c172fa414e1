#include <orvik/sim/Simulator.h>

#include "core/PrinterService.h"

namespace OrvikFramework {

const BluetoothUUID SimulatedPrinter::serviceUUID = *BluetoothUUID::parse(PrinterService::service);
const BluetoothUUID SimulatedPrinter::rxUUID = *BluetoothUUID::parse(PrinterService::rx);
const BluetoothUUID SimulatedPrinter::txUUID = *BluetoothUUID::parse(PrinterService::tx);

SimulatedPrinter::SimulatedPrinter(SimulatedBluetooth& adapter, std::optional<std::string> name, std::int64_t RSSI,
                                   std::function<void(const Data& value)> onWrite)
    : device_(adapter.addDevice({std::move(name), RSSI, {{serviceUUID, {{rxUUID, std::move(onWrite)}, {txUUID, nullptr}}}}})) {}

void SimulatedPrinter::notify(const Data& value) { device_->notify(txUUID, value); }

}  // namespace OrvikFramework
