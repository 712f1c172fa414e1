// Joining a printer's access point through a mock NetworkManager on a private bus.
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include <orvik/DBus.h>
#include <orvik/Orvik.h>
#include <orvik/Platform.h>
#include <orvik/RunLoop.h>

#include "platform/linux/DBusLink.h"
#include "platform/linux/NetworkManagerHotspot.h"
#include "support/Bytes.h"
#include "support/LogCapture.h"
#include "support/MockBus.h"

namespace OrvikFramework {
namespace {

using namespace std::chrono_literals;
using Testing::MockBus;
using Settings = std::map<std::string, std::map<std::string, sdbus::Variant>>;

constexpr const char* nm = "org.freedesktop.NetworkManager";
constexpr const char* nmPath = "/org/freedesktop/NetworkManager";
constexpr const char* mock = "org.freedesktop.DBus.Mock";

// Applies and waits for the completion; it must come exactly once, and not before `meanwhile` has run.
std::optional<std::string> join(NetworkManagerHotspot& hotspot, const std::string& ssid, const std::string& passphrase,
                                bool isWEP = false, bool joinOnce = true, const std::function<void()>& meanwhile = [] {}) {
    int completions = 0;
    std::optional<std::string> error;
    const HotspotConfiguration configuration{.SSID = ssid, .passphrase = passphrase, .isWEP = isWEP, .joinOnce = joinOnce};
    hotspot.apply(configuration, [&](const std::optional<PlatformError>& result) {
        ++completions;
        error = result ? std::optional(result->localizedDescription) : std::nullopt;
    });
    meanwhile();
    EXPECT_EQ(completions, 0) << "completed too early";
    EXPECT_TRUE(RunLoop::main().runUntil([&] { return completions > 0; }, 10s));
    RunLoop::main().runUntil([] { return false; }, 30ms);
    EXPECT_EQ(completions, 1);
    return error;
}

struct NetworkManagerHotspotTest : ::testing::Test {
    void SetUp() override { bus.startMock({"--template", "networkmanager"}, nm); }

    // The mock's AddWiFiDevice and AddAccessPoint; each returns the new object's path.
    std::string addWifiDevice() { return bus.call<std::string>(nm, nmPath, mock, "AddWiFiDevice", "wlan0", "wlan0", 30u); }
    std::string addAccessPoint(const std::string& device, const std::string& ssid) {
        return bus.call<std::string>(nm, nmPath, mock, "AddAccessPoint", device, "ap_" + ssid, ssid, "AA:BB:CC:DD:EE:FF", 2u,
                                     2412u, 5400u, std::uint8_t(80), 0x100u);
    }

    void replaceMethod(const std::string& name, const std::string& in, const std::string& out, const std::string& code) {
        bus.control(nm, nmPath, "AddMethod", nm, name, in, out, code);
    }
    auto callsOf(const std::string& method) { return bus.callsOf(nm, nmPath, method); }

    auto savedConnections() {
        return bus.call<std::vector<sdbus::ObjectPath>>(nm, "/org/freedesktop/NetworkManager/Settings",
                                                        "org.freedesktop.NetworkManager.Settings", "ListConnections");
    }

    void settle(const std::string& active, std::uint32_t state, std::uint32_t reason) {
        bus.control(nm, active, "EmitSignal", "org.freedesktop.NetworkManager.Connection.Active", "StateChanged", "uu",
                    std::vector{sdbus::Variant(state), sdbus::Variant(reason)});
    }

