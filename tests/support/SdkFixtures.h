#pragma once

#include <string>

#include <gtest/gtest.h>

#include <orvik/Orvik.h>

#include "support/LogCapture.h"
#include "support/SimulatedLink.h"

namespace OrvikFramework::Testing {

// An SDK object over the simulated Bluetooth stack and hotspot, with the log captured from the start.
class SimulatedSdk : public ::testing::Test {
protected:
    /// InitSDK on BLUETOOTH looking for `name`, and the scan's first turns.
    void scanFor(const std::string& name) {
        sdk.InitSDK(WIRELESSS_INTERFACE::BLUETOOTH, 512, name, "");
        drainMainLoop();
    }
    /// Adds printer "P", brings the SDK up to it at its current MTU and clears the log; false if that failed.
    bool connectPrinter() {
        printer = &link.addPrinter("P");
        const bool up = link.bringUp(sdk, "P");
        log.clear();
        return up;
    }

    SimulatedLink link;
    LogCapture log;
    Orvik sdk;
    SimulatedPrinter* printer = nullptr;
};

}  // namespace OrvikFramework::Testing
