// The TCP link against real loopback peers: event log lines, whole writes under back-pressure, faults.
#include <algorithm>
#include <cerrno>
#include <memory>
#include <string>
#include <thread>

#include <sys/socket.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <orvik/RunLoop.h>
#include <orvik/TcpSocket.h>

#include "platform/posix/SysCalls.h"
#include "support/SysCallFaults.h"
#include "support/Bytes.h"
#include "support/LogCapture.h"
#include "examples/LoopbackReceiver.h"

namespace OrvikFramework {
namespace {

using namespace std::chrono_literals;
using Testing::LogCapture;
using Testing::operator+;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::Not;

void pump(std::chrono::milliseconds span = 50ms) {
    RunLoop::main().runUntil([] { return false; }, span);
}

Data pattern(std::size_t size) {
    Data data(size);
    for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<std::uint8_t>((i * 131 + i / 251) & 0xFF);
    return data;
}

// Failure kinds as job outcomes are JobOutcome's table; here: the event log lines of each way connect() ends.
TEST(TcpSocketEvents, EachOutcomeLogsItsEventAndStreamLines) {
    Loopback::Receiver server;
    struct Case {
        std::string host;
        std::int64_t port;
        bool dropInput;  // a stream no longer held logs only the event line
        std::string last;
        std::vector<std::string> present, absent;
        std::pair<std::string, int> events;
    };
    const Case cases[] = {
        {"127.0.0.1", server.port(), false, "outputStream:HasSpaceAvailable",
         {"Start open()", "inputStream:OpenCompleted", "outputStream:OpenCompleted", "event:4"}, {}, {"event:1", 2}},
        {"127.0.0.1", Loopback::closedPort(), false, "outputStream:ErrorOccurred : Connection refused",
         {"inputStream:ErrorOccurred : Connection refused"}, {}, {"event:8", 2}},
        {"no-such-host.invalid", 9100, false, "", {}, {"inputStream:ErrorOccurred : unknown error"}, {"event:8", 2}},
        {"127.0.0.1", 70000, false, "", {}, {"inputStream:ErrorOccurred : unknown error"}, {"event:8", 2}},
        {"127.0.0.1", server.port(), true, "outputStream:OpenCompleted", {}, {"inputStream:OpenCompleted"}, {"event:1", 2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.host + ":" + std::to_string(c.port));
        LogCapture log;
        TcpSocket socket;
        socket.connect(c.host, c.port);
        const auto original = socket.inputStream;
        if (c.dropInput) socket.inputStream.reset();
        const auto count = [&] { return std::count(log.lines().begin(), log.lines().end(), c.events.first); };
        ASSERT_TRUE(RunLoop::main().runUntil([&] { return count() >= c.events.second && (c.last.empty() || log.contains(c.last)); }, 5s));
        pump();
        EXPECT_EQ(count(), c.events.second);
        EXPECT_EQ(log.lines().front(), "Start open()");
        for (const std::string& line : c.present) EXPECT_THAT(log.lines(), Contains(line));
        for (const std::string& line : c.absent) EXPECT_THAT(log.lines(), Not(Contains(line)));
        socket.inputStream = original;
        EXPECT_TRUE(socket.inputStream && socket.outputStream);
        EXPECT_EQ(socket.port, c.port);
        socket.disconnect();
    }
}

TEST(TcpSocketSend, SendsWaitForTheOpenAndFailWithoutStreamsOrAfterDisconnect) {
    LogCapture log;
    TcpSocket unconnected;
    EXPECT_EQ(unconnected.SendData({1}), -1);
    EXPECT_EQ(unconnected.SendBytes({1}), -1);
    EXPECT_TRUE(log.lines().empty());

    Loopback::Receiver server;
    TcpSocket socket;
    socket.connect("127.0.0.1", server.port());
    const Data data = pattern(1000);
    EXPECT_EQ(socket.SendData(data), 1000);
    EXPECT_EQ(socket.SendBytes({0x1B, 0x40}), 2);
    EXPECT_EQ(log.lines().at(1), "SendData(data: Data) : outputStream?.hasSpaceAvailable == false)");
    socket.disconnect();
    log.clear();
    EXPECT_EQ(socket.SendBytes({8}), -1);
    EXPECT_THAT(log.lines(), ElementsAre("SendBytes(data: [UInt8]) : outputStream?.hasSpaceAvailable == false)"));
    EXPECT_EQ(server.received(), data + Data({0x1B, 0x40}));
}

int sendCalls;  // the calls the faulty send below has had

// Back-pressure, interruptions, a full buffer and short writes neither lose nor repeat a byte. The time-out bounds one
// stall, so a job that keeps moving may take longer than that as a whole.
TEST(TcpSocketSend, EveryByteArrivesOnceWhateverTheKernelDoes) {
    struct Case {
        const char* name;
        std::size_t size;
        Loopback::Receiver::Options peer;
        decltype(SysCalls::send) send;
        decltype(SysCalls::poll) poll;
        std::chrono::milliseconds waitTimeout;
    };
    const Case cases[] = {
        {"8 MiB to a slow reader", 8 << 20, {.readChunk = 8192, .pauseBetweenReads = 1ms},
         realSysCalls().send, realSysCalls().poll, 10s},
        {"interrupted, full and short writes", 301, {},
         [](int fd, const void* bytes, size_t length, int flags) -> ssize_t {
             switch (sendCalls++ % 3) {
                 case 0: errno = EINTR; return -1;
                 case 1: errno = EAGAIN; return -1;
                 default: return realSysCalls().send(fd, bytes, std::min<size_t>(length, 3), flags);
             }
         },
         realSysCalls().poll, 10s},
        // Space comes back 10 ms after each refusal: a wait with less time left than that times out.
        {"stalls shorter than the time-out", 3000, {},
         [](int fd, const void* bytes, size_t length, int flags) -> ssize_t {
             if (sendCalls++ % 2 == 0) return errno = EAGAIN, -1;
             return realSysCalls().send(fd, bytes, std::min<size_t>(length, 100), flags);
         },
         [](pollfd* fds, nfds_t count, int timeoutMs) {
             if (timeoutMs == 0) return realSysCalls().poll(fds, count, 0);
             std::this_thread::sleep_for(std::min(10ms, std::chrono::milliseconds(timeoutMs)));
             return timeoutMs < 10 ? 0 : realSysCalls().poll(fds, count, timeoutMs);
         },
         100ms},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LogCapture log;
        Testing::SysCallFaults faults;
        sendCalls = 0;
        faults.table().send = c.send;
        faults.table().poll = c.poll;
        Loopback::Receiver server(c.peer);
        TcpSocket socket;
        socket.waitTimeout = c.waitTimeout;
        socket.connect("127.0.0.1", server.port());
        const Data data = pattern(c.size);
        EXPECT_EQ(socket.SendData(data), std::int64_t(c.size));
        faults.table() = realSysCalls();
        socket.disconnect();
        EXPECT_TRUE(server.received() == data);
    }
}

TEST(TcpSocketRecv, ReadsWhatArrivedAndIsEmptyOnBadSizesTimeoutsAndEnd) {
    LogCapture log;
    int port = 0;
    const int listener = Loopback::listen(port);
    TcpSocket socket;
    socket.waitTimeout = 20ms;
    EXPECT_TRUE(socket.recv(10).empty());
    socket.connect("127.0.0.1", port);
    const int peer = ::accept(listener, nullptr, nullptr);  // the connect is under way, so this returns at once
    ::close(listener);
    const auto send = [&](std::string_view bytes) { EXPECT_EQ(::send(peer, bytes.data(), bytes.size(), 0), ssize_t(bytes.size())); };
    EXPECT_TRUE(socket.recv(10).empty());
    send("status");
    socket.waitTimeout = 5s;
    EXPECT_EQ(socket.recv(3), (Data{'s', 't', 'a'}));
    EXPECT_EQ(socket.recv(100), (Data{'t', 'u', 's'}));
    EXPECT_TRUE(socket.recv(0).empty());
    EXPECT_TRUE(socket.recv(-5).empty());
    send("x");
    EXPECT_EQ(socket.recv(std::int64_t(1) << 40), Data{'x'});
    ::close(peer);
    // The end of the stream is an event line of its own, without a stream line after it.
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return log.contains("event:16"); }, 5s));
    const auto end = std::find(log.lines().begin(), log.lines().end(), "event:16");
    EXPECT_TRUE(std::next(end) == log.lines().end() || std::next(end)->rfind("event:", 0) == 0);
    EXPECT_TRUE(socket.recv(10).empty());
}

TEST(TcpSocketLifetime, DestroyingOrReconnectingWithEventsPendingIsSafe) {
    LogCapture log;
    Loopback::Receiver first;
    std::shared_ptr<InputStream> kept;
    {
        auto socket = std::make_unique<TcpSocket>();
        socket->connect("127.0.0.1", first.port());
        kept = socket->inputStream;
    }
    pump();
    EXPECT_THAT(log.lines(), ElementsAre("Start open()"));

    Loopback::Receiver second;
    TcpSocket socket;
    socket.connect("127.0.0.1", Loopback::closedPort());
    socket.connect("127.0.0.1", second.port());
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return log.contains("outputStream:OpenCompleted"); }, 5s));
    pump();
    EXPECT_THAT(log.lines(), Not(Contains("event:8")));
    EXPECT_EQ(socket.SendData({5}), 1);
    socket.disconnect();
    EXPECT_EQ(second.received(), Data{5});
}

}  // namespace
}  // namespace OrvikFramework
