// Spooling, the compressed job, sending whole files, and the file faults around them.
#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <functional>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <orvik/OrvikFramework.h>

#include "support/Documents.h"
#include "support/FileSizeLimit.h"
#include "support/Inflate.h"
#include "support/LogCapture.h"
#include "support/LoopbackServer.h"
#include "support/RecordingTcpSocket.h"
#include "support/ScopedEnv.h"
#include "support/SysCallFaults.h"

namespace OrvikFramework {
namespace {

using Testing::readFile;
using Testing::RecordingTcpSocket;
using Testing::writeFile;
using ::testing::ElementsAre;

constexpr const char* spoolName = "DefultZipFile_WiFi.bin";

// Keeps what reaches the Bluetooth write path.
class BluetoothSpy : public Orvik {
public:
    void BLESend(const Data& data) override { sent.push_back(data); }
    std::vector<Data> sent;
};

void mixedCommands(Orvik& sdk) {
    sdk.InitPrinter();
    sdk.TextAlignment(ALIGNMENT::CENTER);
    sdk.PrintMode(PRINT_MODE__EMPHASIZED_SELECTED);
    sdk.PrintText("Total 12.50");
    sdk.PrintBarcode(BARCODE_HRI_POS::BENEATH, 60, 2, "4711");
    sdk.PrintRasterBitImage(0, 1, 0, 2, 0, {0xF0, 0x0F});
    sdk.PrintNFeedPaper(40);
    sdk.SelectCutMode_N_CutPaper(66, 3);
}

class Spool : public ::testing::Test {
protected:
    Testing::ScopedDocuments documents;
    const std::string spoolPath = documents.file(spoolName);
    Testing::LogCapture log;
    BluetoothSpy sdk;
    std::shared_ptr<RecordingTcpSocket> device = std::make_shared<RecordingTcpSocket>();
};

TEST_F(Spool, OnOffStateTable) {
    struct Step {
        const char* event;
        std::function<void(Orvik&)> act;
        bool bZip;
        std::vector<std::string> lines;
        Data spool;
        std::size_t jobs;
    };
    const std::string missingLine = "Failed to remove file" + spoolPath + " :  No such file or directory";
    const std::vector<Step> steps = {
        {"off, switch off", [](Orvik& o) { o.Zip(false); }, false, {}, {}, 0},
        {"off, switch on", [](Orvik& o) { o.Zip(true); }, true, {missingLine}, {}, 0},
        {"on, command", [](Orvik& o) { o.InitPrinter(); }, true, {}, {0x1B, 0x40}, 0},
        {"on, switch on again", [](Orvik& o) { o.Zip(true); }, true, {}, {0x1B, 0x40}, 0},
        {"on, command", [](Orvik& o) { o.CutPaper(); }, true, {}, {0x1B, 0x40, 0x1B, 0x6D}, 0},
        {"on, switch off", [](Orvik& o) { o.Zip(false); }, false, {}, {0x1B, 0x40, 0x1B, 0x6D}, 1},
        {"off, switch off again", [](Orvik& o) { o.Zip(false); }, false, {}, {0x1B, 0x40, 0x1B, 0x6D}, 1},
        {"off, switch on removes the old job", [](Orvik& o) { o.Zip(true); }, true, {}, {}, 1},
    };
    for (const Step& step : steps) {
        log.clear();
        step.act(sdk);
        EXPECT_EQ(sdk.bZip, step.bZip) << step.event;
        EXPECT_EQ(log.lines(), step.lines) << step.event;
        EXPECT_EQ(readFile(spoolPath), step.spool) << step.event;
        EXPECT_EQ(sdk.sent.size(), step.jobs) << step.event;
        EXPECT_EQ(sdk.ZipFile, &step == &steps.front() ? "" : spoolPath) << step.event;
    }
    EXPECT_FALSE(std::filesystem::exists(spoolPath));
}

TEST_F(Spool, JobGoesToBluetoothCompressedWhateverTheLink) {
    const std::vector<std::optional<WIRELESSS_INTERFACE>> links = {
        std::nullopt, WIRELESSS_INTERFACE::BLUETOOTH, WIRELESSS_INTERFACE::WIFI, WIRELESSS_INTERFACE::SOCKET};
    for (const auto& link : links) {
        sdk.sent.clear();
        sdk.InterfaceType = link;
        sdk.TCPDevice = device;
        sdk.Zip(true);
        mixedCommands(sdk);
        sdk.Zip(false);
        ASSERT_EQ(sdk.sent.size(), 1u);
        EXPECT_EQ(Testing::gunzip(sdk.sent[0]), readFile(spoolPath));
        EXPECT_FALSE(sdk.bZip);
    }
    EXPECT_TRUE(device->pieces.empty());
}

TEST_F(Spool, SwitchingOffWithoutAJobSendsNothing) {
    sdk.Zip(true);
    log.clear();
    sdk.Zip(false);  // nothing was spooled, so there is no file
    EXPECT_THAT(log.lines(), ElementsAre("Orvik: cannot read the spool file " + spoolPath +
                                         ": No such file or directory (nothing sent)"));
    EXPECT_FALSE(sdk.bZip);
    sdk.Zip(true);
    writeFile(spoolPath, {});
    log.clear();
    sdk.Zip(false);  // an empty job compresses to nothing
    EXPECT_TRUE(log.lines().empty());
    EXPECT_TRUE(sdk.sent.empty());
    EXPECT_FALSE(sdk.bZip);
}

TEST_F(Spool, WithoutDocumentsDirectoryCommandsFailLoudlyAndNothingIsSent) {
    Documents::setDirectory(std::nullopt);
    Testing::ScopedEnv home("HOME", std::nullopt);
    Testing::ScopedEnv config("XDG_CONFIG_HOME", std::nullopt);
    sdk.ZipFile = "/stale/path";
    sdk.Zip(true);
    sdk.InitPrinter();
    sdk.Zip(false);
    EXPECT_THAT(log.lines(), ElementsAre("Orvik: no Documents directory; spooled commands cannot be stored",
                                         "Error creating file No such file or directory",
                                         "Orvik: cannot read the spool file : No such file or directory (nothing sent)"));
    EXPECT_EQ(sdk.ZipFile, "");
    EXPECT_TRUE(sdk.sent.empty());
    EXPECT_FALSE(sdk.PrintFile("job.bin", true));
}

// Each case sets up a spool file that cannot take the command; what was there must stay as it was.
TEST_F(Spool, FileFaultsFailTheCommandAndKeepWhatWasSpooled) {
    Testing::SysCallFaults faults;
    struct Case {
        const char* name;
        std::function<std::string()> arrange;  // returns the spool path
        std::string line;
        std::optional<Data> contentAfter;
    };
    const Data spooled(100, 0x42);
    const std::vector<Case> cases = {
        {"path is a directory",
         [&] {
             std::filesystem::create_directory(documents.file("dir"));
             return documents.file("dir");
         },
         "Error creating file Is a directory", std::nullopt},
        {"folder is a file",
         [&] {
             writeFile(documents.file("plain"), {});
             return documents.file("plain") + "/" + spoolName;
         },
         "Error creating file Not a directory", std::nullopt},
        {"read-only spool file",
         [&] {
             writeFile(spoolPath, spooled);
             faults.table().open = [](const char* path, int flags, mode_t mode) {
                 if ((flags & O_ACCMODE) != O_RDONLY) return errno = EACCES, -1;
                 return realSysCalls().open(path, flags, mode);
             };
             return spoolPath;
         },
         "Error creating file Permission denied", spooled},
        {"unwritable folder",
         [&] {
             faults.table().open = [](const char* path, int flags, mode_t mode) {
                 if (flags & O_CREAT) return errno = EACCES, -1;
                 return realSysCalls().open(path, flags, mode);
             };
             return spoolPath;
         },
         "Error creating file Permission denied", std::nullopt},
        {"disk full", [] { return std::string("/dev/full"); }, "Error creating file No space left on device",
         std::nullopt},
    };
    for (const Case& c : cases) {
        std::filesystem::remove(spoolPath);
        sdk.bZip = true;
        sdk.ZipFile = c.arrange();
        log.clear();
        EXPECT_FALSE(sdk.WriteToFile({1, 2, 3})) << c.name;
        faults.table() = realSysCalls();
        EXPECT_THAT(log.lines(), ElementsAre(c.line)) << c.name;
        if (c.contentAfter) {
            EXPECT_EQ(readFile(spoolPath), *c.contentAfter) << c.name;
        } else {
            EXPECT_FALSE(std::filesystem::is_regular_file(spoolPath)) << c.name;
        }
    }
}

// The spool file's name swapped for a symlink to a private file: the job never reaches it, and the private file is
// never read and sent in place of the job.
TEST_F(Spool, ASymlinkSwappedInForTheSpoolFileIsNeverFollowed) {
    struct Case {
        const char* name;
        std::size_t commandsBeforeSwap;
        Data sent;  // uncompressed; empty: nothing sent
    };
    const Data commands[] = {{0x1B, 0x40}, {0x1B, 0x6D}};
    const std::vector<Case> cases = {
        {"before the first command", 0, {}},
        {"mid-job", 1, {0x1B, 0x40, 0x1B, 0x6D}},
        {"before switching off", 2, {0x1B, 0x40, 0x1B, 0x6D}},
    };
    const std::string secret = documents.file("secret");
    for (const Case& c : cases) {
        writeFile(secret, {0x53});
        sdk.sent.clear();
        sdk.Zip(true);
        for (std::size_t i = 0; i <= 2; ++i) {
            if (i == c.commandsBeforeSwap) {
                std::filesystem::remove(spoolPath);
                std::filesystem::create_symlink(secret, spoolPath);
            }
            if (i < 2) sdk.WriteToFile(commands[i]);
        }
        sdk.Zip(false);
        EXPECT_EQ(readFile(secret), Data{0x53}) << c.name;
        if (c.sent.empty()) {
            EXPECT_TRUE(sdk.sent.empty()) << c.name;
        } else {
            ASSERT_EQ(sdk.sent.size(), 1u) << c.name;
            EXPECT_EQ(Testing::gunzip(sdk.sent[0]), c.sent) << c.name;
        }
    }
}

TEST_F(Spool, TheSpoolFileIsTheOwnersOnly) {
    sdk.Zip(true);
    ASSERT_TRUE(sdk.WriteToFile({1}));
    struct stat status{};
    ASSERT_EQ(stat(spoolPath.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 077, 0u);
}

TEST_F(Spool, FileSizeLimitFailsTheAppendAndTheNextCommandCarriesOn) {
    sdk.Zip(true);
    EXPECT_TRUE(sdk.WriteToFile(Data(100, 0x42)));  // created
    bool tooLarge = true;
    bool fits = false;
    {
        Testing::FileSizeLimit limit(150);
        tooLarge = sdk.WriteToFile(Data(100, 0x43));
        fits = sdk.WriteToFile(Data(10, 0x44));  // appended
    }
    EXPECT_FALSE(tooLarge);
    EXPECT_TRUE(fits);
    Data expected(110, 0x44);
    std::fill_n(expected.begin(), 100, 0x42);
    EXPECT_EQ(readFile(spoolPath), expected);
    EXPECT_TRUE(log.contains("Error creating file File too large"));
}

// The other ways appendToURL fails are the spool's, tested above through the same file writer.
TEST(AppendToUrl, AppendsOrThrowsTheFileError) {
    Testing::TempDir dir;
    const std::string file = dir.file("out.bin");
    appendToURL({1, 2}, file);
    appendToURL({3}, std::filesystem::path(file));
    EXPECT_EQ(readFile(file), (Data{1, 2, 3}));
    try {
        appendToURL({9}, dir.file("none/out.bin"));
        ADD_FAILURE() << "no error";
    } catch (const std::system_error& error) {
        EXPECT_EQ(error.code().value(), ENOENT);
    }
}

class SendFile : public Spool {
protected:
    SendFile() {
        documents.write("job.bin", job);
        std::filesystem::create_directory(documents.file("sub"));
        documents.write("sub/empty.bin", {});
    }
    const Data job = {0x1B, 0x40, 'H', 'i', 0x0D, 0x0A, 0x1D, 0x56, 0x42, 0x00};
};

TEST_F(SendFile, GoesCompressedOverBluetoothAndUnchangedOverTcp) {
    struct Case {
        std::optional<WIRELESSS_INTERFACE> link;
        const char* name;
        bool result;
        bool overBluetooth, overTcp;
    };
    const std::vector<Case> cases = {
        {WIRELESSS_INTERFACE::BLUETOOTH, "job.bin", true, true, false},
        {WIRELESSS_INTERFACE::WIFI, "job.bin", true, false, true},
        {WIRELESSS_INTERFACE::SOCKET, "job.bin", true, false, true},
        {WIRELESSS_INTERFACE::BLUETOOTH, "missing.bin", false, false, false},
        {WIRELESSS_INTERFACE::SOCKET, "missing.bin", false, false, false},
        {WIRELESSS_INTERFACE::BLUETOOTH, "sub/empty.bin", true, false, false},
        {WIRELESSS_INTERFACE::SOCKET, "sub/empty.bin", true, false, false},
        {WIRELESSS_INTERFACE::SOCKET, "sub", false, false, false},
        {std::nullopt, "job.bin", false, false, false},
    };
    for (const Case& c : cases) {
        for (const bool compress : {true, false}) {
            sdk.sent.clear();
            device->pieces.clear();
            sdk.InterfaceType = c.link;
            sdk.TCPDevice = device;
            const std::string what = std::string(c.name) + (compress ? " compress" : "");
            EXPECT_EQ(sdk.PrintFile(c.name, compress), c.result) << what;
            EXPECT_EQ(sdk.sent.size(), c.overBluetooth ? 1u : 0u) << what;
            if (c.overBluetooth) {
                EXPECT_EQ(Testing::gunzip(sdk.sent.at(0)), job) << what;
            }
            EXPECT_EQ(device->pieces, c.overTcp ? std::vector<Data>{job} : std::vector<Data>{}) << what;
        }
    }
    EXPECT_THAT(log.lines(), ::testing::Each("Orvik: no interface chosen; call InitSDK before sending files (file not sent)"));
    EXPECT_EQ(log.lines().size(), 2u);
}

TEST_F(SendFile, ArrivesWholeOverARealConnectionAndNeedsNoConnection) {
    sdk.InterfaceType = WIRELESSS_INTERFACE::WIFI;
    EXPECT_TRUE(sdk.PrintFile("job.bin", false));  // no TCPDevice: nothing to send to
    Testing::LoopbackServer server;
    sdk.TCPDevice = std::make_shared<TcpSocket>();
    sdk.TCPDevice->connect("127.0.0.1", server.port());
    EXPECT_TRUE(sdk.PrintFile("job.bin", true));
    sdk.TCPDevice->disconnect();
    EXPECT_EQ(server.received(), job);
}

}  // namespace
}  // namespace OrvikFramework
