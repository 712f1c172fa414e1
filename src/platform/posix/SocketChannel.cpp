#include "platform/posix/SocketChannel.h"

#include <cerrno>
#include <cstring>

#include <netinet/in.h>
#include <netinet/tcp.h>

#include "platform/posix/SysCalls.h"

namespace OrvikFramework {
namespace {

constexpr SocketChannel::Side bothSides[] = {SocketChannel::Side::Input, SocketChannel::Side::Output};

int remainingMs(std::chrono::steady_clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return static_cast<int>(std::max<std::int64_t>(0, std::min<std::int64_t>(left.count(), INT32_MAX)));
}

}  // namespace

SocketChannel::SocketChannel(std::string host, std::int64_t port) : host_(std::move(host)), port_(port) {}

SocketChannel::~SocketChannel() {
    releaseSocket();
    if (addresses_) freeaddrinfo(addresses_);
}

void SocketChannel::attach(Side side, Stream* stream) { direction(side).stream = stream; }

void SocketChannel::detach(Side side) {
    Direction& d = direction(side);
    d.stream = nullptr;
    d.delegate = nullptr;
    ++d.generation;
    close(side);
}

void SocketChannel::setDelegate(Side side, Stream::Delegate delegate) {
    Direction& d = direction(side);
    d.delegate = std::move(delegate);
    ++d.generation;
}

void SocketChannel::schedule(Side side, RunLoop& loop) {
    direction(side).loop = &loop;
    updateWatch();
}

void SocketChannel::unschedule(Side side, RunLoop& loop) {
    Direction& d = direction(side);
    if (d.loop != &loop) return;
    d.loop = nullptr;
    ++d.generation;
    updateWatch();
}

void SocketChannel::open(Side side) {
    Direction& d = direction(side);
    if (d.opened || d.closed) return;
    d.opened = true;
    d.wantsSignal = true;
    switch (phase_) {
        case Phase::Unopened: startConnect(); break;
        case Phase::Open: post(side, StreamEvent::OpenCompleted); break;
        case Phase::Failed: post(side, StreamEvent::ErrorOccurred); break;
        case Phase::Connecting:
        case Phase::Closed: break;
    }
    updateWatch();
}

void SocketChannel::close(Side side) {
    Direction& d = direction(side);
    if (d.closed) return;
    d.closed = true;
    ++d.generation;
    const Direction& other = direction(side == Side::Input ? Side::Output : Side::Input);
    if (!other.opened || other.closed) {
        releaseSocket();
        if (phase_ != Phase::Failed) phase_ = Phase::Closed;
    }
    updateWatch();
}

std::optional<std::string> SocketChannel::error() const { return error_; }

std::optional<Error> SocketChannel::failure() const {
    if (!error_) return std::nullopt;
    return Error{errorCode_, *error_};
}

bool SocketChannel::live(Side side) const {
    const Direction& d = direction(side);
    return d.opened && !d.closed;
}

void SocketChannel::startConnect() {
    if (port_ < 0 || port_ > 65535) {
        fail(ErrorCode::InvalidArgument, "Invalid port " + std::to_string(port_));
        return;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    const std::string service = std::to_string(port_);
    const int status = getaddrinfo(host_.c_str(), service.c_str(), &hints, &addresses_);
    if (status != 0) {
        addresses_ = nullptr;
        fail(ErrorCode::HostNotFound, std::string("Cannot resolve host ") + host_ + ": " + gai_strerror(status));
        return;
    }
    nextAddress_ = addresses_;
    tryAddresses(EHOSTUNREACH);
}

// Connects to each resolved address in turn until one is under way.
void SocketChannel::tryAddresses(int lastError) {
    while (nextAddress_) {
        const addrinfo* address = nextAddress_;
        nextAddress_ = nextAddress_->ai_next;
        fd_ = sys().socket(address->ai_family, address->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                           address->ai_protocol);
        if (fd_ < 0) {
            lastError = errno;
            continue;
        }
        // Commands are small pieces sent one after another; Nagle would hold each behind the last ACK.
        const int one = 1;
        sys().setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        if (sys().connect(fd_, address->ai_addr, address->ai_addrlen) == 0) {
            becomeOpen();
            return;
        }
        if (errno == EINPROGRESS || errno == EINTR) {
            phase_ = Phase::Connecting;
            updateWatch();
            return;
        }
        lastError = errno;
        releaseSocket();
    }
    fail(lastError == ECONNREFUSED ? ErrorCode::ConnectionRefused
         : lastError == ETIMEDOUT  ? ErrorCode::TimedOut
                                   : ErrorCode::ConnectionFailed,
         std::strerror(lastError));
}

void SocketChannel::finishConnect() {
    int error = 0;
    socklen_t length = sizeof error;
    if (sys().getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) < 0) error = errno;
    if (error == 0) {
        becomeOpen();
        return;
    }
    releaseSocket();
    tryAddresses(error);
}

void SocketChannel::becomeOpen() {
    phase_ = Phase::Open;
    for (Side side : bothSides) {
        if (live(side)) post(side, StreamEvent::OpenCompleted);
    }
    updateWatch();
}

void SocketChannel::fail(ErrorCode code, std::string description) {
    phase_ = Phase::Failed;
    errorCode_ = code;
    error_ = std::move(description);
    releaseSocket();
    for (Side side : bothSides) {
        if (live(side)) post(side, StreamEvent::ErrorOccurred);
    }
}

void SocketChannel::releaseSocket() {
    if (watchLoop_) watchLoop_->unwatchFd(watch_);
    watchLoop_ = nullptr;
    if (fd_ >= 0) sys().close(fd_);
    fd_ = -1;
}

void SocketChannel::updateWatch() {
    RunLoop* loop = nullptr;
    for (Side side : bothSides) {
        if (live(side) && direction(side).loop) {
            loop = direction(side).loop;
            break;
        }
    }
    short events = 0;
    if (fd_ >= 0 && loop) {
        if (phase_ == Phase::Connecting) {
            events = POLLOUT;
        } else if (phase_ == Phase::Open) {
            const Direction& in = direction(Side::Input);
            const Direction& out = direction(Side::Output);
            if (live(Side::Input) && in.loop && in.wantsSignal && !atEnd_) events |= POLLIN;
            if (live(Side::Output) && out.loop && out.wantsSignal) events |= POLLOUT;
        }
    }
    if (watchLoop_ && watchLoop_ != loop) {
        watchLoop_->unwatchFd(watch_);
        watchLoop_ = nullptr;
    }
    if (!loop || fd_ < 0) return;
    if (!watchLoop_) {
        std::weak_ptr<SocketChannel> weak = weak_from_this();
        watch_ = loop->watchFd(fd_, events, [weak](short revents) {
            if (auto self = weak.lock()) self->onReady(revents);
        });
        watchLoop_ = loop;
    } else {
        watchLoop_->setWatchEvents(watch_, events);
    }
}

void SocketChannel::onReady(short revents) {
    if (phase_ == Phase::Connecting) {
        finishConnect();
        return;
    }
    if (phase_ != Phase::Open) return;
    if (revents & POLLERR) {
        int error = 0;
        socklen_t length = sizeof error;
        sys().getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length);
        if (error == 0) error = ECONNRESET;
        fail(ErrorCode::LinkLost, std::strerror(error));
        return;
    }
    if ((revents & (POLLIN | POLLHUP)) && direction(Side::Input).wantsSignal) {
        onReadable();
        if (phase_ != Phase::Open) return;
    }
    if ((revents & POLLOUT) && direction(Side::Output).wantsSignal) {
        direction(Side::Output).wantsSignal = false;
        post(Side::Output, StreamEvent::HasSpaceAvailable);
    }
    updateWatch();
}

