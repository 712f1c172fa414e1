// Prints a short receipt on a Bluetooth LE printer found by its advertised name, through the system's BlueZ.
//   orvik-ble-print "PRINTER NAME"
#include <cstdio>

#include <orvik/OrvikFramework.h>

using namespace OrvikFramework;
using namespace std::chrono_literals;

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s PRINTER-NAME\n", argv[0]);
        return 2;
    }
    Orvik printer;
    printer.InitSDK(WIRELESSS_INTERFACE::BLUETOOTH, 512, argv[1], "");
    const auto unavailable = [&] { return printer.BLEManager && printer.BLEManager->state() == ManagerState::unsupported; };
    RunLoop::main().runUntil([&] { return printer.BLEDevice || unavailable(); }, 20s);
    if (unavailable()) {
        std::fprintf(stderr, "Bluetooth is not available on this machine\n");
        return 1;
    }
    if (!printer.BLEDevice) {
        std::fprintf(stderr, "no printer named \"%s\" found within 20 s\n", argv[1]);
        return 1;
    }
    printer.Connect("", 0);
    if (!RunLoop::main().runUntil([&] { return printer.RXCharacteristic != nullptr; }, 20s)) {
        std::fprintf(stderr, "could not connect to the printer within 20 s\n");
        return 1;
    }
    printer.InitPrinter();
    printer.TextAlignment(ALIGNMENT::CENTER);
    printer.PrintMode(PRINT_MODE__EMPHASIZED_SELECTED | PRINT_MODE__DOUBLE_HEIGHT_SELECTED);
    printer.PrintText("Hello from Linux");
    printer.PrintMode(0);
    printer.PrintBarcode(BARCODE_HRI_POS::BENEATH, 60, 2, "ORVIK");
    printer.PrintNFeedPaper(80);
    printer.CutPaper();
    const JobOutcome sent = printer.WaitUntilSent();
    if (!sent) std::fprintf(stderr, "not printed: %s\n", sent.error->message.c_str());
    printer.Disconnect();
    printer.WaitUntilSent(5s);
    return sent ? 0 : 1;
}
