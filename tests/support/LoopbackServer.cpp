#include "support/LoopbackServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>
#include <vector>

namespace OrvikFramework::Testing {
namespace {

bool waitReadable(int fd, std::chrono::milliseconds limit) {
    pollfd entry{fd, POLLIN, 0};
    return ::poll(&entry, 1, static_cast<int>(limit.count())) > 0;
}

}  // namespace

int listenOnLoopback(int& port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(fd, 4) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        throw std::runtime_error("cannot listen on 127.0.0.1");
    }
    port = ntohs(address.sin_port);
    return fd;
}

LoopbackServer::LoopbackServer(Options options) : options_(options) {
    listener_ = listenOnLoopback(port_);
    thread_ = std::thread([this] { serve(); });
}

LoopbackServer::~LoopbackServer() {
    if (thread_.joinable()) thread_.join();
    ::close(listener_);
}

const Data& LoopbackServer::received() {
    if (thread_.joinable()) thread_.join();
    return received_;
}

void LoopbackServer::serve() {
    if (!waitReadable(listener_, options_.idleLimit)) return;
    const int peer = ::accept(listener_, nullptr, nullptr);
    if (peer < 0) return;
    std::vector<std::uint8_t> buffer(options_.readChunk);
    while (waitReadable(peer, options_.idleLimit)) {
        const ssize_t n = ::read(peer, buffer.data(), buffer.size());
        if (n <= 0) break;
        if (received_.empty() && !options_.reply.empty())
            ::send(peer, options_.reply.data(), options_.reply.size(), MSG_NOSIGNAL);
        received_.insert(received_.end(), buffer.begin(), buffer.begin() + n);
        if (options_.resetAfter && received_.size() >= *options_.resetAfter) {
            const linger abortive{1, 0};
            ::setsockopt(peer, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
            break;
        }
        if (options_.pauseBetweenReads.count() > 0) std::this_thread::sleep_for(options_.pauseBetweenReads);
    }
    ::close(peer);
}

int closedLoopbackPort() {
    int port = 0;
    const int fd = listenOnLoopback(port);
    ::close(fd);
    return port;
}

int connectToLoopback(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return fd;
    if (fd >= 0) ::close(fd);
    return -1;
}

}  // namespace OrvikFramework::Testing
