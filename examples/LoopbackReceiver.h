#pragma once
// A TCP receiver on 127.0.0.1 in a thread of its own, standing in for a network printer. Header-only, so the
// examples, the benchmarks and the tests share it without a library of their own.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

#include <orvik/Data.h>

namespace OrvikFramework::Loopback {

/// A listening socket on 127.0.0.1 at a free port, stored in `port`.
inline int listen(int& port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(fd, 8) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (fd >= 0) ::close(fd);
        throw std::runtime_error("cannot listen on 127.0.0.1");
    }
    port = ntohs(address.sin_port);
    return fd;
}

/// A loopback port with nothing listening on it.
inline int closedPort() {
    int port = 0;
    ::close(listen(port));
    return port;
}

/// A plain blocking client socket connected to 127.0.0.1:`port`, or -1.
inline int connect(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return fd;
    if (fd >= 0) ::close(fd);
    return -1;
}

/// Accepts `clients` connections, one after another, and records (or only counts) what they send until each
/// closes. It gives up after `idleLimit` without traffic, so a broken caller cannot hang.
class Receiver {
public:
    struct Options {
        std::size_t readChunk = 64 * 1024;
        std::chrono::milliseconds pauseBetweenReads{0};
        /// Resets a connection (RST) once this many bytes have arrived on it.
        std::optional<std::size_t> resetAfter = {};
        /// Sent back once on each connection, when its first bytes arrive.
        Data reply = {};
        std::chrono::milliseconds idleLimit{std::chrono::seconds(20)};
        /// Bytes beyond this are counted but not kept; 0 keeps none (a sink).
        std::size_t recordLimit = 64 << 20;
        std::size_t clients = 1;
        /// Stops reading a connection after this many bytes, leaving it open: a printer whose buffer is full.
        std::optional<std::size_t> stopReadingAfter = {};
    };

    Receiver() : Receiver(Options{}) {}
    explicit Receiver(Options options) : options_(std::move(options)), listener_(listen(port_)) {
        thread_ = std::thread([this] { serve(); });
    }
    ~Receiver() {
        stopping_ = true;
        if (thread_.joinable()) thread_.join();
        ::close(listener_);
    }
    Receiver(const Receiver&) = delete;
    Receiver& operator=(const Receiver&) = delete;

    int port() const { return port_; }
    /// Bytes received so far, kept or not; readable while clients send.
    std::uint64_t count() const { return count_.load(); }
    /// Waits for the last client to close (or the idle limit) and returns the bytes kept.
    const Data& received() {
        if (thread_.joinable()) thread_.join();
        return received_;
    }

private:
    // Polls in short steps so the destructor is heard; `idle` counts the time without traffic.
    bool waitReadable(int fd) {
        using namespace std::chrono;
        for (milliseconds idle{0}; idle < options_.idleLimit && !stopping_; idle += milliseconds(50)) {
            pollfd entry{fd, POLLIN, 0};
            if (::poll(&entry, 1, 50) > 0) return true;
        }
        return false;
    }

    void serve() {
        std::vector<std::uint8_t> buffer(options_.readChunk);
        for (std::size_t client = 0; client < options_.clients && waitReadable(listener_); ++client) {
            const int peer = ::accept(listener_, nullptr, nullptr);
            if (peer < 0) return;
            serveOne(peer, buffer);
            ::close(peer);
        }
    }

    void serveOne(int peer, std::vector<std::uint8_t>& buffer) {
        std::size_t got = 0;
        while (!options_.stopReadingAfter || got < *options_.stopReadingAfter) {
            if (!waitReadable(peer)) return;
            const ssize_t n = ::read(peer, buffer.data(), buffer.size());
            if (n <= 0) return;
            if (got == 0 && !options_.reply.empty())
                ::send(peer, options_.reply.data(), options_.reply.size(), MSG_NOSIGNAL);
            got += static_cast<std::size_t>(n);
            count_ += static_cast<std::uint64_t>(n);
            const std::size_t keep = std::min<std::size_t>(n, options_.recordLimit - received_.size());
            received_.insert(received_.end(), buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(keep));
            if (options_.resetAfter && got >= *options_.resetAfter) {
                const linger abortive{1, 0};
                ::setsockopt(peer, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
                return;
            }
            if (options_.pauseBetweenReads.count() > 0) std::this_thread::sleep_for(options_.pauseBetweenReads);
        }
        for (std::chrono::milliseconds held{0}; held < options_.idleLimit && !stopping_; held += std::chrono::milliseconds(50))
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }

    Options options_;
    int port_ = 0;
    int listener_ = -1;
    std::atomic<bool> stopping_{false};
    std::atomic<std::uint64_t> count_{0};
    Data received_;
    std::thread thread_;
};

}  // namespace OrvikFramework::Loopback
