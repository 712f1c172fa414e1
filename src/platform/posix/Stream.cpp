#include <orvik/Stream.h>

#include "platform/posix/SocketChannel.h"

namespace OrvikFramework {
namespace {

SocketChannel::Side sideOf(bool input) { return input ? SocketChannel::Side::Input : SocketChannel::Side::Output; }

}  // namespace

Stream::Stream(std::shared_ptr<SocketChannel> channel, bool input) : channel_(std::move(channel)), input_(input) {
    channel_->attach(sideOf(input_), this);
}

Stream::~Stream() { channel_->detach(sideOf(input_)); }

void Stream::setDelegate(Delegate delegate) {
    channel_->setDelegate(sideOf(input_), std::move(delegate));
}
void Stream::scheduleInRunLoop(RunLoop& loop) { channel_->schedule(sideOf(input_), loop); }
void Stream::removeFromRunLoop(RunLoop& loop) { channel_->unschedule(sideOf(input_), loop); }
void Stream::open() { channel_->open(sideOf(input_)); }
void Stream::close() { channel_->close(sideOf(input_)); }
std::optional<std::string> Stream::streamError() const { return channel_->error(); }
std::optional<Error> Stream::failure() const { return channel_->failure(); }

InputStream::InputStream(std::shared_ptr<SocketChannel> channel) : Stream(std::move(channel), true) {}

bool InputStream::hasBytesAvailable() const { return channel_->hasBytesAvailable(); }

std::int64_t InputStream::read(std::uint8_t* buffer, std::size_t maxLength, std::chrono::milliseconds timeout) {
    return channel_->read(buffer, maxLength, timeout);
}

OutputStream::OutputStream(std::shared_ptr<SocketChannel> channel) : Stream(std::move(channel), false) {}

bool OutputStream::hasSpaceAvailable() const { return channel_->hasSpaceAvailable(); }

std::int64_t OutputStream::write(const std::uint8_t* bytes, std::size_t length, std::chrono::milliseconds timeout) {
    return channel_->write(bytes, length, timeout);
}

std::pair<std::shared_ptr<InputStream>, std::shared_ptr<OutputStream>> getStreamsToHost(std::string_view host,
                                                                                        std::int64_t port) {
    auto channel = std::make_shared<SocketChannel>(std::string(host), port);
    return {std::make_shared<InputStream>(channel), std::make_shared<OutputStream>(channel)};
}

}  // namespace OrvikFramework
