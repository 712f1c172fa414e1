// `orvik status` against the virtual printer, which is served on this process's run loop while the tool runs.
#include <gtest/gtest.h>
#include <gmock/gmock.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include <orvik/RunLoop.h>
#include <orvik/vprinter/BluetoothDoor.h>
#include <orvik/vprinter/Server.h>

#include "Cli.h"

#include "support/LogCapture.h"
#include "support/LoopbackServer.h"
#include "support/SimulatedLink.h"
#include "support/TempDir.h"

namespace OrvikFramework {
namespace {

using namespace std::chrono_literals;
using ::testing::HasSubstr;
using VirtualPrinter::PrinterState;

struct Outcome {
    int code = -1;
    std::string output;  // standard output and error together
};

// Runs the tool with simple arguments while the main loop keeps serving.
Outcome orvik(const std::string& args) {
    Outcome outcome;
    std::FILE* pipe = ::popen((std::string(ORVIK_CLI_PATH) + " " + args + " 2>&1 </dev/null").c_str(), "r");
    if (!pipe) return outcome;
    const int fd = ::fileno(pipe);
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    bool ended = false;
    const auto watch = RunLoop::main().watchFd(fd, POLLIN, [&](short) {
        char buffer[4096];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) outcome.output.append(buffer, static_cast<std::size_t>(n));
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) ended = true;
    });
    RunLoop::main().runUntil([&] { return ended; }, 60s);
    RunLoop::main().unwatchFd(watch);
    const int status = ::pclose(pipe);
    outcome.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return outcome;
}

TEST(StatusCliTest, PrintsTheStateAndFailsWhenThePrinterCannotPrintOrIsSilent) {
    struct Case {
        PrinterState state;
        std::string options;
        int code;
        std::vector<std::string> shown;
    };
    const Case cases[] = {
        {{}, "", 0, {"on-line:     yes", "paper:       present", "can print:   yes", "status bytes 12 12 12 12"}},
        {{.paperNearEnd = true}, "", 0, {"paper:       near end", "can print:   yes"}},
        {{.paperEnd = true}, "", 6, {"on-line:     no", "paper:       out", "cannot print: off-line, paper out"}},
        {{false, true, false, false, true, true}, "", 6,
         {"cover open:  yes", "error:       yes", "cannot print: off-line, cover open, printer error"}},
        {{.answers = false}, " --timeout 0.2", 4, {"gave no status: no answer to DLE EOT 1 within 200 ms"}},
    };
    Testing::LogCapture quiet;
    VirtualPrinter::Server server;
    ASSERT_TRUE(server.start());
    const std::string to = "tcp://127.0.0.1:" + std::to_string(server.port());
    for (const Case& c : cases) {
        server.printerState() = c.state;
        const Outcome outcome = orvik("status --to " + to + c.options);
        EXPECT_EQ(outcome.code, c.code) << outcome.output;
        for (const std::string& text : c.shown) EXPECT_THAT(outcome.output, HasSubstr(text));
    }
    Testing::TempDir receipts;
    const Outcome overBluetooth =
        orvik("--virtual-printer " + receipts.path().string() + " status --to 'ble://Orvik Virtual Printer' --timeout 5");
    EXPECT_EQ(overBluetooth.code, 0) << overBluetooth.output;
    EXPECT_THAT(overBluetooth.output, HasSubstr("status bytes 12 12 12 12"));
    const Outcome unreachable = orvik("status --to tcp://127.0.0.1:" + std::to_string(Testing::closedLoopbackPort()));
    EXPECT_EQ(unreachable.code, 4);
    EXPECT_THAT(unreachable.output, HasSubstr("cannot reach printer at tcp://127.0.0.1:"));
}

TEST(StatusCliTest, ASilentBluetoothPrinterIsNoBrokenJob) {
    Testing::LogCapture quiet;
    Testing::SimulatedLink link;
    VirtualPrinter::Server server;
    server.printerState().answers = false;
    VirtualPrinter::BluetoothDoor door(*link.bluetooth, "Silent BLE", server);
    std::string args[] = {"orvik", "status", "--to", "ble://Silent BLE", "--timeout", "0.2"};
    char* argv[] = {args[0].data(), args[1].data(), args[2].data(), args[3].data(), args[4].data(), args[5].data()};
    EXPECT_EQ(Cli::run(6, argv), 4);
}

}  // namespace
}  // namespace OrvikFramework
