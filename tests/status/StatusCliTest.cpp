// `orvik status` against the virtual printer, which is served on this process's run loop while the tool runs.
#include <gtest/gtest.h>
#include <gmock/gmock.h>

#include <orvik/vprinter/BluetoothDoor.h>
#include <orvik/vprinter/Server.h>

#include "Cli.h"

#include "support/LogCapture.h"
#include "support/LoopbackServer.h"
#include "support/OrvikCli.h"
#include "support/SimulatedLink.h"
#include "support/TempDir.h"

namespace OrvikFramework {
namespace {

using namespace std::chrono_literals;
using ::testing::HasSubstr;
using VirtualPrinter::PrinterState;

// Runs the tool with simple arguments while the main loop keeps serving.
Testing::Outcome orvik(const std::string& args) { return Testing::runServing(std::string(ORVIK_CLI_PATH) + " " + args + " </dev/null"); }

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
        const Testing::Outcome outcome = orvik("status --to " + to + c.options);
        EXPECT_EQ(outcome.code, c.code) << outcome.output;
        for (const std::string& text : c.shown) EXPECT_THAT(outcome.output, HasSubstr(text));
    }
    Testing::TempDir receipts;
    const Testing::Outcome overBluetooth =
        orvik("--virtual-printer " + receipts.path().string() + " status --to 'ble://Orvik Virtual Printer' --timeout 5");
    EXPECT_EQ(overBluetooth.code, 0) << overBluetooth.output;
    EXPECT_THAT(overBluetooth.output, HasSubstr("status bytes 12 12 12 12"));
    const Testing::Outcome unreachable = orvik("status --to tcp://127.0.0.1:" + std::to_string(Testing::closedLoopbackPort()));
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
