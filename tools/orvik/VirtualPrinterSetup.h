#pragma once

#include <memory>
#include <string>

#include <orvik/sim/Simulator.h>
#include <orvik/vprinter/BluetoothDoor.h>
#include <orvik/vprinter/Server.h>

namespace OrvikFramework::Cli {

/// Starts the virtual printer's listener; throws CliError (input) with the reason when it cannot.
void startServer(VirtualPrinter::Server& server);

/// An in-process virtual printer on a simulated Bluetooth stack and Wi-Fi, standing in for the system's while it
/// lives: ble:// finds it by `bluetoothName`, wifi:// joins any access point. Receipts go to `outDir`.
class VirtualPrinterSetup {
public:
    static constexpr const char* bluetoothName = "Orvik Virtual Printer";

    explicit VirtualPrinterSetup(const std::string& outDir);
    /// Prints what is still in progress and puts the system's back-end back.
    ~VirtualPrinterSetup();
    VirtualPrinterSetup(const VirtualPrinterSetup&) = delete;
    VirtualPrinterSetup& operator=(const VirtualPrinterSetup&) = delete;

private:
    std::shared_ptr<SimulatedBluetooth> bluetooth_ = std::make_shared<SimulatedBluetooth>();
    VirtualPrinter::Server server_;
    std::unique_ptr<VirtualPrinter::BluetoothDoor> door_;
};

}  // namespace OrvikFramework::Cli
