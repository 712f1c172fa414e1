#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include <orvik/Error.h>

namespace OrvikFramework {

class RunLoop;
class SocketChannel;

/// Stream event codes, delivered to a stream's delegate on the run loop it is scheduled in.
enum class StreamEvent : std::uint64_t {
    OpenCompleted = 1,
    HasBytesAvailable = 2,
    HasSpaceAvailable = 4,
    ErrorOccurred = 8,
    EndEncountered = 16,
};

/// One direction of a TCP connection. Both directions of a pair share one non-blocking socket.
class Stream {
public:
    using Delegate = std::function<void(Stream& aStream, StreamEvent eventCode)>;

    virtual ~Stream();
    Stream(const Stream&) = delete;
    Stream& operator=(const Stream&) = delete;

    /// Sets the receiver of this stream's events; an empty delegate detaches.
    void setDelegate(Delegate delegate);
    /// Delivers this stream's events on `loop` from now on.
    void scheduleInRunLoop(RunLoop& loop);
    /// Stops delivering events on `loop`.
    void removeFromRunLoop(RunLoop& loop);
    /// Starts connecting without blocking; completion or failure arrives as an event.
    void open();
    /// Ends this direction; later reads and writes on it fail.
    void close();
    /// Description of the error that ended the connection, if any.
    std::optional<std::string> streamError() const;
    /// The same error as a value: refused, host not found, reset (LinkLost), timed out, or another failure.
    std::optional<Error> failure() const;

protected:
    Stream(std::shared_ptr<SocketChannel> channel, bool input);
    std::shared_ptr<SocketChannel> channel_;
    bool input_;
};

/// The receiving direction.
class InputStream final : public Stream {
public:
    explicit InputStream(std::shared_ptr<SocketChannel> channel);
    /// True when a read would return at once with data or the end of the connection.
    bool hasBytesAvailable() const;
    /// Waits at most `timeout` for data, end or error; returns bytes stored (≥1), 0 at the end, -1 on error or time-out.
    std::int64_t read(std::uint8_t* buffer, std::size_t maxLength, std::chrono::milliseconds timeout);
};

/// The sending direction.
class OutputStream final : public Stream {
public:
    explicit OutputStream(std::shared_ptr<SocketChannel> channel);
    /// True when the connection is open and a write is accepted without waiting.
    bool hasSpaceAvailable() const;
    /// Writes all `length` bytes, waiting at most `timeout` for the connection to open and for space;
    /// returns `length`, or -1 on error or time-out.
    std::int64_t write(const std::uint8_t* bytes, std::size_t length, std::chrono::milliseconds timeout);
};

/// An unopened stream pair for one TCP connection to `host` and `port` (resolved when opened).
std::pair<std::shared_ptr<InputStream>, std::shared_ptr<OutputStream>> getStreamsToHost(std::string_view host,
                                                                                        std::int64_t port);

}  // namespace OrvikFramework
