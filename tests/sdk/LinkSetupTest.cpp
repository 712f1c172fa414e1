// InitSDK, Connect and Disconnect on all three links.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <orvik/OrvikFramework.h>

#include "examples/LoopbackReceiver.h"
#include "support/SdkFixtures.h"

namespace OrvikFramework {
namespace {

using ::testing::ElementsAre;
using Testing::drainMainLoop;
using LinkSetup = Testing::SimulatedSdk;

struct JoinRecorder : OrvikObserver {
    std::vector<std::string> events;
    void wifiJoined() override { events.push_back("joined"); }
    void wifiJoinFailed(const Error& error) override { events.push_back("failed " + error.message); }
};

// The join's outcome is logged a loop turn later; the passphrase is masked even where the system's own text quotes it.
TEST(WifiJoin, OnceWithoutWepAndNeverShowsThePassphrase) {
    const std::tuple<std::optional<std::string>, std::string, std::string> cases[] = {
        {std::nullopt, "WiFi AP Connect : Success", "joined"},
        {"key \"pa55-phrase\" rejected; retry pa55-phrase",
         "WiFi AP Connect : Not Succee \nError: Optional(\"key \\\"***\\\" rejected; retry ***\")",
         "failed key \"***\" rejected; retry ***"},
    };
    for (const auto& [failure, joinLine, event] : cases) {
        Testing::SimulatedLink link;
        link.hotspot->setFailure(failure);
        Testing::LogCapture log;
        Orvik sdk;
        const auto recorder = std::make_shared<JoinRecorder>();
        sdk.setObserver(recorder);
        sdk.InitSDK(WIRELESSS_INTERFACE::WIFI, 512, "PrinterAP", "pa55-phrase");
        ASSERT_EQ(link.hotspot->applied().size(), 1u);
        const HotspotConfiguration& applied = link.hotspot->applied()[0];
        EXPECT_EQ(std::tuple(applied.SSID, applied.passphrase, applied.isWEP, applied.joinOnce),
                  std::tuple("PrinterAP", "pa55-phrase", false, true));
        EXPECT_THAT(log.lines(), ElementsAre("\"Connect WIRELESSS_INTERFACE.WIFI : PrinterAP\""));
        drainMainLoop();
        EXPECT_FALSE(sdk.bConnect);
        sdk.Connect("127.0.0.1", Loopback::closedPort());
        drainMainLoop();
        EXPECT_EQ(log.lines().at(1), joinLine);
        for (const std::string& line : log.lines()) EXPECT_EQ(line.find("pa55"), std::string::npos) << line;
        EXPECT_THAT(recorder->events, ElementsAre(event));
    }
}

TEST_F(LinkSetup, SwitchingLinksStopsTheScanOnlyWhenLeavingBluetooth) {
    scanFor("P");
    const auto first = sdk.BLEManager;
    ASSERT_NE(first, nullptr);
    EXPECT_THAT(log.lines(), ElementsAre("\"Connect WIRELESSS_INTERFACE.BLUETOOTH : P\"", "\"BLEDeviceScanStart End: P\"",
                                         "\"BT poweredOn\""));

    sdk.InitSDK(WIRELESSS_INTERFACE::BLUETOOTH, 512, "P", "");
    EXPECT_NE(sdk.BLEManager, first);
    drainMainLoop();

    sdk.InitSDK(WIRELESSS_INTERFACE::WIFI, 512, "AP", "pw");
    link.addPrinter("P");  // the scan is stopped: this printer is never reported
    log.clear();
    drainMainLoop();
    EXPECT_EQ(sdk.BLEDevice, nullptr);
    EXPECT_FALSE(log.contains("\"Enter centralManager\""));
    EXPECT_EQ(sdk.InterfaceType, WIRELESSS_INTERFACE::WIFI);
}

TEST_F(LinkSetup, ConnectFollowsTheStateTableOnEveryLink) {
    EXPECT_FALSE(sdk.Connect("127.0.0.1", 9100));  // before InitSDK: refused with a line, nothing stored
    EXPECT_FALSE(sdk.bConnect);
    EXPECT_EQ(log.lines().size(), 1u);

    scanFor("P");
    log.clear();
    EXPECT_FALSE(sdk.Connect("", 0));
    EXPECT_FALSE(sdk.bConnect);
    EXPECT_TRUE(log.lines().empty());

    sdk.bConnect = true;
    EXPECT_FALSE(sdk.Connect("", 0));
    EXPECT_TRUE(sdk.bConnect);
    sdk.bConnect = false;

    link.addPrinter("P");
    drainMainLoop();
    sdk.BLEManager.reset();
    EXPECT_TRUE(sdk.Connect("", 0));  // no manager: no request, still reported as requested
    EXPECT_TRUE(sdk.bConnect);

    for (const auto& [type, line] : {std::pair(WIRELESSS_INTERFACE::SOCKET, "\"Connect WIRELESSS_INTERFACE.SOCKET : printer\""),
                                     std::pair(WIRELESSS_INTERFACE::WIFI, "\"Connect WIRELESSS_INTERFACE.WIFI : printer\"")}) {
        sdk.InitSDK(type, 512, "printer", "");
        log.clear();
        const auto before = sdk.TCPDevice;
        EXPECT_TRUE(sdk.Connect("127.0.0.1", Loopback::closedPort()));
        ASSERT_NE(sdk.TCPDevice, nullptr);
        EXPECT_NE(sdk.TCPDevice, before);
        EXPECT_EQ(sdk.TCPDevice->host, "127.0.0.1");
        EXPECT_EQ(log.lines().at(0), line);
    }
    drainMainLoop();
}

TEST_F(LinkSetup, DisconnectActsOnTheCurrentLinkOnlyWhenConnected) {
    sdk.Disconnect();
    EXPECT_TRUE(log.lines().empty());

    Loopback::Receiver server;
    sdk.InitSDK(WIRELESSS_INTERFACE::SOCKET, 512, "127.0.0.1", "");  // only records the settings
    EXPECT_EQ(sdk.BLEManager, nullptr);
    EXPECT_FALSE(sdk.WiFiConfiguration);
    EXPECT_THAT(log.lines(), ElementsAre("\"Connect WIRELESSS_INTERFACE.SOCKET : 127.0.0.1\""));
    ASSERT_TRUE(sdk.Connect("127.0.0.1", server.port()));
    sdk.PrintText("hi");
    sdk.InitSDK(WIRELESSS_INTERFACE::WIFI, 512, "AP", "");
    drainMainLoop();
    log.clear();
    sdk.Disconnect();
    EXPECT_EQ(log.lines().at(0), "\"Disconnect WIRELESSS_INTERFACE.WIFI : AP\"");
    EXPECT_FALSE(sdk.bConnect);
    EXPECT_NE(sdk.TCPDevice, nullptr);
    EXPECT_EQ(server.received(), (Data{'h', 'i', 0x0D, 0x0A}));
    EXPECT_TRUE(sdk.WiFiConfiguration);

    log.clear();
    sdk.Disconnect();
    EXPECT_TRUE(log.lines().empty());

    sdk.InitSDK(WIRELESSS_INTERFACE::BLUETOOTH, 512, "P", "");
    sdk.bConnect = true;
    log.clear();
    sdk.Disconnect();  // nothing selected yet: only the line
    EXPECT_THAT(log.lines(), ElementsAre("\"Disconnect WIRELESSS_INTERFACE.BLUETOOTH : P\""));
    EXPECT_FALSE(sdk.bConnect);
}

TEST_F(LinkSetup, WithoutPlatformServicesTheLinksSayWhatIsMissing) {
    Platform::setBackend({});
    sdk.InitSDK(WIRELESSS_INTERFACE::BLUETOOTH, 512, "P", "");
    EXPECT_EQ(sdk.BLEManager, nullptr);
    sdk.InitSDK(WIRELESSS_INTERFACE::WIFI, 512, "AP", "");
    EXPECT_TRUE(log.contains("WiFi AP Connect : Not Succee \nError: Optional(\"no Wi-Fi access-point service on this system\")"));
    EXPECT_EQ(log.lines().size(), 5u);
}

}  // namespace
}  // namespace OrvikFramework