    MockBus bus;
    std::shared_ptr<DBusLink> link = DBusLink::connect(bus.address(), RunLoop::main());
    NetworkManagerHotspot hotspot{link};
};

TEST_F(NetworkManagerHotspotTest, JoinsTheMatchingAccessPointWithThePassphraseAndForgetsItAfterwards) {
    const std::string device = addWifiDevice();
    addAccessPoint(device, "Other");
    const std::string point = addAccessPoint(device, "PrinterAP");
    EXPECT_EQ(join(hotspot, "PrinterAP", "secret123"), std::nullopt);

    const auto calls = callsOf("AddAndActivateConnection");
    ASSERT_EQ(calls.size(), 1u);
    const auto settings = calls[0][0].get<Settings>();
    EXPECT_EQ(settings.at("802-11-wireless").at("ssid").get<std::vector<std::uint8_t>>(), Testing::text("PrinterAP"));
    EXPECT_EQ(settings.at("802-11-wireless-security").at("key-mgmt").get<std::string>(), "wpa-psk");
    EXPECT_EQ(settings.at("802-11-wireless-security").at("psk").get<std::string>(), "secret123");
    EXPECT_FALSE(settings.at("connection").at("autoconnect").get<bool>());
    EXPECT_EQ(calls[0][1].get<sdbus::ObjectPath>(), device);
    EXPECT_EQ(calls[0][2].get<sdbus::ObjectPath>(), point);

    // This NetworkManager has no volatile connections: the saved one goes when the join ends.
    ASSERT_EQ(savedConnections().size(), 1u);
    settle("/org/freedesktop/NetworkManager/ActiveConnection/0", 4, 2);
    EXPECT_TRUE(RunLoop::main().runUntil([&] { return savedConnections().empty(); }, 5s));
}

TEST_F(NetworkManagerHotspotTest, AVolatileConnectionIsPreferredAndAnOpenNetworkHasNoSecurity) {
    addAccessPoint(addWifiDevice(), "PrinterAP");
    replaceMethod("AddAndActivateConnection2", "a{sa{sv}}ooa{sv}", "ooa{sv}",
                  "conn = self.AddWiFiConnection(args[1], 'joined', 'PrinterAP', ''); "
                  "ret = (conn, self.AddActiveConnection([args[1]], conn, args[2], 'joined', 2), {})");
    EXPECT_EQ(join(hotspot, "PrinterAP", ""), std::nullopt);
    const auto calls = callsOf("AddAndActivateConnection2");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0][0].get<Settings>().count("802-11-wireless-security"), 0u);
    const auto options = calls[0][3].get<std::map<std::string, sdbus::Variant>>();
    EXPECT_EQ(options.at("persist").get<std::string>(), "volatile");
    EXPECT_TRUE(callsOf("AddAndActivateConnection").empty());
}

TEST_F(NetworkManagerHotspotTest, AWrongPassphraseFailsWithNetworkManagersReasonLeavesNothingSavedAndIsNotLogged) {
    addAccessPoint(addWifiDevice(), "PrinterAP");
    replaceMethod("AddAndActivateConnection", "a{sa{sv}}oo", "oo",
                  "conn = self.AddWiFiConnection(args[1], 'joined', 'PrinterAP', ''); "
                  "ret = (conn, self.AddActiveConnection([args[1]], conn, args[2], 'joined', 1))");
    Testing::LogCapture log;
    // The join completes only once NetworkManager settles the connection, which this method leaves to the test.
    const auto settleRefused = [&] {
        RunLoop::main().runUntil([&] { return savedConnections().size() == 1; }, 5s);
        RunLoop::main().runUntil([] { return false; }, 50ms);
        settle("/org/freedesktop/NetworkManager/ActiveConnection/joined", 4, 9);
    };
    EXPECT_EQ(join(hotspot, "PrinterAP", "pa55-phrase", false, true, settleRefused),
              "The secrets for the network were missing or refused (wrong passphrase?)");
    EXPECT_TRUE(RunLoop::main().runUntil([&] { return savedConnections().empty(); }, 5s));
    for (const std::string& line : log.lines()) EXPECT_EQ(line.find("pa55"), std::string::npos) << line;
}

TEST_F(NetworkManagerHotspotTest, FailuresCarryATextAndCompleteOnce) {
    EXPECT_EQ(join(hotspot, "PrinterAP", "x"), "No Wi-Fi device found");
    addWifiDevice();
    // An SSID no access point has: the mock, like NetworkManager, refuses it.
    EXPECT_NE(join(hotspot, "Nowhere", "x", false, false).value_or(""), "");
    EXPECT_EQ(join(hotspot, "PrinterAP", "x", true), "WEP networks are not supported");
    NetworkManagerHotspot unreachable(nullptr);
    EXPECT_EQ(join(unreachable, "PrinterAP", ""), "NetworkManager is not reachable: no D-Bus connection");
    // Without NetworkManager on the bus, the bus's own error.
    bus.stopMock(nm);
    EXPECT_NE(join(hotspot, "PrinterAP", "").value_or("").find(nm), std::string::npos);
}

// InitSDK over WIFI on the system back-end joins through NetworkManager; the SDK logs the outcome with its text.
TEST_F(NetworkManagerHotspotTest, InitSdkJoinsThroughNetworkManager) {
    Testing::SystemBackendOn system(bus.address());
    Testing::LogCapture log;
    Orvik orvik;
    orvik.InitSDK(WIRELESSS_INTERFACE::WIFI, 512, "PrinterAP", "secret123");
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return log.lines().size() == 2; }, 10s));
    EXPECT_EQ(log.lines()[1], "WiFi AP Connect : Not Succee \nError: Optional(\"No Wi-Fi device found\")");
}

}  // namespace
}  // namespace OrvikFramework
