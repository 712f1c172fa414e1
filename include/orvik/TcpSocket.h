#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <orvik/Data.h>
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

private:
    std::int64_t send(const std::uint8_t* bytes, std::size_t length, std::string_view noSpaceLine);
    void detachStreams();
    // Expires with this object; stream delegates check it before calling in.
    std::shared_ptr<int> lifetime_;
};

}  // namespace OrvikFramework