void SocketChannel::onReadable() {
    std::uint8_t probe;
    const ssize_t n = sys().recv(fd_, &probe, 1, MSG_PEEK | MSG_DONTWAIT);
    if (n < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return;
        fail(ErrorCode::LinkLost, std::strerror(errno));
        return;
    }
    direction(Side::Input).wantsSignal = false;
    if (n == 0) {
        atEnd_ = true;
        post(Side::Input, StreamEvent::EndEncountered);
    } else {
        post(Side::Input, StreamEvent::HasBytesAvailable);
    }
}

void SocketChannel::post(Side side, StreamEvent event) {
    Direction& d = direction(side);
    if (!d.loop) return;
    std::weak_ptr<SocketChannel> weak = weak_from_this();
    d.loop->post([weak, side, event, generation = d.generation] {
        auto self = weak.lock();
        if (!self) return;
        Direction& target = self->direction(side);
        if (target.generation != generation || !target.stream || !target.delegate) return;
        // The delegate may replace or release this stream; keep what it needs alive for the call.
        Stream::Delegate delegate = target.delegate;
        delegate(*target.stream, event);
    });
}

bool SocketChannel::waitFor(short events, Clock::time_point deadline) const {
    for (;;) {
        pollfd entry{fd_, events, 0};
        const int ready = sys().poll(&entry, 1, remainingMs(deadline));
        if (ready > 0) return true;
        if (ready == 0) return false;
        if (errno != EINTR) return false;
    }
}

