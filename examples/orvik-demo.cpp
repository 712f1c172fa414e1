// Prints a short sample receipt over a TCP link to a receiver started here, and shows the bytes that arrived;
// then prints a line over Bluetooth to a simulated printer.
#include <cctype>
#include <cstdio>
#include <memory>

#include <orvik/OrvikFramework.h>
#include <orvik/sim/Simulator.h>

#include "LoopbackReceiver.h"

using namespace OrvikFramework;

namespace {

void hexDump(const Data& bytes) {
    for (std::size_t row = 0; row < bytes.size(); row += 16) {
        std::printf("%08zx  ", row);
        for (std::size_t i = row; i < row + 16; ++i) {
            if (i < bytes.size()) std::printf("%02x ", bytes[i]); else std::printf("   ");
            if (i == row + 7) std::printf(" ");
        }
        std::printf(" |");
        for (std::size_t i = row; i < row + 16 && i < bytes.size(); ++i) std::putchar(std::isprint(bytes[i]) ? bytes[i] : '.');
        std::printf("|\n");
    }
}

// A 32×16-dot image: a frame with a diagonal stripe.
Data sampleImage() {
    constexpr int widthBytes = 4, height = 16;
    Data image(widthBytes * height, 0);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < widthBytes * 8; ++x) {
            const bool frame = y == 0 || y == height - 1 || x == 0 || x == widthBytes * 8 - 1;
            const bool stripe = (x / 2) == y;
            if (frame || stripe) image[y * widthBytes + x / 8] |= 0x80 >> (x % 8);
        }
    }
    return image;
}

// No radio here: the simulated stack stands in, with a printer that advertises as "Demo-58".
bool printOverSimulatedBluetooth() {
    auto bluetooth = std::make_shared<SimulatedBluetooth>();
    Platform::setBackend(simulatedBackend(bluetooth, std::make_shared<SimulatedHotspot>()));
    Data printed;
    SimulatedPrinter printer(*bluetooth, "Demo-58", -48, [&printed](const Data& value) {
        printed.insert(printed.end(), value.begin(), value.end());
    });
    Orvik sdk;
    sdk.InitSDK(WIRELESSS_INTERFACE::BLUETOOTH, 20, "Demo-58", "");
    const auto wait = [](const std::function<bool()>& done) { return RunLoop::main().runUntil(done, std::chrono::seconds(1)); };
    if (!wait([&] { return sdk.BLEDevice != nullptr; }) || !sdk.Connect("", 0) ||
        !wait([&] { return sdk.RXCharacteristic != nullptr; })) {
        std::printf("orvik-demo: the simulated printer was not reached\n");
        return false;
    }
    sdk.PrintText("Printed over Bluetooth LE, in pieces of 20 bytes");
    sdk.CutPaper();
    sdk.Disconnect();
    std::printf("\nThe simulated Bluetooth printer got %zu bytes:\n", printed.size());
    hexDump(printed);
    return !printed.empty();
}

}  // namespace

int main() {
    Loopback::Receiver receiver;
    Orvik sdk;
    sdk.InitSDK(WIRELESSS_INTERFACE::SOCKET, 512, "127.0.0.1", "");
    sdk.Connect("127.0.0.1", receiver.port());
    RunLoop::main().runUntil([] { return false; }, std::chrono::milliseconds(50));

    sdk.InitPrinter();
    sdk.TextAlignment(ALIGNMENT::CENTER);
    sdk.PrintMode(static_cast<std::uint8_t>(PRINT_MODE__EMPHASIZED_SELECTED | PRINT_MODE__DOUBLE_HEIGHT_SELECTED));
    sdk.PrintText("ORVIK CAFE");
    sdk.PrintMode(0);
    sdk.TextAlignment(ALIGNMENT::LEFT);
    sdk.PrintText("1 x Espresso          2.80");
    sdk.PrintText("1 x Croissant         3.10");
    sdk.PrintText("Total                 5.90");
    sdk.TextAlignment(ALIGNMENT::CENTER);
    sdk.PrintBarcode(BARCODE_HRI_POS::BENEATH, 80, 2, "ORVIK42");
    const Data image = sampleImage();
    sdk.PrintRasterBitImage(0, 4, 0, 16, 0, image);
    sdk.PrintNFeedPaper(48);
    sdk.CutPaper();
    RunLoop::main().runOnce(std::chrono::milliseconds(0));
    sdk.Disconnect();

    const Data& received = receiver.received();
    std::printf("\nThe receiver got %zu bytes:\n", received.size());
    hexDump(received);
    return received.empty() || !printOverSimulatedBluetooth() ? 1 : 0;
}
