#include "DeviceLink.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <orvik/RunLoop.h>
#include <orvik/UsbPrinters.h>

#include "SysCalls.h"

namespace OrvikFramework {
namespace {

using Clock = std::chrono::steady_clock;

// The printer-class driver's "get device ID" request; no exported kernel header declares it.
constexpr unsigned long getDeviceId(unsigned length) { return _IOC(_IOC_READ, 'P', 1, length); }
constexpr std::size_t deviceIdRoom = 1024;
// Large jobs go out in parts, so progress is reported between them.
constexpr std::size_t part = 16 * 1024;

std::string why(int error) { return std::strerror(error); }

speed_t speed(std::int64_t baud) {
    switch (baud) {
        case 19200: return B19200;
        case 38400: return B38400;
        case 57600: return B57600;
        case 115200: return B115200;
        default: return B9600;
    }
}

// Raw 8-bit bytes at the address's rate, with the flow control it names; reads never block.
Status configureSerial(int fd, const PrinterAddress& address) {
    termios line{};
    if (::tcgetattr(fd, &line) != 0) return Error{ErrorCode::ConnectionFailed, address.path + " is not a serial line: " + why(errno)};
    ::cfmakeraw(&line);
    ::cfsetspeed(&line, speed(address.baud));
    line.c_cflag |= CLOCAL | CREAD;
    if (address.flow == PrinterAddress::Flow::RtsCts) line.c_cflag |= CRTSCTS;
    if (address.flow == PrinterAddress::Flow::XonXoff) line.c_iflag |= IXON | IXOFF;
    line.c_cc[VMIN] = 0;
    line.c_cc[VTIME] = 0;
    if (::tcsetattr(fd, TCSANOW, &line) != 0)
        return Error{ErrorCode::ConnectionFailed, "cannot set up the serial line " + address.path + ": " + why(errno)};
    ::tcflush(fd, TCIOFLUSH);
    return std::nullopt;
}

Error openFailure(const PrinterAddress& address, int error) {
    if (address.kind == PrinterAddress::Kind::File)
        return {ErrorCode::FileError, error == EEXIST ? address.path + " already exists; a job is saved to a new file only"
                                                      : "cannot create " + address.path + ": " + why(error)};
    if (error == ENOENT || error == ENODEV || error == ENXIO) return {ErrorCode::PrinterNotFound, "no printer at " + address.path};
    if (error == EACCES || error == EPERM)
        return {ErrorCode::ConnectionFailed, "no permission to use " + address.path + "; give your group access to it"};
    return {ErrorCode::ConnectionFailed, "cannot open " + address.path + ": " + why(error)};
}

}  // namespace

Result<std::unique_ptr<DeviceLink>> DeviceLink::open(const PrinterAddress& address) {
    const bool file = address.kind == PrinterAddress::Kind::File;
    // A saved job never replaces a file or writes through a symlink; a device is never made our terminal.
    const int flags = file ? O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC : O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC;
    const int fd = sys().open(address.path.c_str(), flags, 0644);
    if (fd < 0) return openFailure(address, errno);
    std::unique_ptr<DeviceLink> link(new DeviceLink(fd, address.kind, address.path));
    if (address.kind == PrinterAddress::Kind::Serial)
        if (const Status failure = configureSerial(fd, address)) return *failure;
    return link;
}

DeviceLink::~DeviceLink() {
    if (fd_ >= 0) sys().close(fd_);
}

short DeviceLink::wait(short events, Clock::time_point deadline) const {
    short ready = 0;
    RunLoop& loop = RunLoop::main();
    const auto watch = loop.watchFd(fd_, events, [&ready](short revents) { ready = revents; });
    loop.runUntil([&ready] { return ready != 0; },
                  std::max(std::chrono::milliseconds(0), std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now())));
    loop.unwatchFd(watch);
    return ready;
}

Error DeviceLink::broken(int error) const {
    if (error == EIO || error == ENODEV || error == ENXIO)
        return {ErrorCode::LinkLost, "the printer at " + path_ + " went away: " + why(error)};
    return {kind_ == PrinterAddress::Kind::File ? ErrorCode::FileError : ErrorCode::WriteFailed,
            "cannot write to " + path_ + ": " + why(error)};
}

