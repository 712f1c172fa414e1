#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

#include <orvik/Data.h>
#include <orvik/Error.h>
#include <orvik/PrinterAddress.h>

namespace OrvikFramework {

/// A printer reached through a device node or a file: a USB printer-class device, a serial line, or a new file
/// the job is saved to. Waits run the main run loop, so timers and other links keep going meanwhile.
class DeviceLink {
public:
    /// Opens the device, or creates the file exclusively, that a usb, serial or file address names.
    static Result<std::unique_ptr<DeviceLink>> open(const PrinterAddress& address);
    ~DeviceLink();
    DeviceLink(const DeviceLink&) = delete;
    DeviceLink& operator=(const DeviceLink&) = delete;

    /// Writes every byte, waiting at most `timeout` whenever the device takes nothing; `accepted` hears of each
    /// part taken. The first failure sticks: later writes fail with it, as a job with a piece missing is spoilt.
    Status write(const Data& bytes, std::chrono::milliseconds timeout, const std::function<void(std::size_t)>& accepted);
    /// At most `most` bytes the printer sent, waiting at most `timeout`; empty when it sent none.
    Result<Data> read(std::size_t most, std::chrono::milliseconds timeout);
    /// Drops bytes that arrived unasked, so a late answer is not taken for the next one.
    void discardInput();
    /// Whether the printer can answer over it (a file cannot).
    bool answers() const { return kind_ != PrinterAddress::Kind::File; }
    /// Lets a serial line send what it holds, for at most `timeout`, then closes.
    void close(std::chrono::milliseconds timeout);

private:
    DeviceLink(int fd, PrinterAddress::Kind kind, std::string path) : fd_(fd), kind_(kind), path_(std::move(path)) {}
    short wait(short events, std::chrono::steady_clock::time_point deadline) const;
    Error broken(int error) const;

    int fd_;
    PrinterAddress::Kind kind_;
    std::string path_;
    std::optional<Error> failure_;
};

}  // namespace OrvikFramework
