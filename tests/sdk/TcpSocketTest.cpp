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

bool pumpUntilLogged(const LogCapture& log, const std::string& line) {
    return RunLoop::main().runUntil([&] { return log.contains(line); }, 5s);
}

Data pattern(std::size_t size) {
    Data data(size);
    for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<std::uint8_t>((i * 131 + i / 251) & 0xFF);
    return data;
}

// A peer the test accepts and drives itself, for reads and end-of-stream.
class AcceptedPeer {
public:
    AcceptedPeer() : listener_(Loopback::listen(port_)) {}
    ~AcceptedPeer() {
        closePeer();
        ::close(listener_);
    }
    int port() const { return port_; }
    // The client's connect has been issued by then, so this does not block for long.
    void accept() { peer_ = ::accept(listener_, nullptr, nullptr); }
    void send(std::string_view bytes) { ASSERT_EQ(::send(peer_, bytes.data(), bytes.size(), 0), ssize_t(bytes.size())); }
    void closePeer() {
        if (peer_ >= 0) ::close(peer_);
        peer_ = -1;
    }

private:
    int port_ = 0;
    int listener_;
    int peer_ = -1;
};

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

TEST(TcpSocketSend, EightMegabytesToASlowReaderArriveByteExact) {
    LogCapture log;
    Loopback::Receiver server({.readChunk = 8192, .pauseBetweenReads = 1ms, .resetAfter = {}, .idleLimit = 20s});
    TcpSocket socket;
    socket.connect("127.0.0.1", server.port());
    const Data data = pattern(8 << 20);
    EXPECT_EQ(socket.SendData(data), std::int64_t(data.size()));
    socket.disconnect();
    EXPECT_TRUE(server.received() == data);
}

// Sends after the reset would raise SIGPIPE, which must not end the process.
TEST(TcpSocketSend, AResetMidJobFailsTheSendWithoutKillingTheProcess) {
    LogCapture log;
    Loopback::Receiver server({.readChunk = 4096, .pauseBetweenReads = 0ms, .resetAfter = 64 * 1024, .idleLimit = 20s});
    TcpSocket socket;
    socket.connect("127.0.0.1", server.port());
    EXPECT_EQ(socket.SendData(pattern(16 << 20)), -1);
    EXPECT_EQ(socket.SendData({1}), -1);
    ASSERT_TRUE(pumpUntilLogged(log, "event:8"));
    EXPECT_LT(server.received().size(), std::size_t(16 << 20));
}

// Interruptions, a full buffer and short writes must neither lose nor repeat bytes.
TEST(TcpSocketSend, InterruptedFullAndShortWritesStillDeliverEveryByteOnce) {
    LogCapture log;
    static int call;
    call = 0;
    Testing::SysCallFaults faults;
    SysCalls& calls = faults.table();
    calls.send = [](int fd, const void* bytes, size_t length, int flags) -> ssize_t {
        switch (call++ % 3) {
            case 0: errno = EINTR; return -1;
            case 1: errno = EAGAIN; return -1;
            default: return realSysCalls().send(fd, bytes, std::min<size_t>(length, 3), flags);
        }
    };
    Loopback::Receiver server;
    TcpSocket socket;
    socket.connect("127.0.0.1", server.port());
    const Data data = pattern(301);
    EXPECT_EQ(socket.SendData(data), 301);
    calls = realSysCalls();
    socket.disconnect();
    EXPECT_EQ(server.received(), data);
}

// The time-out bounds one stall; a job that keeps moving may take longer than that as a whole.
TEST(TcpSocketSend, ASendThatKeepsProgressingIsNotTimedOut) {
    static bool refuse;
    refuse = true;
    Testing::SysCallFaults faults;
    SysCalls& calls = faults.table();
    calls.send = [](int fd, const void* bytes, size_t length, int flags) -> ssize_t {
        refuse = !refuse;
        if (!refuse) {
            errno = EAGAIN;
            return -1;
        }
        return realSysCalls().send(fd, bytes, std::min<size_t>(length, 100), flags);
    };
    // Space comes back 10 ms after each refusal: a wait with less time left than that times out.
    calls.poll = [](pollfd* fds, nfds_t count, int timeoutMs) {
        if (timeoutMs == 0) return realSysCalls().poll(fds, count, 0);
        std::this_thread::sleep_for(std::min(10ms, std::chrono::milliseconds(timeoutMs)));
        return timeoutMs < 10 ? 0 : realSysCalls().poll(fds, count, timeoutMs);
    };
    LogCapture log;
    Loopback::Receiver server;
    TcpSocket socket;
    socket.waitTimeout = 100ms;
    socket.connect("127.0.0.1", server.port());
    const Data data = pattern(3000);
    EXPECT_EQ(socket.SendData(data), 3000);
    calls = realSysCalls();
    socket.disconnect();
    EXPECT_EQ(server.received(), data);
}

TEST(TcpSocketRecv, ReadsWhatArrivedAndIsEmptyOnBadSizesTimeoutsAndEnd) {
    LogCapture log;
    AcceptedPeer peer;
    TcpSocket socket;
    socket.waitTimeout = 20ms;
    EXPECT_TRUE(socket.recv(10).empty());
    socket.connect("127.0.0.1", peer.port());
    peer.accept();
    EXPECT_TRUE(socket.recv(10).empty());
    peer.send("status");
    socket.waitTimeout = 5s;
    EXPECT_EQ(socket.recv(3), (Data{'s', 't', 'a'}));
    EXPECT_EQ(socket.recv(100), (Data{'t', 'u', 's'}));
    EXPECT_TRUE(socket.recv(0).empty());
    EXPECT_TRUE(socket.recv(-5).empty());
    peer.send("x");
    EXPECT_EQ(socket.recv(std::int64_t(1) << 40), Data{'x'});
    peer.closePeer();
    // The end of the stream is an event line of its own, without a stream line after it.
    ASSERT_TRUE(pumpUntilLogged(log, "event:16"));
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
    ASSERT_TRUE(pumpUntilLogged(log, "outputStream:OpenCompleted"));
    pump();
    EXPECT_THAT(log.lines(), Not(Contains("event:8")));
    EXPECT_EQ(socket.SendData({5}), 1);
    socket.disconnect();
    EXPECT_EQ(second.received(), Data{5});
}

}  // namespace
}  // namespace OrvikFramework
