#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>

#include "PrintJob.h"
#include "support/Bytes.h"
#include "support/ImageFiles.h"
#include "support/LoopbackServer.h"
#include "support/TempDir.h"

namespace OrvikFramework::Cli {
namespace {

using Testing::LoopbackServer;
using Testing::TempDir;
using Testing::bytes;
using Testing::text;
using Testing::operator+;

struct Outcome {
    int code = -1;
    std::string output;  // standard output and error together
};

std::string shellQuoted(const std::string& arg) {
    std::string quoted = "'";
    for (const char c : arg) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

Outcome orvik(const std::vector<std::string>& args) {
    std::string command = shellQuoted(ORVIK_CLI_PATH);
    for (const auto& arg : args) command += " " + shellQuoted(arg);
    Outcome outcome;
    std::FILE* pipe = ::popen((command + " 2>&1 </dev/null").c_str(), "r");
    if (!pipe) return outcome;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) outcome.output.append(buffer, n);
    const int status = ::pclose(pipe);
    outcome.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return outcome;
}

std::string tcp(const LoopbackServer& server) { return "tcp://127.0.0.1:" + std::to_string(server.port()); }

// What `print --image` must send for a picture: the converted dots in raster bands of at most 128 rows.
Data rasterBands(const ImageConvert::BitImage& bits) {
    Data out;
    const auto rowBytes = static_cast<std::uint8_t>(bits.rowBytes());
    for (int top = 0; top < bits.height; top += 128) {
        const int rows = std::min(128, bits.height - top);
        out = out + bytes({0x1d, 'v', '0', 0, rowBytes, 0, static_cast<std::uint8_t>(rows), 0});
        out.insert(out.end(), bits.rows.begin() + top * rowBytes, bits.rows.begin() + (top + rows) * rowBytes);
    }
    return out;
}

TEST(CliEndToEndTest, PrintsTextAndBarcodeOptionsAsExactBytes) {
    LoopbackServer server;
    const Outcome run = orvik({"print", "--to", tcp(server), "--align", "center", "--bold", "--double-width", "--text",
                               "ORVIK CAFE", "--underline", "--text", "Espresso  2.80", "--font-b", "--double-height",
                               "--text", "Danke", "--hri", "none", "--barcode", "ORVIK42", "--feed", "40", "--cut"});
    EXPECT_EQ(run.code, 0) << run.output;
    EXPECT_EQ(run.output, "");
    EXPECT_EQ(server.received(), bytes({0x1b, '@', 0x1b, 'a', '1', 0x1b, '!', 0x28}) + text("ORVIK CAFE\r\n") +
                                     bytes({0x1b, 'a', '0', 0x1b, '!', 0x80}) + text("Espresso  2.80\r\n") +
                                     bytes({0x1b, '!', 0x11}) + text("Danke\r\n") +
                                     bytes({0x1d, 'H', 0, 0x1d, 'h', 80, 0x1d, 'w', 2, 0x1d, 'k', 4}) + text("ORVIK42") +
                                     bytes({0, '\r', '\n', 0x1b, 'J', 40, 0x1b, 'm'}));
}

TEST(CliEndToEndTest, PrintsPicturesFromPngAndBmpInBands) {
    TempDir dir;
    // 300 rows at 384 dots: three bands (128, 128, 44 rows) after scaling from 200 x 156.
    const auto grey = Testing::greyImage(200, 156, [](int x, int y) { return (x * 3 + y * 5) % 256; });
    Testing::writeFile(dir.file("logo.png"), Testing::encodePng(grey));
    // A BMP as `convert` writes it, so it is already at width and in dots.
    Testing::writeFile(dir.file("logo.bmp"), ImageConvert::encodeBmp(loadBitImage(dir.file("logo.png"), ImageSettings{})));
    const ImageConvert::BitImage expected = loadBitImage(dir.file("logo.png"), ImageSettings{});
    ASSERT_EQ(expected.height, 300);
    for (const char* name : {"logo.png", "logo.bmp"}) {
        SCOPED_TRACE(name);
        LoopbackServer server;
        const Outcome run = orvik({"print", "--to", tcp(server), "--align", "center", "--image", dir.file(name), "--cut"});
        EXPECT_EQ(run.code, 0) << run.output;
        EXPECT_EQ(server.received(), bytes({0x1b, '@', 0x1b, 'a', '1'}) + rasterBands(expected) + bytes({0x1b, 'm'}));
    }
}

TEST(CliEndToEndTest, SendsAFileUnchangedWithoutProgressWhenNotATerminal) {
    TempDir dir;
    Data job(300 * 1024);
    for (std::size_t i = 0; i < job.size(); ++i) job[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    Testing::writeFile(dir.file("job.bin"), job);
    LoopbackServer server;
    const Outcome run = orvik({"send", "--to", tcp(server), dir.file("job.bin")});
    EXPECT_EQ(run.code, 0) << run.output;
    EXPECT_EQ(run.output, "");
    EXPECT_EQ(server.received(), job);
}

TEST(CliEndToEndTest, ConvertWritesOneBitBmpAtWidth) {
    TempDir dir;
    Testing::writeFile(dir.file("in.png"), Testing::encodePng(Testing::greyImage(100, 40, [](int x, int) { return x * 2; })));
    const Outcome run = orvik({"convert", dir.file("in.png"), dir.file("out.bmp"), "--width", "576", "--dither", "atkinson"});
    EXPECT_EQ(run.code, 0) << run.output;
    const Data bmp = Testing::readFile(dir.file("out.bmp"));
    ASSERT_GT(bmp.size(), 62u);
    EXPECT_EQ(bmp[18] | bmp[19] << 8, 576);
    EXPECT_EQ(bmp[22] | bmp[23] << 8, 230);
    EXPECT_EQ(bmp.size(), 62u + 230 * 72);
    EXPECT_FALSE(std::filesystem::exists(dir.file("out.bmp.part")));
}

TEST(CliEndToEndTest, FailuresHaveTheirExitCodeAndMessage) {
    TempDir dir;
    Testing::writeFile(dir.file("junk.png"), text("not a picture"));
    Testing::writeFile(dir.file("keep.bmp"), text("old"));
    const std::string closed = "tcp://127.0.0.1:" + std::to_string(Testing::closedLoopbackPort());
    struct Case {
        std::vector<std::string> args;
        int code;
        std::string message;
    };
    const Case cases[] = {
        {{"print", "--to", closed, "--text", "x"}, 4, "orvik: cannot reach printer at " + closed + ": Connection refused\n"},
        {{"send", "--to", closed, dir.file("junk.png")}, 4, "orvik: cannot reach printer at " + closed + ": Connection refused\n"},
        {{"print", "--to", "tcp://127.0.0.1", "--text", "x"}, 2,
         "orvik: missing port in \"tcp://127.0.0.1\": expected tcp://HOST:PORT\n"},
        {{"send", "--to", "usb://1", dir.file("missing.bin")}, 2,
         "orvik: unknown link kind \"usb\" in \"usb://1\": use tcp, wifi or ble\n"},
        {{"print", "--to", closed, "--image", dir.file("missing.png")}, 3,
         "orvik: cannot read \"" + dir.file("missing.png") + "\": No such file or directory\n"},
        {{"send", "--to", closed, dir.file("missing.bin")}, 3,
         "orvik: cannot read \"" + dir.file("missing.bin") + "\": No such file or directory\n"},
        {{"convert", dir.file("junk.png"), dir.file("keep.bmp")}, 3,
         "orvik: cannot convert \"" + dir.file("junk.png") + "\": not a PNG, JPEG, GIF or BMP picture (unknown image type)\n"},
        {{"print", "--to", "wifi://Cafe?host=192.168.4.1&port=9100", "--text", "x"}, 6,
         "orvik: wifi:// links are not available in this build\n"},
        {{"print", "--to", "ble://Kitchen", "--text", "x"}, 6, "orvik: ble:// links are not available in this build\n"},
        {{"print", "--to", closed, "--spool", "--text", "x"}, 6, "orvik: --spool is not available in this build\n"},
        {{"scan"}, 6, "orvik: \"scan\" is not available in this build\n"},
        {{"preview", "job.bin", "out.png"}, 6, "orvik: \"preview\" is not available in this build\n"},
        {{"printer", "--port", "9100"}, 6, "orvik: \"printer\" is not available in this build\n"},
        {{"print", "--to", closed, "--feed", "x1"}, 2, "orvik: --feed must be a number from 0 to 255, not \"x1\"\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        const Outcome run = orvik(c.args);
        EXPECT_EQ(run.code, c.code);
        EXPECT_EQ(run.output, c.message);
    }
    EXPECT_EQ(Testing::readFile(dir.file("keep.bmp")), text("old"));
}

TEST(CliEndToEndTest, ParserErrorsAreUsageErrorsAndEveryCommandHasHelp) {
    for (const char* command : {"scan", "print", "send", "convert", "preview", "printer"}) {
        SCOPED_TRACE(command);
        const Outcome help = orvik({command, "--help"});
        EXPECT_EQ(help.code, 0);
        EXPECT_NE(help.output.find("Exit codes:"), std::string::npos) << help.output;
    }
    for (const auto& args : std::vector<std::vector<std::string>>{{},
                                                                  {"print", "--text", "x"},
                                                                  {"convert", "in.png", "out.bmp", "--width", "5000"},
                                                                  {"convert", "in.png", "out.bmp", "--dither", "random"},
                                                                  {"preview", "a", "b", "--paper", "70"}})
        EXPECT_EQ(orvik(args).code, 2) << args.size();
}

TEST(CliEndToEndTest, ALinkThatBreaksOffFailsTheJob) {
    TempDir dir;
    Testing::writeFile(dir.file("big.bin"), Data(64 * 1024 * 1024, 'x'));
    LoopbackServer server(LoopbackServer::Options{.resetAfter = 256 * 1024});
    const Outcome run = orvik({"send", "--to", tcp(server), dir.file("big.bin")});
    EXPECT_EQ(run.code, 5);
    EXPECT_TRUE(run.output.starts_with("orvik: link to " + tcp(server) + " broke off after ")) << run.output;
}

}  // namespace
}  // namespace OrvikFramework::Cli
