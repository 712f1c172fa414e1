// The SDK printing to the embedded virtual printer over TCP and Bluetooth: receipts, files and clients.
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <orvik/OrvikFramework.h>
#include <orvik/vprinter/BluetoothDoor.h>
#include <orvik/vprinter/Server.h>

#include "examples/LoopbackReceiver.h"
#include "support/Documents.h"
#include "support/LogCapture.h"
#include "support/SimulatedLink.h"
#include "support/TempDir.h"
#include "vprinter/Renderer.h"

namespace OrvikFramework::VirtualPrinter {
namespace {

using namespace std::chrono_literals;

void receipt(Orvik& o) {
    o.InitPrinter();
    o.TextAlignment(ALIGNMENT::CENTER);
    o.PrintMode(static_cast<std::uint8_t>(PRINT_MODE__DOUBLE_HEIGHT_SELECTED | PRINT_MODE__EMPHASIZED_SELECTED));
    o.PrintText("RECEIPT");
    o.PrintMode(0);
    o.TextAlignment(ALIGNMENT::LEFT);
    o.PrintText("Coffee                 2.50");
    o.PrintBarcode(BARCODE_HRI_POS::BENEATH, 50, 2, "ORVIK-1");
    o.PrintRasterBitImage(0, 2, 0, 3, 0, {0xFF, 0x00, 0x0F, 0xF0, 0xAA, 0x55});
    o.PrintNFeedPaper(20);
    o.CutPaper();
}

// One SDK session over SOCKET: connect, print the receipt, disconnect, wait for the printer to see the end.
void printWithSdk(Server& server) {
    const std::size_t before = server.closedConnections();
    Orvik sdk;
    sdk.InitSDK(WIRELESSS_INTERFACE::SOCKET, 512, "printer", "");
    sdk.Connect("127.0.0.1", server.port());
    receipt(sdk);
    sdk.Disconnect();
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return server.closedConnections() > before; }, 10s));
}

// One receipt through each front door (TCP, Bluetooth, and a gzip job spooled over Bluetooth) decodes and renders
// the same as its commands rendered directly, and is written out beside the files already there.
TEST(PrinterServerTest, OneReceiptThroughEveryDoorRendersIdenticallyAndIsWrittenOut) {
    Testing::TempDir dir;
    Testing::writeFile(dir.file("receipt-0007.png"), {1, 2, 3});
    Testing::LogCapture log;
    ServerOptions options;
    options.outDir = dir.path();
    options.keepReceipts = 3;  // none is kept by default when receipts are written out
    options.keepJobs = true;
    Server server(options);
    ASSERT_TRUE(server.start());
    printWithSdk(server);
    ASSERT_EQ(server.receipts().size(), 1u);
    const PrintedReceipt printed = server.receipts()[0];
    EXPECT_EQ(printed.number, 8u);  // an existing receipt file is never overwritten

    Renderer direct;
    direct.apply(server.jobs()[0].commands);
    direct.finish();
    EXPECT_EQ(encodePng(direct.takeReceipts().at(0)), printed.png);

    ASSERT_TRUE(printed.file.has_value());
    EXPECT_EQ(Testing::readFile(printed.file->string()), printed.png);
    const Data dump = Testing::readFile(dir.file("receipt-0008.txt"));
    EXPECT_THAT(std::string(dump.begin(), dump.end()), ::testing::HasSubstr("GS k 4 CODE39 \"ORVIK-1\"\n"));
    EXPECT_THAT(log.lines(), ::testing::Contains(::testing::StartsWith("receipt 8: " + printed.file->string() +
                                                                     " 384x")));

    Testing::SimulatedLink link;
    Testing::ScopedDocuments documents;
    const auto overBluetooth = [&](const std::string& name, bool zipped) {
        BluetoothDoor door(*link.bluetooth, name, server);
        Orvik sdk;
        EXPECT_TRUE(link.bringUp(sdk, name));
        sdk.MTU = 20;
        sdk.Zip(zipped);
        receipt(sdk);
        sdk.Zip(false);
        EXPECT_TRUE(sdk.WaitUntilSent(5s));
        door.finish();
        return door.commands();
    };
    const auto live = overBluetooth("Virtual BLE", false);
    const auto spooled = overBluetooth("Spooled BLE", true);
    ASSERT_EQ(server.jobs().size(), 1u);
    EXPECT_EQ(live, server.jobs()[0].commands);
    EXPECT_EQ(spooled.front().kind, Command::Kind::CompressedJob);
    ASSERT_EQ(server.receipts().size(), 3u);
    EXPECT_EQ(server.receipts()[1].source, "ble:Virtual BLE");
    EXPECT_EQ(server.receipts()[1].png, printed.png);
    EXPECT_EQ(server.receipts()[2].png, printed.png);
}

// A name taken after start (here a planted symlink) is skipped; past the last number nothing is written, rather
// than wrapping onto receipt-0001.
TEST(PrinterServerTest, ReceiptNumbersSkipTakenNamesAndNeverWrap) {
    Testing::TempDir dir;
    Testing::writeFile(dir.file("victim"), {1});
    Testing::writeFile(dir.file("receipt-18446744073709551613.png"), {});
    Testing::LogCapture log;
    ServerOptions options;
    options.outDir = dir.path();
    options.keepReceipts = 2;
    Server server(options);
    ASSERT_TRUE(server.start());
    std::filesystem::create_symlink(dir.file("victim"), dir.file("receipt-18446744073709551614.png"));
    printWithSdk(server);
    printWithSdk(server);
    ASSERT_EQ(server.receipts().size(), 2u);
    EXPECT_EQ(server.receipts()[0].file, dir.path() / "receipt-18446744073709551615.png");
    EXPECT_FALSE(server.receipts()[1].file);
    EXPECT_THAT(log.lines(), ::testing::Contains(::testing::StartsWith("receipt 0: (no receipt numbers left in " +
                                                                     dir.path().string() + ")")));
    EXPECT_EQ(Testing::readFile(dir.file("victim")), Data{1});
    EXPECT_FALSE(std::filesystem::exists(dir.file("receipt-0001.png")));
}

TEST(PrinterServerTest, StoppingPrintsWhatOpenConnectionsSent) {
    Testing::LogCapture quiet;
    Server server;
    ASSERT_TRUE(server.start());
    const int client = Loopback::connect(server.port());
    ASSERT_EQ(::send(client, "not yet cut\n", 12, MSG_NOSIGNAL), 12);
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return RunLoop::main().runOnce(0ms) == false; }, 10s));
    server.stop();
    ::close(client);
    ASSERT_EQ(server.receipts().size(), 1u);
    EXPECT_EQ(server.receipts()[0].receipt.text, "not yet cut\n");
}

TEST(PrinterServerTest, ReportsAPortItCannotListenOn) {
    Testing::LogCapture log;
    Server first;
    ASSERT_TRUE(first.start());
    ServerOptions taken;
    taken.port = first.port();
    Server second(taken);
    EXPECT_FALSE(second.start());
    EXPECT_THAT(log.lines(), ::testing::Contains(::testing::HasSubstr("cannot listen on 127.0.0.1:" +
                                                                      std::to_string(first.port()))));
}

}  // namespace
}  // namespace OrvikFramework::VirtualPrinter
