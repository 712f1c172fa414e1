#pragma once

#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <orvik/Orvik.h>

#include "support/Documents.h"
#include "support/Inflate.h"
#include "support/LogCapture.h"
#include "support/RecordingTcpSocket.h"
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

// Keeps what reaches the Bluetooth write path.
class BluetoothSpy : public Orvik {
public:
    void BLESend(const Data& data) override { overBluetooth.push_back(data); }
    /// What was sent over Bluetooth, each job uncompressed.
    std::vector<std::optional<Data>> jobs() const {
        std::vector<std::optional<Data>> jobs;
        for (const Data& job : overBluetooth) jobs.push_back(gunzip(job));
        return jobs;
    }
    std::vector<Data> overBluetooth;
};

// An SDK object on SOCKET that keeps what it sends over either link, a temporary Documents folder and the log.
class DocumentsSdk : public ::testing::Test {
protected:
    DocumentsSdk() {
        sdk.InterfaceType = WIRELESSS_INTERFACE::SOCKET;
        sdk.TCPDevice = device;
    }
    /// The pieces sent over TCP since the last call.
    std::vector<Data> sent() { return std::exchange(device->pieces, {}); }

    ScopedDocuments documents;
    LogCapture log;
    BluetoothSpy sdk;
    std::shared_ptr<RecordingTcpSocket> device = std::make_shared<RecordingTcpSocket>();
};

}  // namespace OrvikFramework::Testing
