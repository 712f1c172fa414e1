// Many clients printing at once: every receipt comes out, whole and with its own lines only.
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <orvik/RunLoop.h>
#include <orvik/vprinter/Server.h>

#include "core/BleFraming.h"
#include "core/Gzip.h"
#include "support/Bytes.h"
#include "support/LogCapture.h"
#include "examples/LoopbackReceiver.h"
#include "support/TempDir.h"

namespace OrvikFramework::VirtualPrinter {
namespace {

using namespace std::chrono_literals;

constexpr int clients = 32;
constexpr int receiptsPerClient = 50;

// Sends its receipts in uneven chunks, so that receipts of different clients interleave on the printer's side.
void printReceipts(int port, int client) {
    std::string job;
    for (int r = 0; r < receiptsPerClient; ++r) {
        job += "\x1b@client " + std::to_string(client) + "\r\nreceipt " + std::to_string(r) + "\r\n\x1bJ\x10\x1bm";
    }
    const int fd = Loopback::connect(port);
    for (std::size_t done = 0, step = 7 + client; done < job.size(); done += step) {
        ::send(fd, job.data() + done, std::min(step, job.size() - done), MSG_NOSIGNAL);
    }
    ::close(fd);
}

TEST(PrinterLoad, ThirtyTwoClientsOfFiftyReceiptsEachLoseAndMixNothing) {
    Testing::LogCapture quiet;
    Server server;
    ASSERT_TRUE(server.start());
    std::vector<std::thread> threads;
    for (int c = 0; c < clients; ++c) threads.emplace_back(printReceipts, server.port(), c);
    const bool allClosed =
        RunLoop::main().runUntil([&] { return server.closedConnections() == std::size_t(clients); }, 120s);
    for (auto& thread : threads) thread.join();
    ASSERT_TRUE(allClosed);

    ASSERT_EQ(server.receipts().size(), std::size_t(clients * receiptsPerClient));
    std::map<std::string, int> nextOf;
    for (const PrintedReceipt& printed : server.receipts()) {
        // Receipts of one client come out whole, in the order it sent them.
        const std::string& text = printed.receipt.text;
        const std::string client = text.substr(0, text.find('\n'));
        EXPECT_EQ(text, client + "\nreceipt " + std::to_string(nextOf[client]++) + "\n");
        EXPECT_FALSE(printed.png.empty());
    }
    EXPECT_EQ(nextOf.size(), std::size_t(clients));
}

int sendJob(int port, const std::string& job) {
    const int fd = Loopback::connect(port);
    if (fd >= 0) ::send(fd, job.data(), job.size(), MSG_NOSIGNAL);
    return fd;
}

std::int64_t statusKb(const std::string& field) {
    std::ifstream in("/proc/self/status");
    for (std::string line; std::getline(in, line);)
        if (line.starts_with(field + ":")) return std::stoll(line.substr(field.size() + 1));
    return -1;
}

// Jobs that amplify: memory stays bounded and another client's status request is answered meanwhile. Under the
// sanitizers the jobs are smaller and the answer's time is not judged: only the optimised build's timing means much.
TEST(PrinterLoad, AmplifyingJobsStayBoundedAndDoNotHoldUpOthers) {
#ifdef ORVIK_SANITIZED
    // AddressSanitizer keeps freed memory in quarantine, so resident memory says nothing of the printer's either.
    constexpr bool sanitized = true;
#else
    constexpr bool sanitized = false;
#endif
    constexpr std::int64_t mostGrowthKb = sanitized ? std::numeric_limits<std::int64_t>::max() : 64 * 1024;
    constexpr int feedJobs = sanitized ? 6 : 60;
    constexpr std::size_t largestJob = sanitized ? 4u << 20 : Limits{}.largestJob;
    constexpr std::chrono::milliseconds answerWithin = sanitized ? 5s : 100ms;
    std::string feeds;
    for (int r = 0; r < feedJobs; ++r) feeds += "\x1b" "d\xff\x1b" "d\xff\x1b" "d\xff\x1dV\x00";  // 2 m of paper each
    const Data zeros = *Gzip::gzipped(Data(40u << 20, 0), 9);
    const Data bomb = Testing::operator+(BleFraming::sizeAnnouncement(static_cast<std::int64_t>(zeros.size())), zeros);
    const std::tuple<const char*, std::string, std::uint64_t> cases[] = {{"feeds", feeds, feedJobs + 1},
                                                                         {"gzip bomb", std::string(bomb.begin(), bomb.end()), 1}};
    for (const auto& [name, job, receipts] : cases) {
        SCOPED_TRACE(name);
        Testing::LogCapture log;
        Testing::TempDir dir;
        ServerOptions options;
        options.outDir = dir.path();
        options.limits.largestJob = largestJob;
        Server server(options);
        ASSERT_TRUE(server.start());
        const std::int64_t before = statusKb("VmRSS");
        ::close(sendJob(server.port(), job));
        const int asking = sendJob(server.port(), "\x10\x04\x01");
        const auto asked = std::chrono::steady_clock::now();
        std::uint8_t reply = 0;
        ASSERT_TRUE(RunLoop::main().runUntil([&] { return ::recv(asking, &reply, 1, MSG_DONTWAIT) == 1; }, 5s));
        EXPECT_LT(std::chrono::steady_clock::now() - asked, answerWithin);
        ::close(asking);
        ASSERT_TRUE(RunLoop::main().runUntil([&] { return server.closedConnections() == 2; }, 60s));
        EXPECT_LT(statusKb("VmRSS") - before, mostGrowthKb) << "peak " << statusKb("VmHWM") << " kB";
        EXPECT_EQ(server.printedCount(), receipts);
        EXPECT_TRUE(server.receipts().empty());
        for (const auto& file : std::filesystem::directory_iterator(dir.path())) EXPECT_LT(file.file_size(), 8u << 20);
    }
}

// A burst of idle clients waits in the backlog before the printer takes any; out of descriptors, the printer waits
// without spinning, then takes everyone.
TEST(PrinterLoad, ABurstOfFourHundredOutOfDescriptorsWaitsIdleAndLosesNoClient) {
    Testing::LogCapture log;
    Server server;
    ASSERT_TRUE(server.start());
    std::vector<int> clients;
    for (int c = 0; c < 400; ++c) clients.push_back(Loopback::connect(server.port()));
    rlimit saved{};
    ::getrlimit(RLIMIT_NOFILE, &saved);
    const auto open = std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
    rlimit low = saved;
    low.rlim_cur = static_cast<rlim_t>(open + 4);
    ::setrlimit(RLIMIT_NOFILE, &low);
    const std::clock_t cpuBefore = std::clock();  // this process's processor time
    RunLoop::main().runUntil([] { return false; }, 900ms);
    EXPECT_LT(std::clock() - cpuBefore, CLOCKS_PER_SEC / 10);
    ::setrlimit(RLIMIT_NOFILE, &saved);
    for (const int fd : clients) ::send(fd, "idle\n", 5, MSG_NOSIGNAL), ::close(fd);
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return server.closedConnections() == 400; }, 60s));
    EXPECT_EQ(server.printedCount(), 400u);
    EXPECT_THAT(log.lines(), ::testing::Contains(::testing::HasSubstr("cannot accept: Too many open files")).Times(1));
}

}  // namespace
}  // namespace OrvikFramework::VirtualPrinter
