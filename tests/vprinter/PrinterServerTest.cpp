// The SDK printing over TCP to the embedded virtual printer: receipts, files and clients.
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <orvik/OrvikFramework.h>
#include <orvik/vprinter/Server.h>

#include "support/LogCapture.h"
#include "examples/LoopbackReceiver.h"
#include "support/TempDir.h"
#include "vprinter/Renderer.h"

namespace OrvikFramework::VirtualPrinter {
namespace {

using namespace std::chrono_literals;

// One SDK session over SOCKET: connect, run the calls, disconnect, wait for the printer to see the end.
void printWithSdk(Server& server, const std::function<void(Orvik&)>& calls) {
    Orvik sdk;
    sdk.InterfaceType = WIRELESSS_INTERFACE::SOCKET;
    sdk.TCPDevice = std::make_shared<TcpSocket>();
    sdk.TCPDevice->connect("127.0.0.1", server.port());
    calls(sdk);
    sdk.TCPDevice->disconnect();
    const std::size_t before = server.closedConnections();
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return server.closedConnections() > before; }, 10s));
}

// A plain client, for what the SDK cannot do: several at once, reading replies.
int rawClient(int port) {
    const int fd = Loopback::connect(port);
    EXPECT_GE(fd, 0);
    return fd;
}

void sendAll(int fd, std::string_view bytes) { EXPECT_EQ(::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL), ssize_t(bytes.size())); }

TEST(PrinterServerTest, AReceiptOverTcpMatchesTheSameBytesRenderedDirectlyAndIsWrittenOut) {
    Testing::TempDir dir;
    Testing::writeFile(dir.file("receipt-0007.png"), {1, 2, 3});
    Testing::LogCapture log;
    ServerOptions options;
    options.outDir = dir.path();
    options.keepReceipts = 1;  // none is kept by default when receipts are written out
    options.keepJobs = true;
    Server server(options);
    ASSERT_TRUE(server.start());
    const auto receipt = [](Orvik& o) {
        o.InitPrinter();
        o.TextAlignment(ALIGNMENT::CENTER);
        o.PrintMode(static_cast<std::uint8_t>(PRINT_MODE__DOUBLE_WIDTH_SELECTED | PRINT_MODE__EMPHASIZED_SELECTED));
        o.PrintText("RECEIPT");
        o.PrintMode(0);
        o.PrintBarcode(BARCODE_HRI_POS::BENEATH, 60, 2, "ORVIK-1");
        o.PrintRasterBitImage(0, 1, 0, 2, 0, {0xF0, 0x0F});
        o.PrintNFeedPaper(30);
        o.CutPaper();
    };
    printWithSdk(server, receipt);
    ASSERT_EQ(server.receipts().size(), 1u);
    const PrintedReceipt& printed = server.receipts()[0];
    EXPECT_EQ(printed.number, 8u);  // an existing receipt file is never overwritten

    Renderer direct;
    for (const Command& c : server.jobs()[0].commands) direct.apply(c);
    direct.finish();
    EXPECT_EQ(encodePng(direct.takeReceipts().at(0)), printed.png);

    ASSERT_TRUE(printed.file.has_value());
    EXPECT_EQ(Testing::readFile(printed.file->string()), printed.png);
    const Data dump = Testing::readFile(dir.file("receipt-0008.txt"));
    EXPECT_THAT(std::string(dump.begin(), dump.end()), ::testing::HasSubstr("GS k 4 CODE39 \"ORVIK-1\"\n"));
    EXPECT_THAT(log.lines(), ::testing::Contains(::testing::StartsWith("receipt 8: " + printed.file->string() +
                                                                     " 384x")));
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
    printWithSdk(server, [](Orvik& o) {
        for (int i = 0; i < 2; ++i) {
            o.PrintText("x");
            o.CutPaper();
        }
    });
    ASSERT_EQ(server.receipts().size(), 2u);
    EXPECT_EQ(server.receipts()[0].file, dir.path() / "receipt-18446744073709551615.png");
    EXPECT_FALSE(server.receipts()[1].file);
    EXPECT_THAT(log.lines(), ::testing::Contains(::testing::StartsWith("receipt 0: (no receipt numbers left in " +
                                                                     dir.path().string() + ")")));
    EXPECT_EQ(Testing::readFile(dir.file("victim")), Data{1});
    EXPECT_FALSE(std::filesystem::exists(dir.file("receipt-0001.png")));
}

TEST(PrinterServerTest, KeepsClientsApartWhenTheyPrintAtOnceAndAnswersStatus) {
    Testing::LogCapture quiet;
    ServerOptions options;
    options.keepJobs = true;
    Server server(options);
    ASSERT_TRUE(server.start());
    const int a = rawClient(server.port());
    const int b = rawClient(server.port());
    sendAll(a, "A one\n\x1Bm");
    sendAll(b, "B one\n\x10\x04\x01");
    sendAll(a, "A two\n");
    std::uint8_t status = 0;
    const auto answered = [&] { return ::recv(b, &status, 1, MSG_DONTWAIT) == 1; };
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return server.receipts().size() == 1 && (status || answered()); }, 10s));
    EXPECT_EQ(status, 0x12);
    ::close(a);
    ::close(b);
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return server.closedConnections() == 2; }, 10s));
    ASSERT_EQ(server.receipts().size(), 3u);
    // Each source's receipts carry its own lines only, in its order.
    std::map<std::string, std::string> bySource;
    for (const PrintedReceipt& r : server.receipts()) bySource[r.source] += r.receipt.text + "|";
    std::vector<std::string> texts;
    for (const auto& [source, text] : bySource) texts.push_back(text);
    EXPECT_THAT(texts, ::testing::UnorderedElementsAre("A one\n|A two\n|", "B one\n|"));
}

TEST(PrinterServerTest, StoppingPrintsWhatOpenConnectionsSent) {
    Testing::LogCapture quiet;
    Server server;
    ASSERT_TRUE(server.start());
    const int client = rawClient(server.port());
    sendAll(client, "not yet cut\n");
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
