#include "support/SimulatedLink.h"

#include <chrono>

#include <orvik/RunLoop.h>

#include "support/Bytes.h"

namespace OrvikFramework::Testing {

SimulatedLink::SimulatedLink() : previous_(Platform::backend()) { Platform::setBackend(simulatedBackend(bluetooth, hotspot)); }

SimulatedLink::~SimulatedLink() {
    drainMainLoop();
    Platform::setBackend(std::move(previous_));
}

SimulatedPrinter& SimulatedLink::addPrinter(std::optional<std::string> name, std::int64_t RSSI) {
    printers_.push_back(std::make_unique<SimulatedPrinter>(*bluetooth, std::move(name), RSSI,
                                                           [this](const Data& value) { writes.push_back(value); }));
    return *printers_.back();
}

void SimulatedLink::addAdvertiser(std::optional<std::string> name) { bluetooth->addDevice({std::move(name), -70, {}}); }

Data SimulatedLink::received() const { return joined(writes); }

bool SimulatedLink::bringUp(Orvik& sdk, const std::string& name) {
    sdk.InitSDK(WIRELESSS_INTERFACE::BLUETOOTH, sdk.MTU, name, "");
    drainMainLoop();
    if (!sdk.Connect("", 0)) return false;
    drainMainLoop();
    return sdk.RXCharacteristic != nullptr;
}

void drainMainLoop() {
    while (RunLoop::main().runOnce(std::chrono::milliseconds(0))) {
    }
}

}  // namespace OrvikFramework::Testing
