// The bus connection lives in the main run loop: replies and signals arrive there, interleaved with stream events.
#include <memory>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <orvik/RunLoop.h>
#include <orvik/TcpSocket.h>

#include "platform/linux/DBusLink.h"
#include "support/LogCapture.h"
#include "examples/LoopbackReceiver.h"
#include "support/MockBus.h"

namespace OrvikFramework {
namespace {

using namespace std::chrono_literals;
using Testing::LogCapture;
using Testing::MockBus;
using ::testing::Contains;
using ::testing::StartsWith;

constexpr const char* service = "com.example.Thing";
constexpr const char* path = "/thing";

struct DBusLinkTest : ::testing::Test {
    void SetUp() override {
        bus->startMock({service, path, service}, service);
        bus->control(service, path, "AddMethod", service, "Echo", "s", "s", "ret = args[0]");
    }
    void emitPing(const char* text) {
        bus->control(service, path, "EmitSignal", service, "Ping", "s", std::vector{sdbus::Variant(std::string(text))});
    }

    LogCapture log;
    std::unique_ptr<MockBus> bus = std::make_unique<MockBus>();
    std::shared_ptr<DBusLink> link = DBusLink::connect(bus->address(), RunLoop::main());
};

TEST_F(DBusLinkTest, SignalsRepliesAndStreamEventsInterleaveOnOneLoop) {
    std::vector<std::string> pings;
    auto proxy = sdbus::createProxy(link->connection(), service, path);
    proxy->uponSignal("Ping").onInterface(service).call([&](const std::string& text) { pings.push_back(text); });
    proxy->finishRegistration();

    Loopback::Receiver printer;
    TcpSocket socket;
    socket.connect("127.0.0.1", printer.port());
    emitPing("first");
    std::optional<std::string> echoed;
    proxy->callMethodAsync("Echo").onInterface(service).withArguments(std::string("hello")).uponReplyInvoke(
        [&](const sdbus::Error* error, const std::string& reply) { echoed = error ? error->getMessage() : reply; });
    link->schedulePump();
    ASSERT_TRUE(RunLoop::main().runUntil(
        [&] { return pings.size() == 1 && echoed && log.contains("outputStream:HasSpaceAvailable"); }, 10s));
    EXPECT_EQ(*echoed, "hello");
    // While the loop waits on the socket, a later signal still gets through.
    EXPECT_EQ(socket.SendData({1, 2}), 2);
    emitPing("second");
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return pings.size() == 2; }, 10s));
    EXPECT_EQ(pings, (std::vector<std::string>{"first", "second"}));
    socket.disconnect();
    EXPECT_EQ(printer.received(), (Data{1, 2}));
}

TEST_F(DBusLinkTest, ALostBusIsLoggedOnceAndTheLoopKeepsRunning) {
    bus.reset();
    ASSERT_TRUE(RunLoop::main().runUntil(
        [&] { return ::testing::Value(log.lines(), Contains(StartsWith("D-Bus: connection lost: "))); }, 10s));
    EXPECT_FALSE(link->connected());
    bool ran = false;
    RunLoop::main().post([&] { ran = true; });
    EXPECT_TRUE(RunLoop::main().runUntil([&] { return ran; }, 1s));
}

TEST(DBusLink, AnUnreachableBusGivesNoLinkAndOneLine) {
    LogCapture log;
    EXPECT_FALSE(DBusLink::connect("unix:path=/nonexistent/bus", RunLoop::main()));
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_TRUE(log.lines()[0].starts_with("D-Bus: cannot connect to unix:path=/nonexistent/bus: "));
}

}  // namespace
}  // namespace OrvikFramework
