// What becomes of a job when the link fails under it: each kind of failure is the job's error value, reported by
// WaitUntilSent in bounded time, and the observer hears of the link and the job as they happen.
#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>
#include <optional>
#include <string>
#include <tuple>

#include <orvik/Orvik.h>
#include <orvik/vprinter/Server.h>

#include "support/Bytes.h"
#include "support/LogCapture.h"
#include "examples/LoopbackReceiver.h"
#include "support/SimulatedLink.h"

namespace OrvikFramework {
namespace {

using namespace std::chrono_literals;
using Testing::LogCapture;
using Testing::text;

std::string event(const char* what, ErrorCode code) { return what + (" " + std::to_string(static_cast<int>(code))); }

struct Recorder : OrvikObserver {
    std::vector<std::string> events;
    void connectionOpened() override { events.push_back("connectionOpened"); }
    void connectionFailed(const Error& error) override { events.push_back(event("connectionFailed", error.code)); }
    void linkLost(const Error& error) override { events.push_back(event("linkLost", error.code)); }
    void printerFound(const BLEPeripheral& printer) override { events.push_back("printerFound " + printer.name()); }
    void printerConnected() override { events.push_back("printerConnected"); }
    void printerDisconnected(const std::optional<Error>& error) override {
        events.push_back(error ? event("printerDisconnected", error->code) : "printerDisconnected");
    }
    void writeFailed(const Error& error) override { events.push_back(event("writeFailed", error.code)); }
    void bytesWritten(std::uint64_t total) override { events.push_back("bytesWritten " + std::to_string(total)); }
};

// One printing SDK object over TCP to `host`:`port`; `confirm` waits for the printer's word rather than the link's.
JobOutcome overTcp(const std::string& host, int port, const Data& job, std::chrono::milliseconds stall = 10s, bool confirm = false) {
    Orvik sdk;
    sdk.InitSDK(WIRELESSS_INTERFACE::SOCKET, 512, "printer", "");
    sdk.Connect(host, port);
    sdk.TCPDevice->waitTimeout = stall;
    sdk.PrintData(job);
    const auto started = std::chrono::steady_clock::now();
    sdk.PrintText("more");  // after a failure, nothing waits again
    EXPECT_LT(std::chrono::steady_clock::now() - started, 100ms);
    return confirm ? sdk.ConfirmPrinted(5s) : sdk.WaitUntilSent(5s);
}

// One printing SDK object over simulated Bluetooth; `fault` acts between the first piece and the next two.
JobOutcome overBluetooth(const std::function<void(Testing::SimulatedLink&, SimulatedPrinter&)>& fault) {
    Testing::SimulatedLink link;
    SimulatedPrinter& printer = link.addPrinter("Kitchen");
    Orvik sdk;
    if (!link.bringUp(sdk, "Kitchen")) return {Error{ErrorCode::NotConnected, "not brought up"}, 0, std::nullopt};
    sdk.PrintText("one");
    fault(link, printer);
    sdk.PrintText("two");
    sdk.PrintText("three");
    return sdk.WaitUntilSent(5s);
}

TEST(JobOutcome, EachFailureKindIsTheJobsError) {
    const Data small = text("receipt\r\n");
    const Data huge(64u << 20, 0x55);  // far more than the socket buffers on both ends hold
    const auto confirmed = [&](bool paperEnd) {
        VirtualPrinter::Server printer;
        printer.printerState().paperEnd = paperEnd;
        EXPECT_TRUE(printer.start());
        return overTcp("127.0.0.1", printer.port(), small, 10s, true);
    };
    // A link that does not come up leaves the job its reason.
    const auto notUp = [](const std::function<void(Testing::SimulatedLink&)>& prepare) {
        Testing::SimulatedLink link;
        prepare(link);
        Orvik sdk;
        EXPECT_FALSE(link.bringUp(sdk, "Kitchen"));
        return sdk.WaitUntilSent(5s);
    };
    // What goes wrong, the job's outcome: its error and message, and how many bytes went (-1: any number).
    const std::tuple<const char*, std::function<JobOutcome()>, std::optional<ErrorCode>, std::string, std::uint64_t> cases[] = {
        {"all accepted over TCP", [&] {
             Loopback::Receiver server;
             return overTcp("127.0.0.1", server.port(), small);
         }, std::nullopt, "", 9 + 6},  // the job and "more"
        {"all confirmed over Bluetooth", [] { return overBluetooth([](auto&, auto&) {}); }, std::nullopt, "", 5 + 5 + 7},
        {"printed and confirmed", [&] { return confirmed(false); }, std::nullopt, "", 9 + 6},
        {"printer out of paper", [&] { return confirmed(true); }, ErrorCode::PrinterNotReady, "the printer reports: paper end, offline",
         9 + 6},
        {"closed port", [&] { return overTcp("127.0.0.1", Loopback::closedPort(), small); },
         ErrorCode::ConnectionRefused, "Connection refused", 0},
        {"unresolvable host", [&] { return overTcp("no-such-host.invalid", 9100, small); }, ErrorCode::HostNotFound,
         "Cannot resolve host no-such-host.invalid: Name or service not known", 0},
        {"reset mid-job", [&] {
             Loopback::Receiver server({.resetAfter = 1000});
             return overTcp("127.0.0.1", server.port(), huge);
         }, ErrorCode::LinkLost, "Connection reset by peer", std::uint64_t(-1)},
        {"peer never reads", [&] {
             int port = 0;
             const int listener = Loopback::listen(port);  // the kernel accepts; nobody ever reads
             const JobOutcome outcome = overTcp("127.0.0.1", port, huge, 200ms);
             ::close(listener);
             return outcome;
         }, ErrorCode::TimedOut, "Timed out after 200 ms waiting for the peer to read", std::uint64_t(-1)},
        {"never connected", [&] {
             Orvik sdk;
             sdk.InitSDK(WIRELESSS_INTERFACE::SOCKET, 512, "printer", "");
             sdk.PrintData(small);
             return sdk.WaitUntilSent(5s);
         }, ErrorCode::NotConnected, "not connected to the printer; call Connect first", 0},
        {"Bluetooth write refused", [] { return overBluetooth([](auto& link, auto&) { link.bluetooth->setRejectWrites(true); }); },
         ErrorCode::WriteFailed,
         "BLE write refused by the Bluetooth stack (link down or write rejected): 5 bytes not sent", 5},
        {"Bluetooth write failed later", [] { return overBluetooth([](auto& link, auto&) { link.bluetooth->setFailWrites(true); }); },
         ErrorCode::WriteFailed,
         "a write of 5 bytes failed: The write failed: the device did not acknowledge it.", 5},
        {"Bluetooth link dropped", [] { return overBluetooth([](auto&, auto& printer) { printer.device().dropLinkAfterWrites(1); }); },
         ErrorCode::LinkLost, "the Bluetooth link was lost: The connection has timed out unexpectedly.", 10},
        {"Bluetooth unavailable", [&] { return notUp([](auto& link) { link.bluetooth->setUnavailable("no Bluetooth adapter"); }); },
         ErrorCode::BluetoothUnavailable, "no Bluetooth adapter", 0},
        {"no printer service", [&] { return notUp([](auto& link) { link.addAdvertiser("Kitchen"); }); }, ErrorCode::ServiceNotFound,
         "the device does not offer the printer service", 0},
        {"spool unwritable", [&] {
             Orvik sdk;
             sdk.bZip = true;
             sdk.ZipFile = "/nonexistent-directory/spool.bin";
             sdk.PrintData(small);
             return sdk.WaitUntilSent(5s);
         }, ErrorCode::FileError, "the spool file /nonexistent-directory/spool.bin could not be written", 0},
    };
    LogCapture quiet;
    for (const auto& [name, job, error, message, bytesSent] : cases) {
        SCOPED_TRACE(name);
        const JobOutcome outcome = job();
        EXPECT_EQ(static_cast<bool>(outcome), !error);
        EXPECT_EQ(outcome.error ? std::optional(outcome.error->code) : std::nullopt, error);
        EXPECT_EQ(outcome.error ? outcome.error->message : "", message);
        if (bytesSent != std::uint64_t(-1)) {
            EXPECT_EQ(outcome.bytesSent, bytesSent);
        }
    }
}

TEST(JobOutcome, TheObserverHearsOfTheLinkAndTheJobInOrderAndTheNextJobStartsClean) {
    LogCapture quiet;
    const auto recorder = std::make_shared<Recorder>();
    {
        Loopback::Receiver server;
        Orvik sdk;
        sdk.setObserver(recorder);
        sdk.InitSDK(WIRELESSS_INTERFACE::SOCKET, 512, "printer", "");
        sdk.Connect("127.0.0.1", server.port());
        EXPECT_TRUE(sdk.WaitUntilSent(5s));
        sdk.PrintData(Data(40000, 0x20));  // more than two slices: progress moves between them
        sdk.Disconnect();
        EXPECT_EQ(recorder->events, (std::vector<std::string>{"connectionOpened", "bytesWritten 16384", "bytesWritten 32768",
                                                              "bytesWritten 40000"}));
    }
    recorder->events.clear();
    Testing::SimulatedLink link;
    SimulatedPrinter& printer = link.addPrinter("Kitchen");
    Orvik sdk;
    sdk.setObserver(recorder);
    ASSERT_TRUE(link.bringUp(sdk, "Kitchen"));
    link.bluetooth->setRejectWrites(true);
    sdk.PrintText("lost");
    EXPECT_FALSE(sdk.WaitUntilSent(5s));
    link.bluetooth->setRejectWrites(false);
    sdk.PrintText("again");
    const JobOutcome next = sdk.WaitUntilSent(5s);
    EXPECT_TRUE(next);
    EXPECT_EQ(next.bytesSent, 7u);
    printer.device().dropLink();
    Testing::drainMainLoop();
    EXPECT_EQ(recorder->events, (std::vector<std::string>{"printerFound Kitchen", "printerConnected",
                                                          event("writeFailed", ErrorCode::WriteFailed), "bytesWritten 7",
                                                          event("linkLost", ErrorCode::LinkLost),
                                                          event("printerDisconnected", ErrorCode::LinkLost)}));
}

}  // namespace
}  // namespace OrvikFramework
