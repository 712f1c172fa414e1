// USB printer-class and serial links against pseudo-terminals standing in for the devices, and file links.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <filesystem>

#include <orvik/Orvik.h>
#include <orvik/RunLoop.h>
#include <orvik/UsbPrinters.h>

#include "support/Bytes.h"
#include "support/TempDir.h"

namespace OrvikFramework {
namespace {

using namespace std::chrono_literals;

// The printer end of a pseudo-terminal: keeps what arrives and answers each DLE EOT n with `answer`.
struct StandIn {
    StandIn() {
        master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        ::grantpt(master);
        ::unlockpt(master);
        device = ::ptsname(master);
        termios line{};
        ::tcgetattr(master, &line);
        ::cfmakeraw(&line);  // a printer-class device does no line editing
        ::tcsetattr(master, TCSANOW, &line);
        watch = RunLoop::main().watchFd(master, POLLIN, [this](short) {
            std::uint8_t bytes[4096];
            for (ssize_t n; (n = ::read(master, bytes, sizeof bytes)) > 0;) {
                received.insert(received.end(), bytes, bytes + n);
                for (ssize_t i = 0; i + 2 < n; ++i)
                    if (bytes[i] == 0x10 && bytes[i + 1] == 0x04 && answer) ::write(master, &*answer, 1);
            }
        });
    }
    ~StandIn() { hangUp(); }
    void hangUp() {
        if (master < 0) return;
        RunLoop::main().unwatchFd(watch);
        ::close(master);
        master = -1;
    }
    void say(std::uint8_t byte) { ::write(master, &byte, 1); }
    int master;
    std::string device;
    RunLoop::WatchId watch;
    Data received;
    std::optional<std::uint8_t> answer = 0x12;  // online, nothing wrong
};

TEST(DeviceLinkTest, DevicesTakeTheExactBytesAndAnswerStatus) {
    for (const std::string scheme : {"usb://", "serial://"}) {
        SCOPED_TRACE(scheme);
        StandIn printer;
        Orvik sdk;
        ASSERT_EQ(sdk.Open(scheme + printer.device + (scheme == "serial://" ? "?baud=19200" : "")), std::nullopt);
        const Data job(40000, 0x55);
        sdk.PrintData(job);
        const JobOutcome outcome = sdk.WaitUntilSent(2s);
        EXPECT_TRUE(outcome) << outcome.error->message;
        EXPECT_EQ(outcome.bytesSent, job.size());
        RunLoop::main().runUntil([&] { return printer.received.size() >= job.size(); }, 2s);
        EXPECT_EQ(printer.received, job);
        const Result<PrinterStatus> status = sdk.ReadStatus(1s);
        ASSERT_TRUE(status) << status.error().message;
        EXPECT_TRUE(status->canPrint());
        printer.answer.reset();
        EXPECT_EQ(sdk.ReadStatus(200ms).error().code, ErrorCode::NoStatus);
        printer.hangUp();
        sdk.PrintData(job);
        EXPECT_EQ(sdk.WaitUntilSent(1s).error->code, ErrorCode::LinkLost);
    }
}

TEST(DeviceLinkTest, SerialFlowControlHoldsTheJobWithinTheTimeOut) {
    // XON arrives after (ms), or never; a pseudo-terminal honours XOFF/XON, but cannot emulate RTS/CTS.
    const std::pair<std::optional<int>, std::optional<ErrorCode>> cases[] = {{200, std::nullopt}, {std::nullopt, ErrorCode::TimedOut}};
    for (const auto& [resume, error] : cases) {
        StandIn printer;
        Orvik sdk;
        ASSERT_EQ(sdk.Open("serial://" + printer.device + "?flow=xonxoff", 600ms), std::nullopt);
        printer.say(0x13);
        RunLoop::main().runOnce(50ms);
        if (resume) RunLoop::main().addTimer(std::chrono::milliseconds(*resume), [&] { printer.say(0x11); });
        sdk.PrintData(Testing::text("held back"));
        const JobOutcome outcome = sdk.WaitUntilSent(1s);
        EXPECT_EQ(outcome.error ? std::optional(outcome.error->code) : std::nullopt, error);
        RunLoop::main().runUntil([&] { return !printer.received.empty(); }, resume ? 1s : 100ms);
        EXPECT_EQ(printer.received, resume ? Testing::text("held back") : Data{});
    }
}

// What a saved job holds is checked through the CLI (CliEndToEndTest).
TEST(DeviceLinkTest, FilesAreNewAndGiveNoStatus) {
    Testing::TempDir dir;
    std::filesystem::create_symlink(dir.file("elsewhere"), dir.file("link"));
    Orvik sdk;
    ASSERT_EQ(sdk.Open("file:" + dir.file("job.bin")), std::nullopt);
    EXPECT_EQ(sdk.ReadStatus().error().code, ErrorCode::NoStatus);
    sdk.Disconnect();
    for (const char* taken : {"job.bin", "link"}) EXPECT_EQ(sdk.Open("file:" + dir.file(taken))->code, ErrorCode::FileError);
    EXPECT_FALSE(std::filesystem::exists(dir.file("elsewhere")));
}

TEST(DeviceLinkTest, UsbScanListsDevicesThatGiveNoId) {
    Testing::TempDir dir;
    StandIn printer;
    std::filesystem::create_symlink(printer.device, dir.file("lp0"));
    std::filesystem::create_symlink(printer.device, dir.file("lpx"));
    const auto found = findUsbPrinters(dir.path().string());
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].path, dir.file("lp0"));
    EXPECT_EQ(found[0].deviceId, std::nullopt);
}

}  // namespace
}  // namespace OrvikFramework
