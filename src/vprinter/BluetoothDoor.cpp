#include <orvik/vprinter/BluetoothDoor.h>

namespace OrvikFramework::VirtualPrinter {

BluetoothDoor::BluetoothDoor(SimulatedBluetooth& adapter, const std::string& name, Server& server)
    : source_("ble:" + name) {
    session_ = std::make_unique<PrintSession>(
        server.options().render, server.options().limits,
        [this, &server](Receipt receipt) { server.deliver(source_, std::move(receipt)); },
        [this](const Data& reply) { printer_->notify(reply); }, server.sharedPrinterState());
    session_->keepCommands(true);
    printer_ = std::make_unique<SimulatedPrinter>(adapter, name, -50,
                                                  [this](const Data& value) { session_->feed(value.data(), value.size()); });
}

void BluetoothDoor::finish() { session_->finish(); }

}  // namespace OrvikFramework::VirtualPrinter
