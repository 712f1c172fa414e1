// A program that uses the system back-end on the bus given as its argument and simply returns from main: whatever
// the process-wide objects hold then must come apart cleanly.
#include <orvik/DBus.h>
#include <orvik/Orvik.h>
#include <orvik/Platform.h>
#include <orvik/RunLoop.h>

using namespace OrvikFramework;

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    setDBusAddress(argv[1]);
    Platform::backend().hotspotManager();
    Orvik orvik;
    orvik.InitSDK(WIRELESSS_INTERFACE::BLUETOOTH, 20, "Printer", "");
    // Until the scan that the first state report starts is under way, so that replies and signals are in flight.
    RunLoop::main().runUntil([&] { return orvik.BLEManager && orvik.BLEManager->state() != ManagerState::unknown; },
                             std::chrono::seconds(10));
    RunLoop::main().runUntil([] { return false; }, std::chrono::milliseconds(100));
    return orvik.BLEManager && orvik.BLEManager->state() == ManagerState::poweredOn ? 0 : 3;
}
