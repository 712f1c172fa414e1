// Status read back from the virtual printer over TCP and simulated Bluetooth, and what happens when it cannot be.
#include <gtest/gtest.h>
#include <gmock/gmock.h>

#include <orvik/OrvikFramework.h>
#include <orvik/vprinter/BluetoothDoor.h>
#include <orvik/vprinter/Server.h>

#include "support/Documents.h"
#include "support/LogCapture.h"
#include "support/LoopbackServer.h"
#include "support/SimulatedLink.h"

namespace OrvikFramework {
namespace {

using namespace std::chrono_literals;
using ::testing::Contains;
using ::testing::HasSubstr;
using VirtualPrinter::PrinterState;

// The virtual printer on both front doors, with one SDK object connected to each.
struct TwoLinks {
    explicit TwoLinks(PrinterState state = {}) {
        server.printerState() = state;
        EXPECT_TRUE(server.start());
        overTcp.InitSDK(WIRELESSS_INTERFACE::SOCKET, 512, "printer", "");
        overTcp.Connect("127.0.0.1", server.port());
        EXPECT_TRUE(link.bringUp(overBluetooth, "Status BLE"));
    }
    Testing::LogCapture quiet;
    VirtualPrinter::Server server;
    Testing::SimulatedLink link;
    VirtualPrinter::BluetoothDoor door{*link.bluetooth, "Status BLE", server};
    Orvik overTcp, overBluetooth;
};

std::optional<PrinterStatus> withoutRaw(std::optional<PrinterStatus> status) {
    if (status && status->raw.size() == 4) status->raw.clear();
    return status;
}

TEST(StatusReadBackTest, EveryStateOverTcpAndBluetooth) {
    const std::pair<PrinterState, PrinterStatus> cases[] = {
        {{}, {}},
        {{.online = false}, {.online = false}},
        {{.coverOpen = true}, {.online = false, .coverOpen = true}},
        {{.paperNearEnd = true}, {.paperNearEnd = true}},
        {{.paperEnd = true}, {.online = false, .paperEnd = true}},
        {{.error = true}, {.online = false, .error = true}},
        {{false, true, true, true, true, true}, {false, true, true, true, true}},
    };
    TwoLinks links;
    // Each link stays up throughout: the state is read afresh at every request. The ready printer answers 0x12 four
    // times, and each equal notification must still count as a new answer.
    for (Orvik* sdk : {&links.overTcp, &links.overBluetooth}) {
        for (const auto& [state, expected] : cases) {
            links.server.printerState() = state;
            EXPECT_EQ(withoutRaw(sdk->RequestStatus(5s)), expected) << (sdk == &links.overTcp ? "TCP" : "Bluetooth");
        }
    }
}

TEST(StatusReadBackTest, ALateAnswerIsNotTakenForTheNextOne) {
    TwoLinks links;
    links.server.printerState().paperEnd = true;
    links.overTcp.PrintData({0x10, 0x04, 0x01});  // answered, never read
    Testing::drainMainLoop();
    links.server.printerState().paperEnd = false;
    EXPECT_EQ(withoutRaw(links.overTcp.RequestStatus(5s)), PrinterStatus{});
}

TEST(StatusReadBackTest, ASilentPrinterTimesOutWithAClearLine) {
    TwoLinks links({.answers = false});
    for (Orvik* sdk : {&links.overTcp, &links.overBluetooth}) {
        Testing::LogCapture log;
        EXPECT_EQ(sdk->RequestStatus(50ms), std::nullopt);
        EXPECT_THAT(log.lines(), Contains(HasSubstr("no answer to DLE EOT 1 within 50 ms")));
    }
}

TEST(StatusReadBackTest, NoStatusWithoutALinkWhileSpoolingOrFromABrokenPeer) {
    Testing::ScopedDocuments documents;
    Testing::LogCapture log;
    const auto refused = [&log](Orvik& sdk, const std::string& line) {
        EXPECT_EQ(sdk.RequestStatus(5s), std::nullopt);
        EXPECT_THAT(log.lines(), Contains(HasSubstr(line)));
    };
    Orvik none;
    refused(none, "call InitSDK before RequestStatus");
    Orvik spooling;
    spooling.InitSDK(WIRELESSS_INTERFACE::SOCKET, 512, "printer", "");
    refused(spooling, "not connected to the printer; DLE EOT 1 not sent");
    spooling.Zip(true);
    refused(spooling, "a status request cannot be spooled");

    const std::pair<Testing::LoopbackServer::Options, std::string> peers[] = {
        {{.reply = {0x00}}, "the answer to DLE EOT 1 is no printer status: 00"},
        {{.resetAfter = 3}, "the connection ended before the printer answered DLE EOT 1"},
    };
    for (const auto& [options, line] : peers) {
        Testing::LoopbackServer peer(options);
        Orvik sdk;
        sdk.InitSDK(WIRELESSS_INTERFACE::SOCKET, 512, "printer", "");
        sdk.Connect("127.0.0.1", peer.port());
        refused(sdk, line);
    }
}

}  // namespace
}  // namespace OrvikFramework
