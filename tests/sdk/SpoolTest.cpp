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

#include "support/Bytes.h"
#include "support/Documents.h"
#include "support/FileSizeLimit.h"
#include "support/Inflate.h"
#include "support/LogCapture.h"
#include "support/RecordingTcpSocket.h"
#include "support/ScopedEnv.h"
#include "support/SysCallFaults.h"

namespace OrvikFramework {
namespace {

using Testing::readFile;
using Testing::RecordingTcpSocket;
using Testing::writeFile;
using Testing::operator+;
using ::testing::ElementsAre;

constexpr const char* spoolName = "DefultZipFile_WiFi.bin";

// Keeps what reaches the Bluetooth write path.
class BluetoothSpy : public Orvik {
public:
    void BLESend(const Data& data) override { sent.push_back(data); }
    std::vector<Data> sent;
};

// Every kind of command, and their bytes.
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
const Data mixedBytes = Data{0x1B, 0x40, 0x1B, 0x61, 0x31, 0x1B, 0x21, 0x08} + Testing::text("Total 12.50\r\n") +
                        Data{0x1D, 0x48, 0x02, 0x1D, 0x68, 0x3C, 0x1D, 0x77, 0x02, 0x1D, 0x6B, 0x04, '4', '7', '1', '1', 0x00,
                             0x0D, 0x0A, 0x1D, 0x76, 0x30, 0x00, 0x01, 0x00, 0x02, 0x00, 0xF0, 0x0F, 0x1B, 0x4A, 40, 0x1D,
                             0x56, 0x42, 0x03};
const Data cut = {0x1B, 0x6D};

class Spool : public ::testing::Test {
protected:
    Testing::ScopedDocuments documents;
    const std::string spoolPath = documents.file(spoolName);
    Testing::LogCapture log;
    BluetoothSpy sdk;
    std::shared_ptr<RecordingTcpSocket> device = std::make_shared<RecordingTcpSocket>();
};

// Whatever the link, the spooled job goes compressed to Bluetooth when spooling ends.
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
        {"on, switch off without a job", [](Orvik& o) { o.Zip(false); }, false,
         {"Orvik: cannot read the spool file " + spoolPath + ": No such file or directory (nothing sent)"}, {}, 0},
        {"off, switch on", [](Orvik& o) { o.Zip(true); }, true, {missingLine}, {}, 0},
        {"on, switch off with an empty job", [&](Orvik& o) { writeFile(spoolPath, {}), o.Zip(false); }, false, {}, {}, 0},
        {"off, switch on", [](Orvik& o) { o.Zip(true); }, true, {}, {}, 0},
        {"on, commands", mixedCommands, true, {}, mixedBytes, 0},
        {"on, switch on again", [](Orvik& o) { o.Zip(true); }, true, {}, mixedBytes, 0},
        {"on, command", [](Orvik& o) { o.CutPaper(); }, true, {}, mixedBytes + cut, 0},
        {"on, switch off", [](Orvik& o) { o.Zip(false); }, false, {}, mixedBytes + cut, 1},
        {"off, switch off again", [](Orvik& o) { o.Zip(false); }, false, {}, mixedBytes + cut, 1},
        {"off, switch on removes the old job", [](Orvik& o) { o.Zip(true); }, true, {}, {}, 1},
    };
    for (const auto link : {std::optional<WIRELESSS_INTERFACE>{}, std::optional(WIRELESSS_INTERFACE::BLUETOOTH),
                            std::optional(WIRELESSS_INTERFACE::WIFI), std::optional(WIRELESSS_INTERFACE::SOCKET)}) {
        BluetoothSpy spy;
        spy.InterfaceType = link;
        spy.TCPDevice = device;
        for (const Step& step : steps) {
            SCOPED_TRACE(step.event);
            log.clear();
            step.act(spy);
            EXPECT_EQ(spy.bZip, step.bZip);
            EXPECT_EQ(log.lines(), step.lines);
            EXPECT_EQ(readFile(spoolPath), step.spool);
            ASSERT_EQ(spy.sent.size(), step.jobs);
            if (step.jobs) {
                EXPECT_EQ(Testing::gunzip(spy.sent[0]), mixedBytes + cut);
            }
            EXPECT_EQ(spy.ZipFile, &step == &steps.front() ? "" : spoolPath);
        }
        EXPECT_FALSE(std::filesystem::exists(spoolPath));
    }
    EXPECT_TRUE(device->pieces.empty());
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
    std::optional<Testing::FileSizeLimit> limit;
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
        {"file size limit",
         [&] {
             writeFile(spoolPath, spooled);
             limit.emplace(101);
             return spoolPath;
         },
         "Error creating file File too large", spooled},
    };
    for (const Case& c : cases) {
        std::filesystem::remove(spoolPath);
        sdk.bZip = true;
        sdk.ZipFile = c.arrange();
        log.clear();
        const bool written = sdk.WriteToFile({1, 2, 3});
        faults.table() = realSysCalls();
        limit.reset();
        EXPECT_FALSE(written) << c.name;
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
    sdk.InterfaceType = WIRELESSS_INTERFACE::WIFI;
    sdk.TCPDevice.reset();  // nothing to send to is no failure
    EXPECT_TRUE(sdk.PrintFile("job.bin", false));
}

}  // namespace
}  // namespace OrvikFramework
