#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <regex>
#include <tuple>

#include "Link.h"
#include "support/Bytes.h"
#include "support/ImageFiles.h"
#include "examples/LoopbackReceiver.h"
#include "support/OrvikCli.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

namespace OrvikFramework::Cli {
namespace {

using namespace Testing;

std::string tcp(int port) { return "tcp://127.0.0.1:" + std::to_string(port); }

// `orvik printer` on a free port, its output read line by line; stopped when the test ends, and after 30 s in any
// case, so a missing line fails the test instead of hanging it.
class RunningPrinter {
public:
    explicit RunningPrinter(const std::vector<std::string>& flags) {
        // The shell's process id is that of `timeout` once it has replaced itself.
        std::string command = "echo $$; exec timeout 30 " + shellQuoted(ORVIK_CLI_PATH) + " printer --port 0";
        for (const auto& flag : flags) command += " " + shellQuoted(flag);
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

TEST(CliEndToEndTest, PrintSavesItemsInTheOrderGivenAndSendSendsAFileUnchangedWithoutProgressWhenNotATerminal) {
    TempDir dir;
    const Outcome printed = orvik({"print", "--to", "file:" + dir.file("saved.bin"), "--align", "center", "--bold", "--double-width",
                                   "--text", "ORVIK CAFE", "--underline", "--text", "Espresso  2.80", "--font-b", "--double-height",
                                   "--text", "Danke", "--hri", "none", "--barcode", "ORVIK42", "--qr-ecc", "H", "--qr-size", "4",
                                   "--qr-raster", "--qr", "https://orvik.example", "--qr", "second", "--feed", "40", "--cut"});
    EXPECT_EQ(printed.code, 0);
    EXPECT_EQ(printed.output, "");
    // Centred still: the alignment stays until changed.
    const Data qrCodes = buildJob([](Orvik& sdk) {
        sdk.PrintQRCodeImage("https://orvik.example", 4, QRErrorCorrection::H);
        sdk.PrintQRCode("second", 6, QRErrorCorrection::M);
    });
    EXPECT_EQ(readFile(dir.file("saved.bin")),
              bytes({0x1b, '@', 0x1b, 'a', '1', 0x1b, '!', 0x28}) + text("ORVIK CAFE\r\n") + bytes({0x1b, '!', 0xa8}) +
                  text("Espresso  2.80\r\n") + bytes({0x1b, '!', 0xb9}) + text("Danke\r\n") +
                  bytes({0x1d, 'H', 0, 0x1d, 'h', 80, 0x1d, 'w', 2, 0x1d, 'k', 4}) + text("ORVIK42") + bytes({0, '\r', '\n'}) +
                  qrCodes + bytes({0x1b, 'J', 40, 0x1b, 'm'}));

    Data job(300 * 1024);
    for (std::size_t i = 0; i < job.size(); ++i) job[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    writeFile(dir.file("job.bin"), job);
    Loopback::Receiver server;
    const Outcome sent = orvik({"send", "--to", tcp(server.port()), dir.file("job.bin")});
    EXPECT_EQ(sent.code, 0);
    EXPECT_EQ(sent.output, "");
    EXPECT_EQ(server.received(), job);
}

TEST(CliEndToEndTest, ThePrinterPrintsPicturesAlikeFromEitherFormatInEveryModeAndJobsAsPreviewShowsThem) {
    TempDir dir;
    // 200 x 150 becomes 384 x 288 dots: three raster bands of at most 128 rows, twelve column bands of 24.
    const Data png = encodePng(greyImage(200, 150, [](int x, int y) { return (x * 3 + y * 5) % 256; }));
    writeFile(dir.file("logo.png"), png);
    const Outcome wide = orvik({"convert", dir.file("logo.png"), dir.file("logo.bmp"), "--width", "576", "--dither", "atkinson"});
    EXPECT_EQ(wide.code, 0) << wide.output;
    EXPECT_EQ(readFile(dir.file("logo.bmp")).size(), 62u + 432 * 72);  // 576 x 432 dots, 72 bytes a row
    ASSERT_EQ(orvik({"convert", dir.file("logo.png"), dir.file("logo.bmp"), "--replace"}).code, 0);
    writeFile(dir.file("job.bin"), bytes({0x1b, '@'}) + text("first\r\n") + bytes({0x1b, 'm'}) + text("second\r\n"));
    const Outcome preview = orvik({"preview", dir.file("job.bin"), dir.file("out.png"), "--paper", "80"});
    EXPECT_EQ(preview.code, 0) << preview.output;
    EXPECT_EQ(preview.output, dir.file("out.png") + "\n" + dir.file("out-2.png") + "\n");
    const Data wider = readFile(dir.file("out-2.png"));
    EXPECT_EQ(wider.at(18) << 8 | wider.at(19), 576);  // the width in the PNG header

    RunningPrinter printer({"--out", dir.file("received")});
    const std::pair<const char*, const char*> cases[] = {
        {"logo.png", "raster"}, {"logo.bmp", "raster"}, {"logo.png", "graphics"}, {"logo.png", "column"}};
    for (const auto& [file, mode] : cases) {
        SCOPED_TRACE(std::string(file) + " " + mode);
        const Outcome run = orvik({"print", "--to", printer.address, "--align", "center", "--image-mode", mode, "--image", dir.file(file), "--cut"});
        EXPECT_EQ(run.code, 0) << run.output;
        const std::string receipt = printer.line();
        EXPECT_EQ(readFile(receipt.substr(receipt.rfind(": ") + 2)), readFile(dir.file("received/receipt-0001.png")));
    }
    EXPECT_EQ(orvik({"send", "--to", printer.address, dir.file("job.bin")}).code, 0);
    EXPECT_TRUE(printer.line().ends_with(": " + dir.file("received/receipt-0005.png")));
    EXPECT_TRUE(printer.line().ends_with(": " + dir.file("received/receipt-0006.png")));
    // The same renderer behind both: what the printer printed is what preview showed, at 58 mm here.
    EXPECT_EQ(orvik({"preview", dir.file("job.bin"), dir.file("narrow.png")}).code, 0);
    EXPECT_EQ(readFile(dir.file("narrow.png")), readFile(dir.file("received/receipt-0005.png")));
}

TEST(CliEndToEndTest, FailuresHaveTheirExitCodeAndOneLine) {
    TempDir dir;
    writeFile(dir.file("junk.png"), text("not a picture"));
    writeFile(dir.file("keep.bmp"), text("old"));
    writeFile(dir.file("in.png"), encodePng(greyImage(8, 8, [](int, int) { return 0; })));
    writeFile(dir.file("empty.bin"), Data{});
    writeFile(dir.file("big.bin"), Data(16 * 1024 * 1024, 'x'));
    const int closedPort = Loopback::closedPort();
    const std::string closed = tcp(closedPort), virtualPrinter = dir.path().string();
    int deafPort = 0;
    const int deaf = Loopback::listen(deafPort);  // connections complete in the kernel; nothing is read
    RunningPrinter paperOut({"--paper-out", "--out", dir.file("received")});
    const ScopedEnv tmp("TMPDIR", dir.file("junk.png"));  // where only the spool folder is made
    const std::tuple<std::vector<std::string>, int, std::string> cases[] = {
        {{"print", "--to", closed, "--text", "x"}, 4, "orvik: cannot reach printer at " + closed + ": Connection refused\n"},
        {{"send", "--to", tcp(deafPort), "--timeout", "1", dir.file("big.bin")}, 5,
         "orvik: link to " + tcp(deafPort) + " broke off after N of 16777216 bytes: Timed out after 1000 ms waiting for the peer to read\n"},
        {{"print", "--check", "--to", paperOut.address, "--text", "x"}, 6,
         "orvik: printer at " + paperOut.address + " cannot print: off-line, paper out\n"},
        {{"--virtual-printer", virtualPrinter, "print", "--to",
          "wifi://Cafe?password=s3cret&host=127.0.0.1&port=" + std::to_string(closedPort), "--text", "x"},
         4, "orvik: cannot reach printer at wifi://Cafe?password=***&host=127.0.0.1&port=" + std::to_string(closedPort) +
                ": Connection refused\n"},
        {{"--virtual-printer", virtualPrinter, "print", "--to", "ble://Orvik Virtual Printer", "--spool", "--text", "x"}, 3,
         "orvik: cannot create a folder for the spool file: Not a directory\n"},
        {{"convert", dir.file("in.png"), dir.file("keep.bmp")}, 3, "orvik: \"" + dir.file("keep.bmp") + "\" already exists\n"},
        {{"print", "--to", "file:" + dir.file("keep.bmp"), "--text", "x"}, 3,
         "orvik: " + dir.file("keep.bmp") + " already exists; a job is saved to a new file only\n"},
        {{"--virtual-printer", virtualPrinter, "print", "--to", "ble://Kitchen", "--timeout", "0.2", "--text", "x"}, 4,
         "orvik: no Bluetooth LE printer named \"Kitchen\" found within 0.2 s\n"},
        {{"send", "--to", "lpt://1", dir.file("missing.bin")}, 2,
         "orvik: unknown link kind \"lpt\" in \"lpt://1\": use tcp, wifi, ble, usb, serial or file\n"},
        {{"print", "--to", closed, "--image", dir.file("missing.png")}, 3,
         "orvik: cannot read \"" + dir.file("missing.png") + "\": No such file or directory\n"},
        {{"convert", dir.file("junk.png"), dir.file("keep.bmp")}, 3,
         "orvik: cannot convert \"" + dir.file("junk.png") + "\": not a PNG, JPEG, GIF or BMP picture (unknown image type)\n"},
        {{"print", "--to", closed, "--spool", "--text", "x"}, 2, "orvik: --spool sends the job over Bluetooth LE: use a ble:// printer\n"},
        {{"print", "--to", closed, "--password-file", dir.file("junk.png"), "--text", "x"}, 2,
         "orvik: a Wi-Fi password is only for wifi:// printers\n"},
        {{"preview", dir.file("empty.bin"), dir.file("out.png")}, 3, "orvik: the job prints nothing\n"},
        {{"print", "--to", closed, "--qr", "x", "--qr-raster"}, 2,
         "orvik: --qr-size, --qr-ecc and --qr-raster must come before the --qr they apply to\n"},
        {{"convert", "in.png", "out.bmp", "--width", "0"}, 2, "orvik: --width must be a whole number from 1 to 4096, not 0\n"},
        {{"convert", "in.png", "out.bmp", "--dither", "foo"}, 2,
         "orvik: --dither must be one of floyd-steinberg, atkinson, threshold, not foo\n"},
        {{"send", "--to", closed, "--timeout", "-1", "x"}, 2,
         "orvik: --timeout must be a number of seconds above 0 and at most 86400, not -1\n"},
        {{"print", "--text", "x"}, 2, "orvik: --to is required\n"},
    };
    for (const auto& [args, code, message] : cases) {
        SCOPED_TRACE(message);
        const Outcome run = orvik(args);
        EXPECT_EQ(run.code, code);
        // How many bytes a broken link took varies from run to run.
        EXPECT_EQ(std::regex_replace(run.output, std::regex("after [0-9]+ of"), "after N of"), message);
    }
    ::close(deaf);
    EXPECT_EQ(readFile(dir.file("keep.bmp")), text("old"));
    EXPECT_FALSE(std::filesystem::exists(dir.file("received/receipt-0001.png")));
}

TEST(CliEndToEndTest, BluetoothJobsLiveAndSpooledPrintTheSameReceiptAndScanAndStatusFindThePrinter) {
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
    EXPECT_EQ(readFile(dir.file("receipt-0001.png")), readFile(dir.file("receipt-0002.png")));
    const Data dump = readFile(dir.file("receipt-0002.txt"));
    EXPECT_TRUE(std::string(dump.begin(), dump.end()).starts_with("00000000 compressed job of "));

    const Outcome scan = orvik({"--virtual-printer", dir.path().string(), "scan", "--timeout", "0.2"});
    EXPECT_EQ(scan.code, 0);
    EXPECT_EQ(scan.output, "NAME                   ADDRESS            RSSI\nOrvik Virtual Printer  5A:00:00:00:00:00  -50\n");
    const Outcome status = orvik({"--virtual-printer", dir.path().string(), "status", "--to", "ble://Orvik Virtual Printer"});
    EXPECT_EQ(status.code, 0);
    EXPECT_NE(status.output.find("status bytes 12 12 12 12"), std::string::npos) << status.output;
}

TEST(CliEndToEndTest, WifiJoinsThenPrintsOverTcpWithoutShowingThePassword) {
    TempDir dir;
    writeFile(dir.file("password"), text("s3cret-phrase\nignored"));
    for (const std::vector<std::string>& password : {std::vector<std::string>{"--password-file", dir.file("password")}, {"--password-stdin"}}) {
        SCOPED_TRACE(password.front());
        Loopback::Receiver server;
        std::vector<std::string> args = {"30", ORVIK_CLI_PATH, "-v", "--virtual-printer", dir.path().string(), "print", "--to",
                                         "wifi://Cafe%20AP?host=127.0.0.1&port=" + std::to_string(server.port()), "--text", "hi"};
        args.insert(args.end(), password.begin(), password.end());
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

}  // namespace
}  // namespace OrvikFramework::Cli