Status DeviceLink::write(const Data& bytes, std::chrono::milliseconds timeout, const std::function<void(std::size_t)>& accepted) {
    if (failure_) return failure_;
    if (fd_ < 0) return failure_ = Error{ErrorCode::NotConnected, path_ + " is closed"};
    std::size_t done = 0;
    auto deadline = Clock::now() + timeout;
    while (done < bytes.size()) {
        const ssize_t n = sys().write(fd_, bytes.data() + done, std::min(part, bytes.size() - done));
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            if (accepted) accepted(static_cast<std::size_t>(n));
            deadline = Clock::now() + timeout;
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return failure_ = broken(errno);
        } else if (n < 0 && errno == EAGAIN && !wait(POLLOUT, deadline)) {
            // A busy printer holds the line (XOFF, CTS low, a full buffer); it gets the link's time-out, no more.
            return failure_ = Error{ErrorCode::TimedOut, "the printer at " + path_ + " took nothing for " +
                                                             std::to_string(timeout.count()) + " ms; " +
                                                             std::to_string(bytes.size() - done) + " bytes not sent"};
        }
    }
    return std::nullopt;
}

Result<Data> DeviceLink::read(std::size_t most, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    Data buffer(most);
    for (;;) {
        const ssize_t n = sys().read(fd_, buffer.data(), buffer.size());
        if (n > 0) {
            buffer.resize(static_cast<std::size_t>(n));
            return buffer;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) return broken(errno);
        if (Clock::now() >= deadline || (n < 0 && errno == EAGAIN && !wait(POLLIN, deadline))) return Data{};
        // A device that says "nothing" without waiting is asked again a little later.
        if (n == 0) RunLoop::main().runOnce(std::chrono::milliseconds(10));
    }
}

void DeviceLink::discardInput() {
    std::uint8_t scrap[256];
    for (int i = 0; i < 64 && sys().read(fd_, scrap, sizeof scrap) > 0; ++i) {
    }
}

void DeviceLink::close(std::chrono::milliseconds timeout) {
    if (fd_ < 0) return;
    if (kind_ == PrinterAddress::Kind::Serial) {
        // Closing would otherwise wait, unbounded, for a stopped line to drain.
        const auto deadline = Clock::now() + timeout;
        int queued = 0;
        while (::ioctl(fd_, TIOCOUTQ, &queued) == 0 && queued > 0 && Clock::now() < deadline)
            RunLoop::main().runOnce(std::chrono::milliseconds(10));
        ::tcflush(fd_, TCOFLUSH);
    }
    if (kind_ == PrinterAddress::Kind::File) ::fsync(fd_);
    sys().close(fd_);
    fd_ = -1;
}

std::vector<UsbPrinter> findUsbPrinters(const std::string& directory) {
    std::vector<UsbPrinter> found;
    DIR* folder = ::opendir(directory.c_str());
    if (!folder) return found;
    while (const dirent* entry = ::readdir(folder)) {
        const std::string_view name = entry->d_name;
        if (name.size() < 3 || !name.starts_with("lp") ||
            !std::all_of(name.begin() + 2, name.end(), [](char c) { return c >= '0' && c <= '9'; }))
            continue;
        UsbPrinter printer{directory + "/" + std::string(name), std::nullopt};
        const int fd = sys().open(printer.path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0);
        char id[deviceIdRoom] = {};
        if (fd >= 0 && ::ioctl(fd, getDeviceId(sizeof id), id) == 0) {
            // The answer starts with its own length, big-endian, counting those two bytes.
            const std::size_t length = (static_cast<unsigned char>(id[0]) << 8) | static_cast<unsigned char>(id[1]);
            if (length > 2) printer.deviceId = std::string(id + 2, std::min(length, sizeof id) - 2);
            // The device's words go to a terminal: nothing in them may act as a control sequence.
            if (printer.deviceId)
                for (char& c : *printer.deviceId) c = c >= 0x20 && c < 0x7f ? c : '?';
        }
        if (fd >= 0) sys().close(fd);
        found.push_back(std::move(printer));
    }
    ::closedir(folder);
    std::sort(found.begin(), found.end(), [](const UsbPrinter& a, const UsbPrinter& b) { return a.path < b.path; });
    return found;
}

}  // namespace OrvikFramework
