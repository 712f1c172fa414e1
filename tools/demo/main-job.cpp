// The `make demo` job: one receipt printed twice to the embedded virtual printer, once live over TCP and once spooled,
// gzip-compressed and sent over a simulated Bluetooth LE link; both previews must come out identical.
//   orvik-demo-job WORKDIR      (WORKDIR holds logo.bmp and receives receipts/)
#include <cstdio>
#include <filesystem>
#include <string>

#include <orvik/OrvikFramework.h>
#include <orvik/Documents.h>
#include <orvik/sim/Simulator.h>
#include <orvik/vprinter/BluetoothDoor.h>
#include <orvik/vprinter/Server.h>

#include "Receipt.h"

using namespace OrvikFramework;
using namespace std::chrono_literals;

namespace {

int fail(const char* what) {
    std::fprintf(stderr, "orvik-demo: %s\n", what);
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::filesystem::path work = argc > 1 ? argv[1] : "demo";
    Documents::setDirectory(work.string());
    // The SDK's own lines (hex dumps of every Bluetooth piece) would bury the summary; they are counted instead.
    std::size_t sdkLines = 0;
    const auto showReceiptLines = [&sdkLines](std::string_view line) {
        if (line.rfind("receipt ", 0) == 0) std::printf("printer: %.*s\n", int(line.size()), line.data());
        else ++sdkLines;
    };
    Log::setSink(showReceiptLines);

    VirtualPrinter::ServerOptions options;
    options.outDir = work / "receipts";
    options.keepReceipts = 2;  // the two previews are compared below
    std::filesystem::remove_all(*options.outDir);
    VirtualPrinter::Server printer(options);
    if (!printer.start()) return fail("the virtual printer cannot listen on 127.0.0.1");
    std::printf("virtual printer listening on 127.0.0.1:%d\n", printer.port());

    Orvik overTcp;
    overTcp.InitSDK(WIRELESSS_INTERFACE::SOCKET, 512, "virtual printer", "");
    overTcp.Connect("127.0.0.1", printer.port());
    Demo::printReceipt(overTcp);
    overTcp.Disconnect();
    if (!RunLoop::main().runUntil([&] { return printer.receipts().size() == 1; }, 10s)) {
        return fail("the receipt sent over TCP did not arrive");
    }

    auto bluetooth = std::make_shared<SimulatedBluetooth>();
    Platform::setBackend(simulatedBackend(bluetooth, std::make_shared<SimulatedHotspot>()));
    VirtualPrinter::BluetoothDoor door(*bluetooth, "Orvik Demo", printer);
    std::size_t airBytes = 0;
    Orvik overBluetooth;
    overBluetooth.InitSDK(WIRELESSS_INTERFACE::BLUETOOTH, 180, "Orvik Demo", "");
    if (!RunLoop::main().runUntil([&] { return overBluetooth.BLEDevice != nullptr; }, 10s)) {
        return fail("the simulated printer was not found by the scan");
    }
    overBluetooth.Connect("", 0);
    if (!RunLoop::main().runUntil([&] { return overBluetooth.RXCharacteristic != nullptr; }, 10s)) {
        return fail("the simulated printer did not connect");
    }
    overBluetooth.Zip(true);
    Demo::printReceipt(overBluetooth);
    const auto spooled = std::filesystem::file_size(overBluetooth.ZipFile);
    overBluetooth.Zip(false);
    overBluetooth.WaitUntilSent(10s);
    overBluetooth.Disconnect();
    door.finish();
    for (const auto& command : door.commands()) {
        if (command.kind == VirtualPrinter::Command::Kind::CompressedJob) airBytes = std::size_t(command.value);
    }

    if (printer.receipts().size() != 2) return fail("the spooled receipt did not come out of the printer");
    const auto& live = printer.receipts()[0];
    const auto& compressed = printer.receipts()[1];
    std::printf("\nspool file %llu bytes, sent over Bluetooth as %zu bytes of gzip (%.0f%%); %zu SDK log lines\n",
                static_cast<unsigned long long>(spooled), airBytes, 100.0 * double(airBytes) / double(spooled), sdkLines);
    std::printf("preview over TCP:             %s\n", live.file->string().c_str());
    std::printf("preview over Bluetooth (gzip): %s\n", compressed.file->string().c_str());
    if (live.png != compressed.png) return fail("the two previews differ");
    std::printf("the two previews are identical (%zu bytes each)\n", live.png.size());
    return 0;
}
