#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <orvik/Data.h>
#include <orvik/Error.h>
#include <orvik/Stream.h>

namespace OrvikFramework {

/// The byte-stream connection to a printer reached over TCP; its stream events are logged on the main run loop.
class TcpSocket {
public:
    TcpSocket();
    /// Detaches from and closes any streams still held, so no event reaches a destroyed object.
    virtual ~TcpSocket();
    TcpSocket(const TcpSocket&) = delete;
    TcpSocket& operator=(const TcpSocket&) = delete;

    std::optional<std::string> host;
    std::optional<std::int64_t> port;
    std::shared_ptr<InputStream> inputStream;
    std::shared_ptr<OutputStream> outputStream;
    /// Longest stall of one send (waiting for the connection to open or for space) and longest wait of one recv.
    std::chrono::milliseconds waitTimeout{std::chrono::seconds(10)};

    /// Records host and port, creates, schedules and opens the stream pair; returns at once.
    virtual void connect(std::string_view host, std::int64_t port);
    /// Closes both streams and takes them off the main run loop.
    virtual void disconnect();
    /// Writes the whole buffer; returns its length, or -1 on error, time-out or no stream.
    virtual std::int64_t SendData(const Data& data);
    /// The same for an array of bytes.
    virtual std::int64_t SendBytes(const std::vector<std::uint8_t>& data);
    /// One read of at most `buffersize` bytes, waiting at most `waitTimeout`; empty on end, error or time-out.
    virtual Data recv(std::int64_t buffersize);
    /// The stream event handler: logs each event.
    virtual void stream(Stream& aStream, StreamEvent handle);

    /// What the connection reports beside its log lines, on the main run loop; each may be empty.
    struct Events {
        /// The connection opened.
        std::function<void()> opened;
        /// The first failure; `wasOpen` tells a link that broke off from one that never opened.
        std::function<void(const Error& error, bool wasOpen)> failed;
        /// Part of a buffer larger than one slice was accepted: the bytes of the current send so far.
        std::function<void(std::uint64_t accepted)> progress;
    };
    Events events;
    /// Large buffers are written in slices of this size, so progress can be reported between them.
    static constexpr std::size_t sliceSize = 16 * 1024;

    /// The first failure since connect() (refused, host not found, reset, timed out, not connected); once set,
    /// every send fails at once, since a job with a piece missing cannot be continued on this connection.
    std::optional<Error> lastError() const { return lastError_; }
    /// Bytes the connection accepted since connect().
    std::uint64_t bytesWritten() const { return bytesWritten_; }
    /// Whether the connection has opened since connect().
    bool isOpen() const { return open_; }

private:
    std::int64_t send(const std::uint8_t* bytes, std::size_t length, std::string_view noSpaceLine);
    void recordFailure(const Error& error, bool notify);
    void detachStreams();
    std::optional<Error> lastError_;
    std::uint64_t bytesWritten_ = 0;
    bool open_ = false;
    bool openReported_ = false;
    // Expires with this object; stream delegates check it before calling in.
    std::shared_ptr<int> lifetime_;
};

}  // namespace OrvikFramework
