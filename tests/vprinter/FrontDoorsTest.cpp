// One receipt through each front door of the virtual printer comes out the same.
#include <gtest/gtest.h>

#include <orvik/OrvikFramework.h>
#include <orvik/vprinter/BluetoothDoor.h>
#include <orvik/vprinter/Server.h>

#include "support/Documents.h"
#include "support/LogCapture.h"
#include "support/SimulatedLink.h"

namespace OrvikFramework::VirtualPrinter {
namespace {

using namespace std::chrono_literals;

// The commands as printed: a compressed job's frame is left out and its commands count as sent plainly.
std::vector<std::string> lines(const std::vector<Command>& commands) {
    std::vector<std::string> out;
    for (Command c : commands) {
        if (c.kind == Command::Kind::CompressedJob) continue;
        c.compressed = false;
        out.push_back(describe(c));
    }
    return out;
}

void receipt(Orvik& o) {
    o.InitPrinter();
    o.TextAlignment(ALIGNMENT::CENTER);
    o.PrintMode(static_cast<std::uint8_t>(PRINT_MODE__DOUBLE_HEIGHT_SELECTED | PRINT_MODE__EMPHASIZED_SELECTED));
    o.PrintText("FRONT DOORS");
    o.PrintMode(0);
    o.TextAlignment(ALIGNMENT::LEFT);
    o.PrintText("Coffee                 2.50");
    o.PrintBarcode(BARCODE_HRI_POS::BENEATH, 50, 2, "DOOR-42");
    o.PrintRasterBitImage(0, 2, 0, 3, 0, {0xFF, 0x00, 0x0F, 0xF0, 0xAA, 0x55});
    o.PrintNFeedPaper(20);
    o.CutPaper();
}

TEST(FrontDoors, TheSameReceiptOverTcpBluetoothAndSpooledGzipDecodesAndRendersIdentically) {
    Testing::LogCapture quiet;
    ServerOptions options;
    options.keepJobs = true;
    Server server(options);
    ASSERT_TRUE(server.start());

    Orvik overTcp;
    overTcp.InitSDK(WIRELESSS_INTERFACE::SOCKET, 512, "printer", "");
    overTcp.Connect("127.0.0.1", server.port());
    receipt(overTcp);
    overTcp.Disconnect();
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return server.closedConnections() == 1; }, 10s));

    Testing::SimulatedLink link;
    BluetoothDoor door(*link.bluetooth, "Virtual BLE", server);
    Orvik overBluetooth;
    ASSERT_TRUE(link.bringUp(overBluetooth, "Virtual BLE"));
    overBluetooth.MTU = 20;
    receipt(overBluetooth);
    ASSERT_TRUE(overBluetooth.WaitUntilSent(5s));
    door.finish();

    const auto live = lines(door.commands());

    Testing::ScopedDocuments documents;
    BluetoothDoor spoolDoor(*link.bluetooth, "Spooled BLE", server);
    Orvik spooled;
    ASSERT_TRUE(link.bringUp(spooled, "Spooled BLE"));
    spooled.Zip(true);
    receipt(spooled);
    spooled.Zip(false);
    ASSERT_TRUE(spooled.WaitUntilSent(5s));
    spoolDoor.finish();

    ASSERT_EQ(server.jobs().size(), 1u);
    const auto tcpLines = lines(server.jobs()[0].commands);
    EXPECT_EQ(live, tcpLines);
    EXPECT_EQ(lines(spoolDoor.commands()), tcpLines);
    EXPECT_EQ(spoolDoor.commands().front().kind, Command::Kind::CompressedJob);
    ASSERT_EQ(server.receipts().size(), 3u);
    EXPECT_EQ(server.receipts()[1].source, "ble:Virtual BLE");
    EXPECT_EQ(server.receipts()[0].png, server.receipts()[1].png);
    EXPECT_EQ(server.receipts()[0].png, server.receipts()[2].png);
}

}  // namespace
}  // namespace OrvikFramework::VirtualPrinter
