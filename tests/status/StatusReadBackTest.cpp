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

struct StateCase {
    const char* name;
    PrinterState state;
    PrinterStatus expected;  // raw is not compared
};

PrinterState with(void (*set)(PrinterState&)) {
    PrinterState state;
    set(state);
    return state;
}

const StateCase stateCases[] = {
    {"ready", {}, {}},
    {"off-line", with([](PrinterState& s) { s.online = false; }), {.online = false}},
    {"cover open", with([](PrinterState& s) { s.coverOpen = true; }), {.online = false, .coverOpen = true}},
    {"paper near end", with([](PrinterState& s) { s.paperNearEnd = true; }), {.paperNearEnd = true}},
    {"paper out", with([](PrinterState& s) { s.paperOut = true; }), {.online = false, .paperEnd = true}},
    {"error", with([](PrinterState& s) { s.error = true; }), {.online = false, .error = true}},
    {"everything at once", with([](PrinterState& s) { s = {false, true, true, true, true, true}; }),
     {false, true, true, true, true, {}}},
};

void expectStatus(const std::optional<PrinterStatus>& status, const StateCase& c) {
    ASSERT_TRUE(status.has_value());
    PrinterStatus decoded = *status;
    EXPECT_EQ(decoded.raw.size(), 4u);
    decoded.raw.clear();
    EXPECT_EQ(decoded, c.expected);
}

TEST(StatusReadBackTest, EveryStateOverTcp) {
    Testing::LogCapture quiet;
    VirtualPrinter::Server server;
    ASSERT_TRUE(server.start());
    Orvik sdk;
    sdk.InitSDK(WIRELESSS_INTERFACE::SOCKET, 512, "printer", "");
    sdk.Connect("127.0.0.1", server.port());
    // One connection throughout: the state is read afresh at every request.
    for (const StateCase& c : stateCases) {
        SCOPED_TRACE(c.name);
        server.printerState() = c.state;
        expectStatus(sdk.RequestStatus(5s), c);
    }
}

TEST(StatusReadBackTest, ALateAnswerIsNotTakenForTheNextOne) {
    Testing::LogCapture quiet;
    VirtualPrinter::Server server;
    ASSERT_TRUE(server.start());
    server.printerState().paperOut = true;
    Orvik sdk;
    sdk.InitSDK(WIRELESSS_INTERFACE::SOCKET, 512, "printer", "");
    sdk.Connect("127.0.0.1", server.port());
    sdk.PrintData({0x10, 0x04, 0x01});  // answered, never read
    Testing::drainMainLoop();
    server.printerState().paperOut = false;
    expectStatus(sdk.RequestStatus(5s), stateCases[0]);
}

TEST(StatusReadBackTest, EveryStateOverBluetoothFromTheServersState) {
    Testing::LogCapture quiet;
    VirtualPrinter::Server server;
    Testing::SimulatedLink link;
    VirtualPrinter::BluetoothDoor door(*link.bluetooth, "Status BLE", server);
    Orvik sdk;
    ASSERT_TRUE(link.bringUp(sdk, "Status BLE"));
    // The ready printer answers 0x12 four times: each equal answer must still count as a new one.
    for (const StateCase& c : stateCases) {
        SCOPED_TRACE(c.name);
        server.printerState() = c.state;
        expectStatus(sdk.RequestStatus(5s), c);
    }
}

TEST(StatusReadBackTest, ASilentPrinterTimesOutWithAClearLine) {
    Testing::LogCapture quiet;
    VirtualPrinter::ServerOptions options;
    options.printer.answers = false;
    VirtualPrinter::Server server(options);
    ASSERT_TRUE(server.start());
    Testing::SimulatedLink link;
    VirtualPrinter::BluetoothDoor door(*link.bluetooth, "Silent BLE", server);

    Orvik overTcp, overBluetooth;
    overTcp.InitSDK(WIRELESSS_INTERFACE::SOCKET, 512, "printer", "");
    overTcp.Connect("127.0.0.1", server.port());
    ASSERT_TRUE(link.bringUp(overBluetooth, "Silent BLE"));
    for (Orvik* sdk : {&overTcp, &overBluetooth}) {
        Testing::LogCapture log;
        EXPECT_FALSE(sdk->RequestStatus(50ms).has_value());
        EXPECT_THAT(log.lines(), Contains(HasSubstr("no answer to DLE EOT 1 within 50 ms")));
    }
}

TEST(StatusReadBackTest, RefusedWithoutALinkWhileSpoolingOrWithoutAnInterface) {
    Testing::ScopedDocuments documents;
    Testing::SimulatedLink link;
    Testing::LogCapture log;
    Orvik none;
    EXPECT_FALSE(none.RequestStatus(50ms).has_value());
    EXPECT_THAT(log.lines(), Contains(HasSubstr("call InitSDK before RequestStatus")));

    Orvik notConnected;
    notConnected.InitSDK(WIRELESSS_INTERFACE::SOCKET, 512, "printer", "");
    EXPECT_FALSE(notConnected.RequestStatus(50ms).has_value());
    EXPECT_THAT(log.lines(), Contains(HasSubstr("not connected to the printer; DLE EOT 1 not sent")));

    link.addPrinter("Spooling BLE");
    Orvik spooling;
    ASSERT_TRUE(link.bringUp(spooling, "Spooling BLE"));
    spooling.Zip(true);
    EXPECT_FALSE(spooling.RequestStatus(50ms).has_value());
    EXPECT_THAT(log.lines(), Contains(HasSubstr("a status request cannot be spooled")));
    Testing::drainMainLoop();
    EXPECT_TRUE(link.received().empty());
}

TEST(StatusReadBackTest, APeerThatAnswersNonsenseOrHangsUpGivesNoStatus) {
    struct Case {
        Testing::LoopbackServer::Options peer;
        const char* line;
    };
    const Case cases[] = {
        {{.reply = {0x00}}, "the answer to DLE EOT 1 is no printer status: 0x00"},
        {{.resetAfter = 3}, "the connection ended before the printer answered DLE EOT 1"},
    };
    for (const Case& c : cases) {
        Testing::LoopbackServer peer(c.peer);
        Testing::LogCapture log;
        Orvik sdk;
        sdk.InitSDK(WIRELESSS_INTERFACE::SOCKET, 512, "printer", "");
        sdk.Connect("127.0.0.1", peer.port());
        EXPECT_FALSE(sdk.RequestStatus(5s).has_value());
        EXPECT_THAT(log.lines(), Contains(HasSubstr(c.line)));
    }
}

}  // namespace
}  // namespace OrvikFramework
