// Spooling, the compressed job, sending whole files, and the file faults around them.
#include <filesystem>
#include <functional>
#include <system_error>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <orvik/OrvikFramework.h>

#include "support/Bytes.h"
#include "support/FileSizeLimit.h"
#include "support/ScopedEnv.h"
#include "support/SdkFixtures.h"

namespace OrvikFramework {
namespace {

using Testing::BluetoothSpy;
using Testing::readFile;
using Testing::writeFile;
using Testing::operator+;
using ::testing::ElementsAre;

constexpr const char* spoolName = "DefultZipFile_WiFi.bin";

using Jobs = std::vector<std::optional<Data>>;

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

class Spool : public Testing::DocumentsSdk {
protected:
    const std::string spoolPath = documents.file(spoolName);
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
            EXPECT_EQ(spy.jobs(), Jobs(step.jobs, mixedBytes + cut));
            EXPECT_EQ(spy.ZipFile, &step == &steps.front() ? "" : spoolPath);
        }
        EXPECT_FALSE(std::filesystem::exists(spoolPath));
    }
    EXPECT_TRUE(sent().empty());
}

// Commands are not spooled, and neither whole files nor pictures are read, from a folder the SDK cannot name.
TEST_F(Spool, WithoutDocumentsDirectoryNothingIsStoredReadOrSent) {
    documents.write("job.bin", {0x1B, 0x40});
    Documents::setDirectory(std::nullopt);
    const Testing::ScopedEnv home("HOME", std::nullopt), config("XDG_CONFIG_HOME", std::nullopt);
    sdk.ZipFile = "/stale/path";
    sdk.Zip(true);
    sdk.InitPrinter();
    sdk.Zip(false);
    EXPECT_EQ(sdk.ZipFile, "");
    EXPECT_FALSE(sdk.PrintFile("job.bin", true));
    EXPECT_EQ(sdk.LoadBMPFile("job.bin"), BMPLoadResult{});
    EXPECT_FALSE(sdk.PrintBMPFile("job.bin"));
    sdk.PrintReceiptImageFile("job.bin");
    EXPECT_THAT(log.lines(), ElementsAre("Orvik: no Documents directory; spooled commands cannot be stored",
                                         "Error creating file No such file or directory",
                                         "Orvik: cannot read the spool file : No such file or directory (nothing sent)",
                                         R"("Image : ImageFileName")"));
    EXPECT_TRUE(sdk.overBluetooth.empty());
    EXPECT_TRUE(sent().empty());
}

// A spool file that cannot take the command fails it and keeps what was spooled. Refused opens and a full disk are
// the file layer's own cases (FilesFaults).
TEST_F(Spool, FileFaultsFailTheCommandAndKeepWhatWasSpooled) {
    const Data spooled(100, 0x42);
    writeFile(spoolPath, spooled);
    std::filesystem::create_directory(documents.file("dir"));
    writeFile(documents.file("plain"), {});
    const std::pair<std::string, std::string> cases[] = {
        {documents.file("dir"), "Error creating file Is a directory"},
        {documents.file("plain") + "/" + spoolName, "Error creating file Not a directory"},
        {spoolPath, "Error creating file File too large"},  // one byte more than the size limit allows
    };
    sdk.bZip = true;
    for (const auto& [path, line] : cases) {
        SCOPED_TRACE(path);
        sdk.ZipFile = path;
        log.clear();
        EXPECT_FALSE([&] {
            Testing::FileSizeLimit limit(101);
            return sdk.WriteToFile({1, 2, 3});
        }());
        EXPECT_THAT(log.lines(), ElementsAre(line));
        EXPECT_EQ(readFile(spoolPath), spooled);
    }
}

// The spool file's name swapped for a symlink to a private file: the job never reaches it, and the private file is
// never read and sent in place of the job.
TEST_F(Spool, ASymlinkSwappedInForTheSpoolFileIsNeverFollowed) {
    const Data commands[] = {{0x1B, 0x40}, {0x1B, 0x6D}}, both = commands[0] + commands[1];
    const std::string secret = documents.file("secret");
    // How many commands went in before the swap, and the jobs sent when spooling ends.
    const std::pair<std::size_t, Jobs> cases[] = {{0, {}}, {1, {both}}, {2, {both}}};
    for (const auto& [swapAfter, jobs] : cases) {
        SCOPED_TRACE(swapAfter);
        writeFile(secret, {0x53});
        sdk.overBluetooth.clear();
        sdk.Zip(true);
        for (std::size_t i = 0; i <= 2; ++i) {
            if (i == swapAfter) {
                std::filesystem::remove(spoolPath);
                std::filesystem::create_symlink(secret, spoolPath);
            }
            if (i < 2) sdk.WriteToFile(commands[i]);
        }
        sdk.Zip(false);
        EXPECT_EQ(readFile(secret), Data{0x53});
        EXPECT_EQ(sdk.jobs(), jobs);
    }
}

TEST_F(Spool, TheSpoolFileIsTheOwnersOnly) {
    sdk.Zip(true);
    ASSERT_TRUE(sdk.WriteToFile({1}));
    using std::filesystem::perms;
    EXPECT_EQ(std::filesystem::status(spoolPath).permissions() & (perms::group_all | perms::others_all), perms::none);
}

// The other ways appendToURL fails are the file layer's (FilesFaults).
TEST_F(Spool, AppendToUrlAppendsOrThrowsTheFileError) {
    appendToURL({1, 2}, spoolPath);
    appendToURL({3}, std::filesystem::path(spoolPath));
    EXPECT_EQ(readFile(spoolPath), (Data{1, 2, 3}));
    EXPECT_THAT([&] { appendToURL({9}, documents.file("none/out.bin")); },
                ::testing::Throws<std::system_error>(
                    ::testing::Property(&std::system_error::code, std::make_error_code(std::errc::no_such_file_or_directory))));
}

TEST_F(Spool, WholeFilesGoCompressedOverBluetoothAndUnchangedOverTcp) {
    const Data job = {0x1B, 0x40, 'H', 'i', 0x0D, 0x0A, 0x1D, 0x56, 0x42, 0x00};
    documents.write("job.bin", job);
    std::filesystem::create_directory(documents.file("sub"));
    documents.write("sub/empty.bin", {});
    // The link, the file, PrintFile's result, and whether the file went over Bluetooth or over TCP.
    const std::tuple<std::optional<WIRELESSS_INTERFACE>, const char*, bool, bool, bool> cases[] = {
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
    for (const auto& [link, name, result, overBluetooth, overTcp] : cases) {
        for (const bool compress : {true, false}) {
            sdk.overBluetooth.clear();
            sdk.InterfaceType = link;
            const std::string what = std::string(name) + (compress ? " compress" : "");
            EXPECT_EQ(sdk.PrintFile(name, compress), result) << what;
            EXPECT_EQ(sdk.jobs(), overBluetooth ? Jobs{job} : Jobs{}) << what;
            EXPECT_EQ(sent(), overTcp ? std::vector<Data>{job} : std::vector<Data>{}) << what;
        }
    }
    EXPECT_EQ(log.lines(), std::vector<std::string>(2, "Orvik: no interface chosen; call InitSDK before sending files (file not sent)"));
    sdk.InterfaceType = WIRELESSS_INTERFACE::WIFI;
    sdk.TCPDevice.reset();  // nothing to send to is no failure
    EXPECT_TRUE(sdk.PrintFile("job.bin", false));
}

}  // namespace
}  // namespace OrvikFramework
