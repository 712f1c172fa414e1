#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <netdb.h>

#include <orvik/Error.h>
#include <orvik/RunLoop.h>
#include <orvik/Stream.h>

namespace OrvikFramework {

/// One non-blocking TCP socket shared by an input and an output stream. It turns poll(2) readiness into
/// stream events the way byte streams report them: open completed once, then bytes or space available once
/// more after each read or write, error and end once.
class SocketChannel : public std::enable_shared_from_this<SocketChannel> {
public:
    enum class Side { Input = 0, Output = 1 };

    SocketChannel(std::string host, std::int64_t port);
    ~SocketChannel();

    void attach(Side side, Stream* stream);
    void detach(Side side);
    void setDelegate(Side side, Stream::Delegate delegate);
    void schedule(Side side, RunLoop& loop);
    void unschedule(Side side, RunLoop& loop);
    void open(Side side);
    void close(Side side);
    std::optional<std::string> error() const;
    std::optional<Error> failure() const;

    bool hasSpaceAvailable() const;
    bool hasBytesAvailable() const;
    std::int64_t write(const std::uint8_t* bytes, std::size_t length, std::chrono::milliseconds timeout);
    std::int64_t read(std::uint8_t* buffer, std::size_t maxLength, std::chrono::milliseconds timeout);

private:
    enum class Phase { Unopened, Connecting, Open, Failed, Closed };
    struct Direction {
        Stream* stream = nullptr;
        Stream::Delegate delegate;
        RunLoop* loop = nullptr;
        bool opened = false;
        bool closed = false;
        // Readiness is reported once, then again only after the next read or write.
        bool wantsSignal = false;
        // Bumped whenever the stream stops taking events, so events already posted are dropped.
        std::uint64_t generation = 0;
    };
    using Clock = std::chrono::steady_clock;

    Direction& direction(Side side) { return directions_[static_cast<int>(side)]; }
    const Direction& direction(Side side) const { return directions_[static_cast<int>(side)]; }
    bool live(Side side) const;

    void startConnect();
    void tryAddresses(int lastError);
    void finishConnect();
    void becomeOpen();
    void fail(ErrorCode code, std::string description);
    void releaseSocket();

    void updateWatch();
    void onReady(short revents);
    void onReadable();
    void post(Side side, StreamEvent event);

    // Waits for `events` on the socket until `deadline`; false on time-out.
    bool waitFor(short events, Clock::time_point deadline) const;
    // Completes a pending connection from inside a read or write; false when it did not open in time.
    bool awaitOpen(Clock::time_point deadline);

    std::string host_;
    std::int64_t port_;
    Phase phase_ = Phase::Unopened;
    int fd_ = -1;
    addrinfo* addresses_ = nullptr;
    addrinfo* nextAddress_ = nullptr;
    bool atEnd_ = false;
    std::optional<std::string> error_;
    ErrorCode errorCode_ = ErrorCode::ConnectionFailed;
    Direction directions_[2];
    RunLoop* watchLoop_ = nullptr;
    RunLoop::WatchId watch_ = 0;
};

}  // namespace OrvikFramework
