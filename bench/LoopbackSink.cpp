#include "LoopbackSink.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>
#include <vector>

namespace OrvikFramework::Bench {

LoopbackSink::LoopbackSink() {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(listener_, 8) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        throw std::runtime_error("cannot listen on 127.0.0.1");
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { serve(); });
}

LoopbackSink::~LoopbackSink() {
    stopping_ = true;
    thread_.join();
    ::close(listener_);
}

void LoopbackSink::serve() {
    std::vector<pollfd> fds{{listener_, POLLIN, 0}};
    std::vector<char> buffer(1 << 20);
    while (!stopping_) {
        if (::poll(fds.data(), fds.size(), 50) <= 0) continue;
        if (fds[0].revents & POLLIN) fds.push_back({::accept(listener_, nullptr, nullptr), POLLIN, 0});
        for (std::size_t i = 1; i < fds.size();) {
            if (fds[i].revents == 0) {
                ++i;
                continue;
            }
            const ssize_t n = ::read(fds[i].fd, buffer.data(), buffer.size());
            if (n > 0) {
                received_ += static_cast<std::uint64_t>(n);
                ++i;
                continue;
            }
            ::close(fds[i].fd);
            fds.erase(fds.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
    for (std::size_t i = 1; i < fds.size(); ++i) ::close(fds[i].fd);
}

int LoopbackSink::connectClient() const {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port_));
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) throw std::runtime_error("connect");
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

}  // namespace OrvikFramework::Bench
