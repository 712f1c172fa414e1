// The CUPS backend and raster filter: standalone, through cupsfilter, and under a private scheduler, each printing
// on the virtual printer served by this process.
#ifdef ORVIK_CUPS_BACKEND_PATH

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <tuple>

#include <orvik/RunLoop.h>
#include <orvik/vprinter/Server.h>

#include "support/ImageFiles.h"
#include "support/LogCapture.h"
#include "examples/LoopbackReceiver.h"
#include "support/OrvikCli.h"
#include "support/Receipts.h"
#include "support/TempDir.h"

namespace OrvikFramework {
namespace {

using namespace std::chrono_literals;
using ::testing::HasSubstr;
using Testing::shellQuoted;
namespace fs = std::filesystem;

const std::string backend = ORVIK_CUPS_BACKEND_PATH;
const std::string ppd58 = std::string(ORVIK_CUPS_PPD_DIR) + "/orvik-58mm.ppd";
const std::string ppd80 = std::string(ORVIK_CUPS_PPD_DIR) + "/orvik-80mm.ppd";

void writeText(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

bool hasDots(const VirtualPrinter::Receipt& receipt) {
    return std::any_of(receipt.pixels.begin(), receipt.pixels.end(), [](std::uint8_t p) { return p < 128; });
}

// The system's CUPS programs with ours beside them, as a ServerBin the scheduler and cupsfilter can be pointed at;
// readable by the unprivileged user the scheduler runs them as.
void makeServerBin(const fs::path& bin) {
    EXPECT_EQ(Testing::run("cp", {"-rs", "/usr/lib/cups", bin.string()}).code, 0);  // a tree of symlinks
    fs::create_symlink(ORVIK_CUPS_BACKEND_PATH, bin / "backend/orvik");
    fs::create_symlink(ORVIK_CUPS_FILTER_PATH, bin / "filter/rastertoorvik");
}

TEST(CupsBackendTest, SendsTheJobAndTellsTheSchedulerWhatBecameOfIt) {
    Testing::LogCapture quiet;
    Testing::TempDir dir;
    const std::string job = dir.file("job.bin");
    writeText(job, "\x1b@Hello\n");
    VirtualPrinter::Server server;
    ASSERT_TRUE(server.start());
    const std::string printer = "orvik:tcp://127.0.0.1:" + std::to_string(server.port());
    // The device URI, the printer's state, whether the URI comes as argv[0], the exit code (CUPS_BACKEND_*), lines shown
    // and receipts printed.
    const std::tuple<std::string, VirtualPrinter::PrinterState, bool, int, std::vector<std::string>, std::uint64_t> cases[] = {
        {printer, {}, false, 0, {"STATE: -connecting-to-device", "INFO: sent 8 of 8 bytes", "STATE: -media-empty-error"}, 1},
        {printer, {}, true, 0, {"INFO: sent 8 of 8 bytes"}, 1},
        {printer, {.paperEnd = true}, false, 6, {"STATE: +media-empty-error", "cannot print now"}, 0},
        {printer, {.coverOpen = true}, false, 6, {"STATE: +cover-open-error"}, 0},
        {printer, {.answers = false}, false, 0, {"no status from the printer", "INFO: sent 8 of 8 bytes"}, 1},
        {"orvik:tcp://127.0.0.1:" + std::to_string(Loopback::closedPort()), {}, false, 6, {"cannot reach the printer"}, 0},
        {"orvik:tcp://127.0.0.1:99999", {}, false, 4, {"bad port"}, 0},
        {"orvik:usb:///nonexistent/lp0", {}, false, 6, {"cannot reach the printer"}, 0},
        {"socket://127.0.0.1:9100", {}, false, 4, {"must be orvik:"}, 0},
    };
    for (const auto& [uri, state, uriInArgv0, code, shown, printed] : cases) {
        SCOPED_TRACE(uri);
        server.printerState() = state;
        const std::uint64_t before = server.printedCount();
        const std::string command = uriInArgv0 ? "bash -c 'exec -a \"$0\" \"$@\"' " + shellQuoted(uri) + " " + shellQuoted(backend)
                                               : "DEVICE_URI=" + shellQuoted(uri) + " " + shellQuoted(backend);
        const Testing::Outcome run = Testing::runServing(command + " 7 user title 1 '' <" + shellQuoted(job));
        EXPECT_EQ(run.code, code) << run.output;
        for (const std::string& line : shown) EXPECT_THAT(run.output, HasSubstr(line));
        RunLoop::main().runUntil([&] { return server.printedCount() >= before + printed; }, 5s);
        EXPECT_EQ(server.printedCount() - before, printed);
    }
    EXPECT_EQ(Testing::run(backend, {}).code, 0);
}

TEST(CupsFilterTest, PrintsPicturesAndDocumentsAtThePaperWidthThroughCupsfilter) {
    Testing::TempDir dir;
    makeServerBin(dir.path() / "bin");
    writeText(dir.file("cups-files.conf"), "ServerBin " + (dir.path() / "bin").string() + "\n");
    Testing::writeFile(dir.file("bar.png"), Testing::encodePng(Testing::greyImage(100, 200, [](int, int y) { return y < 100 ? 0 : 255; })));
    writeText(dir.file("two-pages.txt"), "First page\n\fSecond page\n");
    // The input, the PPD, the options, the paper's width in dots and the receipts it makes.
    const std::tuple<std::string, std::string, std::string, std::uint32_t, std::size_t> cases[] = {
        {"bar.png", ppd80, "fit-to-page", 576, 1},
        {"bar.png", ppd58, "fit-to-page", 384, 1},
        {"bar.png", ppd58, "fit-to-page -o ColorModel=Black", 384, 1},
        {"two-pages.txt", ppd80, "CutMedia=Page", 576, 2},
        {"two-pages.txt", ppd80, "CutMedia=Job -o OrvikDither=Atkinson", 576, 1},
    };
    for (const auto& [input, ppd, options, dots, count] : cases) {
        SCOPED_TRACE(input + " " + options);
        const std::string command = "cupsfilter -c " + shellQuoted(dir.file("cups-files.conf")) + " -p " + shellQuoted(ppd) +
                                    " -e -m printer/orvik-escpos -o " + options + " " + shellQuoted(dir.file(input));
        const Testing::Outcome run = Testing::run("sh", {"-c", command + " >" + shellQuoted(dir.file("out.bin"))});
        ASSERT_EQ(run.code, 0) << run.output;
        const auto receipts = Testing::printed(Testing::readFile(dir.file("out.bin")), {.paperDots = dots});
        ASSERT_EQ(receipts.size(), count);
        for (const auto& receipt : receipts) {
            EXPECT_TRUE(hasDots(receipt));
            EXPECT_THAT(receipt.warnings, ::testing::IsEmpty());
        }
        // A picture fitted to the page spans the printable line.
        if (input == "bar.png") {
            EXPECT_TRUE(receipts.front().black(2, 10) && receipts.front().black(dots - 3, 10));
        }
    }
}

// A scheduler of its own in a temporary directory, listening on a free loopback port; stopped with the test.
class PrivateCupsd {
public:
    explicit PrivateCupsd(const fs::path& root) : root_(root), port_(Loopback::closedPort()) {
        for (const char* sub : {"conf/ppd", "state", "cache", "spool/tmp", "log"}) fs::create_directories(root / sub);
        // The scheduler's user must reach the programs and files inside.
        fs::permissions(root, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec | fs::perms::others_read |
                                  fs::perms::others_exec);
        makeServerBin(root / "bin");
        const std::string r = root.string();
        writeText(r + "/conf/cups-files.conf",
                  "ServerRoot " + r + "/conf\nStateDir " + r + "/state\nCacheDir " + r + "/cache\nRequestRoot " + r +
                      "/spool\nTempDir " + r + "/spool/tmp\nServerBin " + r + "/bin\nErrorLog " + r +
                      "/log/error_log\nAccessLog " + r + "/log/access_log\nPageLog " + r + "/log/page_log"
                      "\nUser lp\nGroup lp\nSystemGroup root\n");
        writeText(r + "/conf/cupsd.conf", "Listen 127.0.0.1:" + std::to_string(port_) +
                                              "\nBrowsing No\nWebInterface No\nLogLevel debug\nJobRetryInterval 1\n"
                                              "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
                                              "<Policy default>\n  <Limit All>\n    Order deny,allow\n  </Limit>\n</Policy>\n");
        pid_ = ::fork();
        if (pid_ == 0) {
            ::freopen((r + "/log/cupsd.out").c_str(), "w", stderr);
            // The time limit ends it even if this test process dies first.
            ::execlp("timeout", "timeout", "300", "cupsd", "-f", "-c", (r + "/conf/cupsd.conf").c_str(), "-s",
                     (r + "/conf/cups-files.conf").c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        for (int tries = 0; tries < 100 && !ready(); ++tries) ::usleep(100000);
    }
    ~PrivateCupsd() {
        if (pid_ > 0) ::kill(pid_, SIGTERM);
        if (pid_ > 0) ::waitpid(pid_, nullptr, 0);
    }
    bool ready() const {
        const int fd = Loopback::connect(port_);
        if (fd >= 0) ::close(fd);
        return fd >= 0;
    }
    std::string server() const { return "127.0.0.1:" + std::to_string(port_); }
    std::string log() const {
        return Testing::run("tail", {"-n", "30", (root_ / "log/error_log").string(), (root_ / "log/cupsd.out").string()}).output;
    }

private:
    fs::path root_;
    int port_;
    pid_t pid_ = -1;
};

TEST(CupsSchedulerTest, PrintsTextAndPdfOnAReceiptQueueAndThroughItsIppShare) {
    Testing::LogCapture quiet;
    Testing::TempDir dir;
    PrivateCupsd cupsd(dir.path());
    if (!cupsd.ready()) GTEST_SKIP() << "the private cupsd did not start:\n" << cupsd.log();
    VirtualPrinter::Server printer;
    ASSERT_TRUE(printer.start());
    writeText(dir.file("note.txt"), "Table 4\nTwo coffees\n");
    const std::string h = " -h " + cupsd.server();
    const std::string steps[] = {
        "cupsfilter " + shellQuoted(dir.file("note.txt")) + " >" + shellQuoted(dir.file("note.pdf")),
        "lpadmin" + h + " -p receipt -E -v orvik:tcp://127.0.0.1:" + std::to_string(printer.port()) + " -P " + shellQuoted(ppd80),
        // Another machine shares the queue the standard way: an IPP queue pointing at this one.
        "lpadmin" + h + " -p shared -E -v ipp://" + cupsd.server() + "/printers/receipt",
        "lp" + h + " -d receipt " + shellQuoted(dir.file("note.txt")),
        "lp" + h + " -d receipt " + shellQuoted(dir.file("note.pdf")),
        "lp" + h + " -d shared " + shellQuoted(dir.file("note.txt")),
    };
    for (const std::string& step : steps) {
        const Testing::Outcome run = Testing::runServing(step + " </dev/null");
        ASSERT_EQ(run.code, 0) << step << "\n" << run.output << cupsd.log();
    }
    RunLoop::main().runUntil([&] { return printer.printedCount() >= 3; }, 90s);
    ASSERT_EQ(printer.printedCount(), 3u) << cupsd.log();
    for (const auto& receipt : printer.receipts()) EXPECT_TRUE(hasDots(receipt.receipt));
}

}  // namespace
}  // namespace OrvikFramework

#endif
