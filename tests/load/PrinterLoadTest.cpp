// Many clients printing at once: every receipt comes out, whole and with its own lines only.
#include <sys/socket.h>
#include <unistd.h>

#include <map>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <orvik/RunLoop.h>
#include <orvik/vprinter/Server.h>

#include "support/LogCapture.h"
#include "support/LoopbackServer.h"

namespace OrvikFramework::VirtualPrinter {
namespace {

using namespace std::chrono_literals;

constexpr int clients = 32;
constexpr int receiptsPerClient = 50;

std::string textOf(const Receipt& receipt) {
    std::string text;
    for (const Command& c : receipt.commands) {
        if (c.kind == Command::Kind::Text) text.append(c.data.begin(), c.data.end()) += '|';
    }
    return text;
}

// Sends its receipts in uneven chunks, so that receipts of different clients interleave on the printer's side.
void printReceipts(int port, int client) {
    const int fd = Testing::connectToLoopback(port);
    if (fd < 0) return;
    std::string job;
    for (int r = 0; r < receiptsPerClient; ++r) {
        job += "\x1b@client " + std::to_string(client) + "\r\nreceipt " + std::to_string(r) + "\r\n\x1bJ\x10\x1bm";
    }
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
    std::map<std::string, int> seen;
    std::map<std::string, int> nextOf;
    for (const PrintedReceipt& printed : server.receipts()) {
        const std::string text = textOf(printed.receipt);
        ++seen[text];
        // Receipts of one client come out in the order it sent them.
        const std::string client = text.substr(0, text.find('|'));
        EXPECT_EQ(text, client + "|receipt " + std::to_string(nextOf[client]++) + "|");
        EXPECT_FALSE(printed.png.empty());
    }
    EXPECT_EQ(seen.size(), std::size_t(clients * receiptsPerClient));
}

}  // namespace
}  // namespace OrvikFramework::VirtualPrinter
