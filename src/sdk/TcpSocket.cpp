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
    if (!outputStream) return -1;
    if (!outputStream->hasSpaceAvailable()) Log::plain(noSpaceLine);
    const auto started = std::chrono::steady_clock::now();
    const std::int64_t written = outputStream->write(bytes, length, waitTimeout);
    // Other failures are reported by their stream event; a wait that ran out would otherwise go unexplained.
    if (written < 0 && std::chrono::steady_clock::now() - started >= waitTimeout) {
        Log::plain("TcpSocket: send timed out after " + std::to_string(waitTimeout.count()) +
                   " ms (connection not open or the printer is not reading); " + std::to_string(length) + " bytes not sent");
    }
    return written;
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
