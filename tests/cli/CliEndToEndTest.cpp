#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>

#include <orvik/ImageConversion.h>

#include "CliError.h"
#include "Link.h"
#include "support/Bytes.h"
#include "support/ImageFiles.h"
#include "examples/LoopbackReceiver.h"
#include "support/OrvikCli.h"
#include "support/ScopedEnv.h"
#include "support/SimulatedLink.h"
#include "support/TempDir.h"

namespace OrvikFramework::Cli {
namespace {

using Testing::Outcome;
using Testing::orvik;
using Testing::TempDir;
using Testing::bytes;
using Testing::text;
using Testing::operator+;

std::string tcp(int port) { return "tcp://127.0.0.1:" + std::to_string(port); }
std::string tcp(const Loopback::Receiver& server) { return tcp(server.port()); }

// `orvik printer` on a free port, its output read line by line; stopped when the test ends, and after 30 s in any
// case, so a missing line fails the test instead of hanging it.
class RunningPrinter {
public:
    explicit RunningPrinter(const std::vector<std::string>& flags) {
        // The shell's process id is that of `timeout` once it has replaced itself.
        std::string command = "echo $$; exec timeout 30 " + Testing::shellQuoted(ORVIK_CLI_PATH) + " printer --port 0";
        for (const auto& flag : flags) command += " " + Testing::shellQuoted(flag);
        output_ = ::popen((command + " </dev/null 2>&1").c_str(), "r");
        pid_ = std::stoi(line());
        const std::string banner = line();
        address = tcp(std::stoi(banner.substr(banner.find("127.0.0.1:") + 10)));
    }
    ~RunningPrinter() {
        ::kill(pid_, SIGTERM);
        ::pclose(output_);
    }
    /// The next line without its end; empty once the program has ended.
    std::string line() {
        char buffer[1024];
        std::string text = std::fgets(buffer, sizeof buffer, output_) ? buffer : "";
        if (text.ends_with('\n')) text.pop_back();
        return text;
    }
    std::string address;

private:
    std::FILE* output_ = nullptr;
    pid_t pid_ = -1;
};

// The bytes a fresh receiver got from `orvik COMMAND --to it ARGS...`, which must succeed and say nothing.
Data received(std::vector<std::string> args) {
    Loopback::Receiver server;
    args.insert(args.begin() + 1, {"--to", tcp(server)});
    const Outcome run = orvik(args);
    EXPECT_EQ(run.code, 0) << run.output;
    EXPECT_EQ(run.output, "");
    return server.received();
}

// How many bytes a broken link took varies from run to run; lines are compared with "after N of".
std::string withoutCount(std::string line) {
    const auto after = line.find(" after ");
    const auto of = after == std::string::npos ? after : line.find(" of ", after);
    if (of != std::string::npos) line.replace(after + 7, of - after - 7, "N");
    return line;
}

// A job over a simulated Bluetooth printer through the tool's own link, with a fault made once it is open.
Outcome bluetoothJob(const std::function<void(SimulatedPrinter&, SimulatedBluetooth&)>& fault) {
    Testing::SimulatedLink simulator;
    SimulatedPrinter& printer = simulator.addPrinter("Kitchen");
    Orvik sdk;
    LinkOptions options;
    options.timeout = std::chrono::seconds(2);
    try {
        const auto link = Link::open(sdk, *parsePrinterAddress("ble://Kitchen"), "ble://Kitchen", options);
        fault(printer, *simulator.bluetooth);
        link->deliver(Data(40000, 'x'), false);
        return {0, ""};
    } catch (const CliError& e) {
        return {static_cast<int>(e.code()), "orvik: " + std::string(e.what()) + "\n"};
    }
}

TEST(CliEndToEndTest, PrintsItemsInTheOrderGivenWithTheirOwnSettings) {
    // Centred still: the alignment stays until changed.
    const Data qrCodes = buildJob([](Orvik& sdk) {
        sdk.PrintQRCodeImage("https://orvik.example", 4, QRErrorCorrection::H);
        sdk.PrintQRCode("second", 6, QRErrorCorrection::M);
    });
    EXPECT_EQ(received({"print", "--align", "center", "--bold", "--double-width", "--text", "ORVIK CAFE", "--underline", "--text",
                        "Espresso  2.80", "--font-b", "--double-height", "--text", "Danke", "--hri", "none", "--barcode", "ORVIK42",
                        "--qr-ecc", "H", "--qr-size", "4", "--qr-raster", "--qr", "https://orvik.example", "--qr", "second",
                        "--feed", "40", "--cut"}),
              bytes({0x1b, '@', 0x1b, 'a', '1', 0x1b, '!', 0x28}) + text("ORVIK CAFE\r\n") + bytes({0x1b, '!', 0xa8}) +
                  text("Espresso  2.80\r\n") + bytes({0x1b, '!', 0xb9}) + text("Danke\r\n") +
                  bytes({0x1d, 'H', 0, 0x1d, 'h', 80, 0x1d, 'w', 2, 0x1d, 'k', 4}) + text("ORVIK42") + bytes({0, '\r', '\n'}) +
                  qrCodes + bytes({0x1b, 'J', 40, 0x1b, 'm'}));
}

TEST(CliEndToEndTest, PicturesConvertAndPrintTheSameDotsFromEveryFormatInEveryMode) {
    TempDir dir;
    // 200 x 150 becomes 384 x 288 dots: three raster bands of at most 128 rows, twelve column bands of 24.
    const Data png = Testing::encodePng(Testing::greyImage(200, 150, [](int x, int y) { return (x * 3 + y * 5) % 256; }));
    Testing::writeFile(dir.file("logo.png"), png);
    std::filesystem::create_symlink(dir.file("logo.png"), dir.file("logo.bmp.part"));  // a symlink at any temporary name
    ASSERT_EQ(orvik({"convert", dir.file("logo.png"), dir.file("logo.bmp")}).code, 0);
    EXPECT_EQ(Testing::readFile(dir.file("logo.bmp")), encodeBmp(*convertPictureFile(dir.file("logo.png"), {})));
    EXPECT_EQ(Testing::readFile(dir.file("logo.png")), png);
    const Outcome wide = orvik({"convert", dir.file("logo.png"), dir.file("logo.bmp"), "--width", "576", "--dither", "atkinson", "--replace"});
    EXPECT_EQ(wide.code, 0) << wide.output;
    EXPECT_EQ(Testing::readFile(dir.file("logo.bmp")).size(), 62u + 432 * 72);  // 576 x 432 dots, 72 bytes a row
    ASSERT_EQ(orvik({"convert", dir.file("logo.png"), dir.file("logo.bmp"), "--replace"}).code, 0);

    RunningPrinter printer({"--out", dir.file("received")});
    const std::pair<const char*, const char*> cases[] = {
        {"logo.png", "raster"}, {"logo.bmp", "raster"}, {"logo.png", "graphics"}, {"logo.png", "column"}};
    for (const auto& [file, mode] : cases) {
        SCOPED_TRACE(std::string(file) + " " + mode);
        const Outcome run = orvik({"print", "--to", printer.address, "--align", "center", "--image-mode", mode, "--image", dir.file(file), "--cut"});
        EXPECT_EQ(run.code, 0) << run.output;
        const std::string receipt = printer.line();
        EXPECT_EQ(Testing::readFile(receipt.substr(receipt.rfind(": ") + 2)), Testing::readFile(dir.file("received/receipt-0001.png")));
    }
}

TEST(CliEndToEndTest, SavesAJobToANewFileAndSendsAFileUnchangedWithoutProgressWhenNotATerminal) {
    TempDir dir;
    ASSERT_EQ(orvik({"print", "--to", "file:" + dir.file("saved.bin"), "--text", "Saved"}).code, 0);
    EXPECT_EQ(Testing::readFile(dir.file("saved.bin")), bytes({0x1b, '@'}) + text("Saved\r\n"));
    Data job(300 * 1024);
    for (std::size_t i = 0; i < job.size(); ++i) job[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    Testing::writeFile(dir.file("job.bin"), job);
    EXPECT_EQ(received({"send", dir.file("job.bin")}), job);
}

TEST(CliEndToEndTest, FailuresHaveTheirExitCodeAndOneLine) {
    TempDir dir;
    Testing::writeFile(dir.file("junk.png"), text("not a picture"));
    Testing::writeFile(dir.file("keep.bmp"), text("old"));
    std::filesystem::create_symlink(dir.file("keep.bmp"), dir.file("link.bmp"));
    Testing::writeFile(dir.file("in.png"), Testing::encodePng(Testing::greyImage(8, 8, [](int, int) { return 0; })));
    Testing::writeFile(dir.file("empty.bin"), Data{});
    Testing::writeFile(dir.file("big.bin"), Data(16 * 1024 * 1024, 'x'));
    const int closedPort = Loopback::closedPort();
    const std::string closed = tcp(closedPort);
    Loopback::Receiver resetting(Loopback::Receiver::Options{.resetAfter = 256 * 1024});
    int deafPort = 0;
    const int deaf = Loopback::listen(deafPort);  // connections complete in the kernel; nothing is read
    RunningPrinter paperOut({"--paper-out", "--out", dir.file("received")});
    const std::string wifi = "wifi://Cafe?password=s3cret&host=127.0.0.1&port=" + std::to_string(closedPort);
    const auto cli = [&dir](std::vector<std::string> args, bool virtualPrinter = false) {
        if (virtualPrinter) args.insert(args.begin(), {"--virtual-printer", dir.path().string()});
        return [args] { return orvik(args); };
    };
    struct Case {
        std::function<Outcome()> run;
        int code;
        std::string message;
    };
    const Case cases[] = {
        {cli({"print", "--to", closed, "--text", "x"}), 4, "orvik: cannot reach printer at " + closed + ": Connection refused\n"},
        {cli({"status", "--to", closed}), 4, "orvik: cannot reach printer at " + closed + ": Connection refused\n"},
        {cli({"send", "--to", "tcp://printer.invalid", dir.file("junk.png")}), 4,
         "orvik: cannot reach printer at tcp://printer.invalid: Cannot resolve host printer.invalid: Name or service not known\n"},
        {cli({"send", "--to", tcp(resetting), dir.file("big.bin")}), 5,
         "orvik: link to " + tcp(resetting) + " broke off after N of 16777216 bytes: Connection reset by peer\n"},
        {cli({"send", "--to", tcp(deafPort), "--timeout", "1", dir.file("big.bin")}), 5,
         "orvik: link to " + tcp(deafPort) + " broke off after N of 16777216 bytes: Timed out after 1000 ms waiting for the peer to read\n"},
        {[] { return bluetoothJob([](SimulatedPrinter&, SimulatedBluetooth& bluetooth) { bluetooth.setRejectWrites(true); }); },
         5, "orvik: link to ble://Kitchen broke off after N of 40000 bytes: BLE write refused by the Bluetooth stack (link down or write rejected): 180 bytes not sent\n"},
        {[] { return bluetoothJob([](SimulatedPrinter& printer, SimulatedBluetooth&) { printer.device().dropLinkAfterWrites(3); }); },
         5, "orvik: link to ble://Kitchen broke off after N of 40000 bytes: the Bluetooth link was lost: The connection has timed out unexpectedly.\n"},
        {cli({"print", "--check", "--to", paperOut.address, "--text", "x"}), 6,
         "orvik: printer at " + paperOut.address + " cannot print: off-line, paper out\n"},
        {cli({"print", "--to", wifi, "--text", "x"}, true), 4,
         "orvik: cannot reach printer at wifi://Cafe?password=***&host=127.0.0.1&port=" + std::to_string(closedPort) +
             ": Connection refused\n"},
        {[&] {
             const Testing::ScopedEnv tmp("TMPDIR", dir.file("junk.png"));
             return cli({"print", "--to", "ble://Orvik Virtual Printer", "--spool", "--text", "x"}, true)();
         },
         3, "orvik: cannot create a folder for the spool file: Not a directory\n"},
        {cli({"convert", dir.file("in.png"), dir.file("link.bmp")}), 3, "orvik: \"" + dir.file("link.bmp") + "\" already exists\n"},
        {cli({"print", "--to", "file:" + dir.file("link.bmp"), "--text", "x"}), 3,
         "orvik: " + dir.file("link.bmp") + " already exists; a job is saved to a new file only\n"},
        {cli({"print", "--to", "ble://Kitchen", "--timeout", "0.2", "--text", "x"}, true), 4,
         "orvik: no Bluetooth LE printer named \"Kitchen\" found within 0.2 s\n"},
        {cli({"send", "--to", "lpt://1", dir.file("missing.bin")}), 2,
         "orvik: unknown link kind \"lpt\" in \"lpt://1\": use tcp, wifi, ble, usb, serial or file\n"},
        {cli({"print", "--to", closed, "--image", dir.file("missing.png")}), 3,
         "orvik: cannot read \"" + dir.file("missing.png") + "\": No such file or directory\n"},
        {cli({"convert", dir.file("junk.png"), dir.file("keep.bmp")}), 3,
         "orvik: cannot convert \"" + dir.file("junk.png") + "\": not a PNG, JPEG, GIF or BMP picture (unknown image type)\n"},
        {cli({"print", "--to", closed, "--spool", "--text", "x"}), 2,
         "orvik: --spool sends the job over Bluetooth LE: use a ble:// printer\n"},
        {cli({"print", "--to", closed, "--password-file", dir.file("junk.png"), "--text", "x"}), 2,
         "orvik: a Wi-Fi password is only for wifi:// printers\n"},
        {cli({"preview", dir.file("empty.bin"), dir.file("out.png")}), 3, "orvik: the job prints nothing\n"},
        {cli({"print", "--to", closed, "--qr-ecc", "H", "--qr", std::string(1300, 'x')}), 2,
         "orvik: --qr: QR code data of 1300 bytes does not fit a symbol at this level\n"},
        {cli({"print", "--to", closed, "--qr", "x", "--qr-raster"}), 2,
         "orvik: --qr-size, --qr-ecc and --qr-raster must come before the --qr they apply to\n"},
        {cli({"convert", "in.png", "out.bmp", "--width", "0"}), 2, "orvik: --width must be a whole number from 1 to 4096, not 0\n"},
        {cli({"convert", "in.png", "out.bmp", "--dither", "foo"}), 2,
         "orvik: --dither must be one of floyd-steinberg, atkinson, threshold, not foo\n"},
        {cli({"preview", "a", "b", "--paper", "70"}), 2, "orvik: --paper must be one of 58, 80, not 70\n"},
        {cli({"send", "--to", closed, "--timeout", "-1", "x"}), 2,
         "orvik: --timeout must be a number of seconds above 0 and at most 86400, not -1\n"},
        {cli({"print", "--text", "x"}), 2, "orvik: --to is required\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        const Outcome run = c.run();
        EXPECT_EQ(run.code, c.code);
        EXPECT_EQ(withoutCount(run.output), c.message);
    }
    ::close(deaf);
    EXPECT_EQ(Testing::readFile(dir.file("keep.bmp")), text("old"));
    EXPECT_FALSE(std::filesystem::exists(dir.file("received/receipt-0001.png")));
}

TEST(CliEndToEndTest, BluetoothJobsLiveAndSpooledPrintTheSameReceipt) {
    TempDir dir;
    std::vector<std::string> print = {"--virtual-printer", dir.path().string(), "print", "--to", "ble://Orvik Virtual Printer", "--mtu",
                                      "20", "--align", "center", "--text", "Bluetooth", "--barcode", "BT-42", "--feed", "30", "--cut"};
    const Outcome live = orvik(print);
    print.push_back("--spool");
    const Outcome spooled = orvik(print);
    ASSERT_EQ(live.code, 0) << live.output;
    ASSERT_EQ(spooled.code, 0) << spooled.output;
    EXPECT_EQ(live.output, "virtual printer: " + dir.file("receipt-0001.png") + "\n");
    EXPECT_EQ(spooled.output, "virtual printer: " + dir.file("receipt-0002.png") + "\n");
    EXPECT_EQ(Testing::readFile(dir.file("receipt-0001.png")), Testing::readFile(dir.file("receipt-0002.png")));
    const Data dump = Testing::readFile(dir.file("receipt-0002.txt"));
    const std::string dumped(dump.begin(), dump.end());
    EXPECT_TRUE(dumped.starts_with("00000000 compressed job of ")) << dumped;

    const Outcome scan = orvik({"--virtual-printer", dir.path().string(), "scan", "--timeout", "0.2"});
    EXPECT_EQ(scan.code, 0);
    EXPECT_EQ(scan.output, "NAME                   ADDRESS            RSSI\nOrvik Virtual Printer  5A:00:00:00:00:00  -50\n");
}

TEST(CliEndToEndTest, WifiJoinsThenPrintsOverTcpWithoutShowingThePassword) {
    TempDir dir;
    Testing::writeFile(dir.file("password"), text("s3cret-phrase\nignored"));
    for (const bool fromStdin : {false, true}) {
        SCOPED_TRACE(fromStdin);
        Loopback::Receiver server;
        std::vector<std::string> args = {"30", ORVIK_CLI_PATH, "-v", "--virtual-printer", dir.path().string(), "print", "--to",
                                         "wifi://Cafe%20AP?host=127.0.0.1&port=" + std::to_string(server.port()), "--text", "hi"};
        if (fromStdin) args.push_back("--password-stdin");
        else args.insert(args.end(), {"--password-file", dir.file("password")});
        // Standard input stays open until the run ends: the password's line must be enough.
        int input[2];
        ASSERT_EQ(::pipe(input), 0);
        ASSERT_EQ(::write(input[1], "s3cret-phrase\n", 14), 14);
        const Outcome run = Testing::run("timeout", args, "/dev/fd/" + std::to_string(input[0]));
        ::close(input[0]);
        ::close(input[1]);
        EXPECT_EQ(run.code, 0) << run.output;
        EXPECT_NE(run.output.find("WiFi AP Connect : Success"), std::string::npos) << run.output;
        EXPECT_EQ(run.output.find("s3cret"), std::string::npos) << run.output;
        EXPECT_EQ(server.received(), bytes({0x1b, '@'}) + text("hi\r\n"));
    }
}

TEST(CliEndToEndTest, PreviewAndPrinterRenderEveryReceipt) {
    TempDir dir;
    Testing::writeFile(dir.file("job.bin"), bytes({0x1b, '@'}) + text("first\r\n") + bytes({0x1b, 'm'}) + text("second\r\n"));
    const Outcome preview = orvik({"preview", dir.file("job.bin"), dir.file("out.png"), "--paper", "80"});
    EXPECT_EQ(preview.code, 0) << preview.output;
    EXPECT_EQ(preview.output, dir.file("out.png") + "\n" + dir.file("out-2.png") + "\n");
    const Data wide = Testing::readFile(dir.file("out-2.png"));
    EXPECT_EQ(wide.at(18) << 8 | wide.at(19), 576);  // the width in the PNG header

    RunningPrinter printer({"--out", dir.file("received")});
    EXPECT_EQ(orvik({"send", "--to", printer.address, dir.file("job.bin")}).code, 0);
    EXPECT_TRUE(printer.line().ends_with(": " + dir.file("received/receipt-0001.png")));
    EXPECT_TRUE(printer.line().ends_with(": " + dir.file("received/receipt-0002.png")));
    // The same renderer behind both: what the printer printed is what preview showed, at 58 mm here.
    EXPECT_EQ(orvik({"preview", dir.file("job.bin"), dir.file("narrow.png")}).code, 0);
    EXPECT_EQ(Testing::readFile(dir.file("narrow.png")), Testing::readFile(dir.file("received/receipt-0001.png")));
}

}  // namespace
}  // namespace OrvikFramework::Cli
