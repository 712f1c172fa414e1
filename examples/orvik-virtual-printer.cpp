// Prints a line over a simulated Bluetooth LE link to the virtual printer, and shows the text it printed.
#include <cstdio>
#include <memory>

#include <orvik/OrvikFramework.h>
#include <orvik/sim/Simulator.h>
#include <orvik/vprinter/BluetoothDoor.h>
#include <orvik/vprinter/Server.h>

using namespace OrvikFramework;
using namespace std::chrono_literals;

int main() {
    VirtualPrinter::Server printer;  // no output folder: receipts stay in memory
    auto bluetooth = std::make_shared<SimulatedBluetooth>();
    Platform::setBackend(simulatedBackend(bluetooth, std::make_shared<SimulatedHotspot>()));
    VirtualPrinter::BluetoothDoor door(*bluetooth, "Virtual-58", printer);

    Orvik sdk;
    sdk.InitSDK(WIRELESSS_INTERFACE::BLUETOOTH, 20, "Virtual-58", "");
    if (!RunLoop::main().runUntil([&] { return sdk.BLEDevice != nullptr; }, 5s) || !sdk.Connect("", 0) ||
        !RunLoop::main().runUntil([&] { return sdk.RXCharacteristic != nullptr; }, 5s)) {
        std::fprintf(stderr, "orvik-virtual-printer: the virtual printer was not reached\n");
        return 1;
    }
    sdk.PrintText("Hello from the virtual printer");
    sdk.CutPaper();
    if (!RunLoop::main().runUntil([&] { return !printer.receipts().empty(); }, 5s)) {
        std::fprintf(stderr, "orvik-virtual-printer: no receipt came out\n");
        return 1;
    }
    const VirtualPrinter::PrintedReceipt& receipt = printer.receipts().front();
    std::printf("receipt %u x %u dots, %zu bytes of PNG:\n%s", receipt.receipt.width, receipt.receipt.height,
                receipt.png.size(), receipt.receipt.text.c_str());
    return 0;
}
