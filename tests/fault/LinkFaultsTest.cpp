// Links that fail under a job: a peer that never reads, a Bluetooth link that drops or refuses writes. Each ends in
// a bounded time with a clear line, keeps what was already written, and leaves the SDK able to print again.
#include <gtest/gtest.h>
#include <unistd.h>

#include <optional>
#include <string>
#include <utility>

#include <orvik/Orvik.h>
#include <orvik/RunLoop.h>

#include "support/Bytes.h"
#include "support/LogCapture.h"
#include "support/LoopbackServer.h"
#include "support/SimulatedLink.h"

namespace OrvikFramework {
namespace {

using namespace std::chrono_literals;
using Testing::LogCapture;
using Testing::text;
using Testing::operator+;

TEST(LinkFaults, APeerThatAcceptsAndNeverReadsFailsTheSendWithinTheWaitAndSaysSo) {
    int port = 0;
    const int listener = Testing::listenOnLoopback(port);  // the kernel accepts; nobody ever reads
    ASSERT_GE(listener, 0);
    LogCapture log;
    TcpSocket socket;
    socket.waitTimeout = 200ms;
    socket.connect("127.0.0.1", port);
    const Data job(64u << 20, 0x55);  // far more than the socket buffers on both ends hold
    EXPECT_EQ(socket.SendData(job), -1);
    EXPECT_TRUE(log.contains("TcpSocket: send timed out after 200 ms (connection not open or the printer is not reading); " +
                             std::to_string(job.size()) + " bytes not sent"));
    EXPECT_TRUE(RunLoop::main().runUntil(
        [&] { return log.contains("outputStream:ErrorOccurred : Timed out after 200 ms waiting for the peer to read"); }, 5s));
    EXPECT_EQ(socket.SendData(Data{1}), -1);  // the connection is over; nothing waits again
    socket.disconnect();
    ::close(listener);
}

TEST(LinkFaults, AfterABluetoothLinkDropsOrRefusesWritesANewInitSdkPrintsAgain) {
    for (const bool drop : {true, false}) {
        SCOPED_TRACE(drop ? "link drops" : "writes refused");
        Testing::SimulatedLink link;
        SimulatedPrinter& printer = link.addPrinter("Kitchen");
        LogCapture log;
        {
            Orvik first;
            ASSERT_TRUE(link.bringUp(first, "Kitchen"));
            first.PrintText("one");
            if (drop) printer.device().dropLinkAfterWrites(1);
            else link.bluetooth->setRejectWrites(true);
            first.PrintText("two");
            first.PrintText("three");
            EXPECT_TRUE(first.WaitUntilSent(5s));
            Testing::drainMainLoop();
            EXPECT_TRUE(log.contains("BLE write refused by the Bluetooth stack (link down or write rejected): 7 bytes not sent"));
        }
        link.bluetooth->setRejectWrites(false);
        const Data before = link.received();
        EXPECT_EQ(Data(before.begin(), before.begin() + 5), text("one\r\n"));  // what was written stays written
        Orvik second;
        ASSERT_TRUE(link.bringUp(second, "Kitchen"));
        second.PrintText("again");
        EXPECT_TRUE(second.WaitUntilSent(5s));
        Testing::drainMainLoop();
        EXPECT_EQ(link.received(), before + text("again\r\n"));
    }
}

// Also when the system's own error text quotes it: the passphrase is masked there.
TEST(LinkFaults, TheWiFiPassphraseNeverReachesTheLog) {
    const std::pair<std::optional<std::string>, std::string> joins[] = {
        {std::nullopt, "WiFi AP Connect : Success"},
        {"The secrets for the network were missing or refused (wrong passphrase?)",
         "WiFi AP Connect : Not Succee \nError: Optional(\"The secrets for the network were missing or refused (wrong "
         "passphrase?)\")"},
        {"key 'pa55-phrase' rejected; retry pa55-phrase",
         "WiFi AP Connect : Not Succee \nError: Optional(\"key '***' rejected; retry ***\")"},
    };
    for (const auto& [failure, expected] : joins) {
        Testing::SimulatedLink link;
        if (failure) link.hotspot->setFailure(*failure);
        LogCapture log;
        Orvik sdk;
        sdk.InitSDK(WIRELESSS_INTERFACE::WIFI, 512, "PrinterAP", "pa55-phrase");
        Testing::drainMainLoop();
        sdk.Connect("127.0.0.1", Testing::closedLoopbackPort());
        Testing::drainMainLoop();
        EXPECT_TRUE(log.contains(expected));
        for (const std::string& line : log.lines()) EXPECT_EQ(line.find("pa55"), std::string::npos) << line;
    }
}

}  // namespace
}  // namespace OrvikFramework
