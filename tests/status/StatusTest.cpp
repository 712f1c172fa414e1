// Printer status: the decoding of the four answers, reading them back over each link and with `orvik status`.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <orvik/OrvikFramework.h>
#include <orvik/vprinter/BluetoothDoor.h>
#include <orvik/vprinter/Server.h>

#include "Cli.h"
#include "core/StatusBytes.h"
#include "support/Documents.h"
#include "support/LogCapture.h"
#include "support/OrvikCli.h"
#include "examples/LoopbackReceiver.h"
#include "support/SimulatedLink.h"

namespace OrvikFramework {
namespace {

using namespace std::chrono_literals;
using ::testing::Contains;
using ::testing::HasSubstr;
using VirtualPrinter::PrinterState;

TEST(StatusBytes, DecodesEachConditionAndRefusesAnythingButFourStatusBytes) {
    const std::pair<Data, PrinterStatus> cases[] = {
        {{0x12, 0x12, 0x12, 0x12}, {}},
        {{0x1A, 0x16, 0x12, 0x12}, {.online = false, .coverOpen = true}},
        {{0x12, 0x12, 0x12, 0x16}, {.paperNearEnd = true}},  // either near-end bit counts
        {{0x12, 0x12, 0x12, 0x1A}, {.paperNearEnd = true}},
        {{0x12, 0x12, 0x12, 0x52}, {.paperEnd = true}},  // either paper-end bit, or the stop it caused
        {{0x1A, 0x32, 0x12, 0x12}, {.online = false, .paperEnd = true}},
        {{0x1A, 0x52, 0x12, 0x12}, {.online = false, .error = true}},
        {{0x12, 0x12, 0x1A, 0x12}, {.error = true}},  // cutter, unrecoverable, auto-recoverable
        {{0x12, 0x12, 0x32, 0x12}, {.error = true}},
        {{0x12, 0x12, 0x52, 0x12}, {.error = true}},
        {{0x16, 0x1A, 0x12, 0x12}, {}},  // drawer pin and feed button do not stop printing
    };
    for (auto [answers, expected] : cases) {
        expected.raw = answers;
        EXPECT_EQ(decodePrinterStatus(answers), expected) << testing::PrintToString(answers);
    }
    // Too few, too many, an echoed request, NUL, bit 7 set, bit 4 clear.
    const Data refused[] = {{}, {0x12, 0x12, 0x12}, {0x12, 0x12, 0x12, 0x12, 0x12}, {0x10, 0x12, 0x12, 0x12},
                            {0x12, 0x00, 0x12, 0x12}, {0x12, 0x12, 0x92, 0x12}, {0x12, 0x12, 0x12, 0x02}};
    for (const Data& answers : refused) EXPECT_EQ(decodePrinterStatus(answers), std::nullopt) << answers.size();
}

// The virtual printer on both front doors, with one SDK object connected to each.
struct TwoLinks {
    explicit TwoLinks(PrinterState state = {}) {
        server.printerState() = state;
        EXPECT_TRUE(server.start());
        overTcp.InitSDK(WIRELESSS_INTERFACE::SOCKET, 512, "printer", "");
        overTcp.Connect("127.0.0.1", server.port());
        EXPECT_TRUE(link.bringUp(overBluetooth, "Status BLE"));
    }
    Testing::LogCapture quiet;
    VirtualPrinter::Server server;
    Testing::SimulatedLink link;
    VirtualPrinter::BluetoothDoor door{*link.bluetooth, "Status BLE", server};
    Orvik overTcp, overBluetooth;
};

std::optional<PrinterStatus> withoutRaw(std::optional<PrinterStatus> status) {
    if (status && status->raw.size() == 4) status->raw.clear();
    return status;
}

// The ready printer answers 0x12 four times, and each equal notification must still count as a new answer.
TEST(StatusReadBack, EveryStateOverTcpBluetoothAndOrvikStatusAndNoLateAnswerTakenForTheNextOne) {
    // The printer's state, what RequestStatus reads back over either link, and the exit code and lines of `orvik status`.
    const std::tuple<PrinterState, PrinterStatus, int, std::vector<std::string>> cases[] = {
        {{}, {}, 0, {"on-line:     yes", "paper:       present", "can print:   yes", "status bytes 12 12 12 12"}},
        {{.online = false}, {.online = false}, 6, {}},
        {{.coverOpen = true}, {.online = false, .coverOpen = true}, 6, {}},
        {{.paperNearEnd = true}, {.paperNearEnd = true}, 0, {"paper:       near end", "can print:   yes"}},
        {{.paperEnd = true}, {.online = false, .paperEnd = true}, 6, {"on-line:     no", "paper:       out", "cannot print: off-line, paper out"}},
        {{.error = true}, {.online = false, .error = true}, 6, {}},
        {{false, true, true, true, true, true}, {false, true, true, true, true}, 6,
         {"cover open:  yes", "error:       yes", "cannot print: off-line, cover open, paper out, printer error"}},
    };
    TwoLinks links;
    links.server.printerState().paperEnd = true;
    links.overTcp.PrintData({0x10, 0x04, 0x01});  // answered, never read: not the answer to the first request below
    Testing::drainMainLoop();
    // Each link stays up throughout: the state is read afresh at every request.
    for (const auto& [state, expected, code, shown] : cases) {
        links.server.printerState() = state;
        EXPECT_EQ(withoutRaw(links.overTcp.RequestStatus(5s)), expected) << "TCP";
        EXPECT_EQ(withoutRaw(links.overBluetooth.RequestStatus(5s)), expected) << "Bluetooth";
        // The main loop keeps serving the virtual printer meanwhile.
        const Testing::Outcome run = Testing::orvik({"status", "--to", "tcp://127.0.0.1:" + std::to_string(links.server.port())});
        EXPECT_EQ(run.code, code) << run.output;
        for (const std::string& text : shown) EXPECT_THAT(run.output, HasSubstr(text));
    }
}

TEST(StatusReadBack, NoStatusWhenSilentWithoutALinkWhileSpoolingOrFromABrokenPeer) {
    const auto refused = [](Orvik& sdk, const std::string& line) {
        Testing::LogCapture log;
        EXPECT_EQ(sdk.RequestStatus(200ms), std::nullopt);
        EXPECT_THAT(log.lines(), Contains(HasSubstr(line)));
    };
    {
        TwoLinks silent({.answers = false});
        for (Orvik* sdk : {&silent.overTcp, &silent.overBluetooth}) refused(*sdk, "no answer to DLE EOT 1 within 200 ms");
        // To `orvik status`, a silent Bluetooth printer gave no status (4); its link did not break (5).
        std::string args[] = {"orvik", "status", "--to", "ble://Status BLE", "--timeout", "0.2"};
        char* argv[] = {args[0].data(), args[1].data(), args[2].data(), args[3].data(), args[4].data(), args[5].data()};
        EXPECT_EQ(Cli::run(6, argv), 4);
        const Testing::Outcome run =
            Testing::orvik({"status", "--to", "tcp://127.0.0.1:" + std::to_string(silent.server.port()), "--timeout", "0.2"});
        EXPECT_EQ(run.code, 4);
        EXPECT_THAT(run.output, HasSubstr("gave no status: no answer to DLE EOT 1 within 200 ms"));
    }
    Testing::ScopedDocuments documents;
    Testing::LogCapture quiet;
    Orvik none;
    refused(none, "call InitSDK before RequestStatus");
    Orvik spooling;
    spooling.InitSDK(WIRELESSS_INTERFACE::SOCKET, 512, "printer", "");
    refused(spooling, "not connected to the printer; DLE EOT 1 not sent");
    spooling.Zip(true);
    refused(spooling, "a status request cannot be spooled");
    const std::pair<Loopback::Receiver::Options, std::string> peers[] = {
        {{.reply = {0x00}}, "the answer to DLE EOT 1 is no printer status: 00"},
        {{.resetAfter = 3}, "the connection ended before the printer answered DLE EOT 1"},
    };
    for (const auto& [options, line] : peers) {
        Loopback::Receiver peer(options);
        Orvik sdk;
        sdk.InitSDK(WIRELESSS_INTERFACE::SOCKET, 512, "printer", "");
        sdk.Connect("127.0.0.1", peer.port());
        refused(sdk, line);
    }
}

}  // namespace
}  // namespace OrvikFramework