bool SocketChannel::awaitOpen(Clock::time_point deadline) {
    while (phase_ == Phase::Connecting) {
        if (!waitFor(POLLOUT, deadline)) return false;
        finishConnect();
    }
    return phase_ == Phase::Open;
}

bool SocketChannel::hasSpaceAvailable() const {
    if (phase_ != Phase::Open || !live(Side::Output)) return false;
    pollfd entry{fd_, POLLOUT, 0};
    return sys().poll(&entry, 1, 0) > 0 && (entry.revents & POLLOUT) && !(entry.revents & POLLERR);
}

bool SocketChannel::hasBytesAvailable() const {
    if (phase_ != Phase::Open || !live(Side::Input)) return false;
    if (atEnd_) return true;
    pollfd entry{fd_, POLLIN, 0};
    return sys().poll(&entry, 1, 0) > 0 && (entry.revents & (POLLIN | POLLHUP));
}

std::int64_t SocketChannel::write(const std::uint8_t* bytes, std::size_t length, std::chrono::milliseconds timeout) {
    if (!live(Side::Output)) return -1;
    auto deadline = Clock::now() + timeout;
    if (!awaitOpen(deadline)) return -1;
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n = sys().send(fd_, bytes + done, length - done, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            // The time-out bounds a stall, not the job: a slow printer may take minutes over a large image.
            deadline = Clock::now() + timeout;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (waitFor(POLLOUT, deadline)) continue;
            // Part of the buffer is on the wire: the job cannot be continued on this connection.
            if (done > 0) {
                fail(ErrorCode::TimedOut,
                     "Timed out after " + std::to_string(timeout.count()) + " ms waiting for the peer to read");
            }
            return -1;
        }
        fail(ErrorCode::LinkLost, std::strerror(n < 0 ? errno : EPIPE));
        return -1;
    }
    direction(Side::Output).wantsSignal = true;
    updateWatch();
    return static_cast<std::int64_t>(length);
}

std::int64_t SocketChannel::read(std::uint8_t* buffer, std::size_t maxLength, std::chrono::milliseconds timeout) {
    if (!live(Side::Input)) return -1;
    if (maxLength == 0) return 0;
    const auto deadline = Clock::now() + timeout;
    if (!awaitOpen(deadline)) return -1;
    for (;;) {
        const ssize_t n = sys().recv(fd_, buffer, maxLength, MSG_DONTWAIT);
        if (n >= 0) {
            if (n == 0) atEnd_ = true;
            direction(Side::Input).wantsSignal = true;
            updateWatch();
            return n;
        }
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            if (waitFor(POLLIN, deadline)) continue;
            return -1;
        }
        fail(ErrorCode::LinkLost, std::strerror(errno));
        return -1;
    }
}

}  // namespace OrvikFramework
