#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <thread>

#include <orvik/Data.h>

namespace OrvikFramework::Testing {

// A TCP receiver on 127.0.0.1 in a thread of its own: accepts one client and records what it sends until the
// client closes. It gives up by itself after `idleLimit` without traffic, so a broken test cannot hang.
class LoopbackServer {
public:
    struct Options {
        std::size_t readChunk = 64 * 1024;
        std::chrono::milliseconds pauseBetweenReads{0};
        // Resets the connection (RST) once this many bytes have arrived.
        std::optional<std::size_t> resetAfter = {};
        // Sent back once, when the first bytes arrive.
        Data reply = {};
        std::chrono::milliseconds idleLimit{std::chrono::seconds(20)};
    };

    LoopbackServer() : LoopbackServer(Options{}) {}
    explicit LoopbackServer(Options options);
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    int port() const { return port_; }
    // Waits for the client to close (or the idle limit) and returns every byte received.
    const Data& received();

private:
    void serve();

    Options options_;
    int listener_ = -1;
    int port_ = 0;
    Data received_;
    std::thread thread_;
};

// A listening socket on 127.0.0.1 at a free port, stored in `port`.
int listenOnLoopback(int& port);

// A loopback port with nothing listening on it.
int closedLoopbackPort();

// A plain client socket connected to 127.0.0.1:`port`, or -1.
int connectToLoopback(int port);

}  // namespace OrvikFramework::Testing
