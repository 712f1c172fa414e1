#include <orvik/TcpSocket.h>

#include <algorithm>
#include <chrono>
#include <string>

#include <orvik/Log.h>
#include <orvik/RunLoop.h>

namespace OrvikFramework {
namespace {

// One read request never needs more room than the socket can hold; this keeps a huge size from exhausting memory.
constexpr std::int64_t largestRead = 1 << 20;

}  // namespace

TcpSocket::TcpSocket() : lifetime_(std::make_shared<int>(0)) {}

TcpSocket::~TcpSocket() { detachStreams(); }

void TcpSocket::connect(std::string_view host, std::int64_t port) {
    this->host = std::string(host);
    this->port = port;
    lastError_.reset();
    bytesWritten_ = 0;
    open_ = openReported_ = false;
    // Streams of an earlier call would otherwise stay open, unreachable, until the process ends.
    detachStreams();
    std::tie(inputStream, outputStream) = getStreamsToHost(host, port);
    if (!inputStream || !outputStream) return;
    // Events can outlive this object when the application keeps a stream it replaced; they are dropped then.
    const std::weak_ptr<int> alive = lifetime_;
    auto delegate = [this, alive](Stream& aStream, StreamEvent eventCode) {
        if (!alive.expired()) stream(aStream, eventCode);
    };
    inputStream->setDelegate(delegate);
    outputStream->setDelegate(delegate);
    inputStream->scheduleInRunLoop(RunLoop::main());
    outputStream->scheduleInRunLoop(RunLoop::main());
    Log::plain("Start open()");
    inputStream->open();
    outputStream->open();
}

void TcpSocket::disconnect() {
    if (inputStream) {
        inputStream->close();
        inputStream->removeFromRunLoop(RunLoop::main());
    }
    if (outputStream) {
        outputStream->close();
        outputStream->removeFromRunLoop(RunLoop::main());
    }
}

void TcpSocket::detachStreams() {
    for (Stream* held : {static_cast<Stream*>(inputStream.get()), static_cast<Stream*>(outputStream.get())}) {
        if (!held) continue;
        held->setDelegate({});
        held->close();
        held->removeFromRunLoop(RunLoop::main());
    }
}

std::int64_t TcpSocket::send(const std::uint8_t* bytes, std::size_t length, std::string_view noSpaceLine) {
    if (lastError_) return -1;
    if (!outputStream) {
        recordFailure({ErrorCode::NotConnected, "not connected to the printer"}, false);
        return -1;
    }
    if (!outputStream->hasSpaceAvailable()) Log::plain(noSpaceLine);
    std::size_t done = 0;
    do {
        const std::size_t slice = std::min(sliceSize, length - done);
        const auto started = std::chrono::steady_clock::now();
        if (outputStream->write(bytes + done, slice, waitTimeout) < 0) {
            // Other failures are reported by their stream event; a wait that ran out would otherwise go unexplained.
            const bool timedOut = std::chrono::steady_clock::now() - started >= waitTimeout;
            if (timedOut) {
                Log::plain("TcpSocket: send timed out after " + std::to_string(waitTimeout.count()) +
                           " ms (connection not open or the printer is not reading); " + std::to_string(length - done) +
                           " bytes not sent");
            }
            const std::optional<Error> failure = outputStream->failure();
            recordFailure(failure       ? *failure
                          : timedOut    ? Error{ErrorCode::TimedOut, "the printer did not take the bytes within " +
                                                                         std::to_string(waitTimeout.count()) + " ms"}
                                        : Error{ErrorCode::NotConnected, "the connection is closed"},
                          failure || timedOut);
            return -1;
        }
        done += slice;
        bytesWritten_ += slice;
        open_ = true;
        if (done < length && events.progress) events.progress(done);
    } while (done < length);
    return static_cast<std::int64_t>(length);
}

void TcpSocket::recordFailure(const Error& error, bool notify) {
    if (lastError_) return;
    lastError_ = error;
    if (notify && events.failed) events.failed(error, open_);
}

std::int64_t TcpSocket::SendData(const Data& data) {
    return send(data.data(), data.size(), "SendData(data: Data) : outputStream?.hasSpaceAvailable == false)");
}

std::int64_t TcpSocket::SendBytes(const std::vector<std::uint8_t>& data) {
    return send(data.data(), data.size(), "SendBytes(data: [UInt8]) : outputStream?.hasSpaceAvailable == false)");
}

Data TcpSocket::recv(std::int64_t buffersize) {
    if (buffersize <= 0 || !inputStream) return {};
    Data buffer(static_cast<std::size_t>(std::min(buffersize, largestRead)));
    const std::int64_t n = inputStream->read(buffer.data(), buffer.size(), waitTimeout);
    buffer.resize(static_cast<std::size_t>(std::max<std::int64_t>(n, 0)));
    return buffer;
}

void TcpSocket::stream(Stream& aStream, StreamEvent handle) {
    const auto code = static_cast<std::uint64_t>(handle);
    Log::plain("event:" + std::to_string(code));
    const auto errorText = [&aStream] { return aStream.streamError().value_or("unknown error"); };
    if (handle == StreamEvent::ErrorOccurred && (&aStream == inputStream.get() || &aStream == outputStream.get())) {
        recordFailure(aStream.failure().value_or(Error{ErrorCode::ConnectionFailed, errorText()}), true);
    } else if (handle == StreamEvent::OpenCompleted && &aStream == outputStream.get() && !openReported_) {
        open_ = openReported_ = true;
        if (events.opened) events.opened();
    }
    if (&aStream == inputStream.get()) {
        switch (handle) {
            case StreamEvent::ErrorOccurred: Log::plain("inputStream:ErrorOccurred : " + errorText()); break;
            case StreamEvent::OpenCompleted: Log::plain("inputStream:OpenCompleted"); break;
            case StreamEvent::HasBytesAvailable: Log::plain("inputStream:HasBytesAvailable"); break;
            default: break;
        }
    } else if (&aStream == outputStream.get()) {
        switch (handle) {
            case StreamEvent::ErrorOccurred: Log::plain("outputStream:ErrorOccurred : " + errorText()); break;
            case StreamEvent::OpenCompleted: Log::plain("outputStream:OpenCompleted"); break;
            case StreamEvent::HasSpaceAvailable: Log::plain("outputStream:HasSpaceAvailable"); break;
            default: break;
        }
    }
}

}  // namespace OrvikFramework
