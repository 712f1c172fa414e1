// `orvik print --qr` run as a program, printing on the virtual printer; the receipt is read with a scanner.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>

#include "qr/QrReadBack.h"
#include "support/Bytes.h"
#include "support/TempDir.h"

namespace OrvikFramework {
namespace {

// Exit code and standard output and error of the tool; the arguments need no shell quoting.
std::pair<int, std::string> orvik(const std::string& args) {
    std::FILE* pipe = ::popen((std::string(ORVIK_CLI_PATH) + " " + args + " 2>&1 </dev/null").c_str(), "r");
    if (!pipe) return {-1, ""};
    std::string output;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, n);
    const int status = ::pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

TEST(QrCliTest, NativeAndRasterCodesPrintInCommandLineOrderWithTheirOwnSettings) {
    Testing::TempDir dir;
    const std::string print = "--virtual-printer " + dir.path().string() + " print --to 'ble://Orvik Virtual Printer' ";
    const auto [code, output] = orvik(print + "--qr-ecc H --qr-size 4 --qr FIRST-native --align center --qr-raster "
                                              "--qr-ecc Q --qr SECOND-raster --qr THIRD-default --cut");
    ASSERT_EQ(code, 0) << output;
    const auto found = Testing::readQrCodes(Testing::readFile(dir.file("receipt-0001.png")));
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(found[0].text, "FIRST-native");
    EXPECT_EQ(found[0].level, "H");
    EXPECT_EQ(found[1].text, "SECOND-raster");
    EXPECT_EQ(found[1].level, "Q");
    // Settings apply to one code only: the third is native again, at level M.
    EXPECT_EQ(found[2].level, "M");
    const Data dump = Testing::readFile(dir.file("receipt-0001.txt"));
    const std::string dumped(dump.begin(), dump.end());
    EXPECT_NE(dumped.find("GS ( k QR store \"THIRD-default\""), std::string::npos) << dumped;

    for (const std::string wrong : {"--qr-size 17 --qr X", "--qr-ecc X --qr X", "--qr X --qr-raster", "--qr ''"}) {
        const auto [failed, message] = orvik(print + wrong);
        EXPECT_EQ(failed, 2) << wrong << ": " << message;
    }
}

}  // namespace
}  // namespace OrvikFramework
