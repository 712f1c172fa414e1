// Exact bytes and piece boundaries of every printer command, on each link.
#include <functional>
#include <memory>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <orvik/OrvikFramework.h>

#include "support/Bytes.h"
#include "support/RecordingTcpSocket.h"
#include "support/SdkFixtures.h"
#include "support/TempDir.h"

namespace OrvikFramework {
namespace {

using Testing::RecordingTcpSocket;
using Pieces = std::vector<Data>;
using Testing::operator+;
using ::testing::ElementsAre;

struct CommandCase {
    std::string name;
    std::function<void(Orvik&)> send;
    Pieces pieces;
};

// Keeps test listings readable: gtest would otherwise dump the case's bytes.
void PrintTo(const CommandCase& command, std::ostream* out) { *out << command.name; }

const std::vector<CommandCase>& commandCases() {
    static const std::vector<CommandCase> cases = {
        {"InitPrinter", [](Orvik& o) { o.InitPrinter(); }, {{0x1B, 0x40}}},
        {"AlignLeft", [](Orvik& o) { o.TextAlignment(ALIGNMENT::LEFT); }, {{0x1B, 0x61, 0x30}}},
        {"AlignCenter", [](Orvik& o) { o.TextAlignment(ALIGNMENT::CENTER); }, {{0x1B, 0x61, 0x31}}},
        {"AlignRight", [](Orvik& o) { o.TextAlignment(ALIGNMENT::RIGHT); }, {{0x1B, 0x61, 0x32}}},
        {"PrintModeAll", [](Orvik& o) { o.PrintMode(0xB9); }, {{0x1B, 0x21, 0xB9}}},
        {"PrintData", [](Orvik& o) { o.PrintData({0x00, 0xFF, 0x1B}); }, {{0x00, 0xFF, 0x1B}}},
        {"PrintDataEmpty", [](Orvik& o) { o.PrintData({}); }, {{}}},
        {"PrintText", [](Orvik& o) { o.PrintText("abc"); }, {{0x61, 0x62, 0x63, 0x0D, 0x0A}}},
        {"PrintTextEmpty", [](Orvik& o) { o.PrintText(""); }, {{0x0D, 0x0A}}},
        {"PrintTextUtf8", [](Orvik& o) { o.PrintText("\xC3\xA9"); }, {{0xC3, 0xA9, 0x0D, 0x0A}}},
        {"PrintTextln", [](Orvik& o) { o.PrintTextln({0x41, 0x42, 0x00}); }, {{0x41, 0x42, 0x0D, 0x0A}}},
        {"PrintTextlnEmpty", [](Orvik& o) { o.PrintTextln({}); }, {{0x0D, 0x0A}}},
        {"PrintTextData", [](Orvik& o) { o.PrintText(Data{0x41, 0x42, 0x43}); }, {{0x41, 0x42}}},
        {"PrintTextDataOneByte", [](Orvik& o) { o.PrintText(Data{0x41}); }, {{}}},
        {"PrintTextDataEmpty", [](Orvik& o) { o.PrintText(Data{}); }, {{}}},
        {"Feed", [](Orvik& o) { o.PrintNFeedPaper(255); }, {{0x1B, 0x4A, 0xFF}}},
        {"CutPaper", [](Orvik& o) { o.CutPaper(); }, {{0x1B, 0x6D}}},
        {"CutModeDefaultFeed", [](Orvik& o) { o.SelectCutMode_N_CutPaper(66); }, {{0x1D, 0x56, 0x42, 0x00}}},
        {"CutModeWithFeed", [](Orvik& o) { o.SelectCutMode_N_CutPaper(65, 3); }, {{0x1D, 0x56, 0x41, 0x03}}},
        {"CutModeFunctionA", [](Orvik& o) { o.SelectCutMode_N_CutPaper(102, 9); }, {{0x1D, 0x56, 0x66}}},
        {"Barcode",
         [](Orvik& o) { o.PrintBarcode(BARCODE_HRI_POS::BENEATH, 80, 2, "123"); },
         {{0x1D, 0x48, 0x02}, {0x1D, 0x68, 0x50}, {0x1D, 0x77, 0x02}, {0x1D, 0x6B, 0x04}, {0x31, 0x32, 0x33, 0x00, 0x0D, 0x0A}}},
        {"BarcodeEmpty",
         [](Orvik& o) { o.PrintBarcode(BARCODE_HRI_POS::NON, 1, 6, ""); },
         {{0x1D, 0x48, 0x00}, {0x1D, 0x68, 0x01}, {0x1D, 0x77, 0x06}, {0x1D, 0x6B, 0x04}, {0x00, 0x0D, 0x0A}}},
        {"Raster",
         [](Orvik& o) { o.PrintRasterBitImage(0, 2, 0, 1, 0, {0xF0, 0x0F}); },
         {{0x1D, 0x76, 0x30, 0x00, 0x02, 0x00, 0x01, 0x00}, {0xF0, 0x0F}}},
        {"RasterEmpty",
         [](Orvik& o) { o.PrintRasterBitImage(3, 0, 1, 0, 2, {}); },
         {{0x1D, 0x76, 0x30, 0x03, 0x00, 0x01, 0x00, 0x02}, {}}},
    };
    return cases;
}

class CommandBytes : public Testing::SimulatedSdk, public ::testing::WithParamInterface<CommandCase> {};

// The same pieces over TCP and Wi-Fi, appended twice to the spool file while spooling (no InitSDK needed), over
// Bluetooth to the simulated printer; before InitSDK one line and nothing sent, and with nothing connected not a word.
TEST_P(CommandBytes, ReachEveryLinkAndTheSpoolFile) {
    const CommandCase& command = GetParam();
    for (auto type : {WIRELESSS_INTERFACE::SOCKET, WIRELESSS_INTERFACE::WIFI}) {
        Testing::RecordingPrinter printer;
        printer.sdk.InterfaceType = type;
        command.send(printer.sdk);
        EXPECT_EQ(printer.socket->pieces, command.pieces);
    }
    const Data once = Testing::joined(command.pieces);
    Testing::TempDir dir;
    Testing::RecordingPrinter spooling;
    spooling.sdk.InterfaceType.reset();
    spooling.sdk.bZip = true;
    spooling.sdk.ZipFile = dir.file("job.bin");
    command.send(spooling.sdk);
    command.send(spooling.sdk);
    EXPECT_EQ(Testing::readFile(spooling.sdk.ZipFile), once + once);
    spooling.sdk.bZip = false;
    command.send(spooling.sdk);
    EXPECT_TRUE(spooling.socket->pieces.empty());
    EXPECT_THAT(log.lines(), ElementsAre("Orvik: no interface chosen; call InitSDK before sending commands (command not sent)"));

    ASSERT_TRUE(connectPrinter());
    command.send(sdk);
    EXPECT_EQ(link.received(), once);

    Orvik unconnected;
    unconnected.InterfaceType = WIRELESSS_INTERFACE::SOCKET;
    log.clear();
    command.send(unconnected);
    EXPECT_TRUE(log.lines().empty());
}

INSTANTIATE_TEST_SUITE_P(EveryCommand, CommandBytes, ::testing::ValuesIn(commandCases()),
                         [](const auto& info) { return info.param.name; });

// Counts the PrintData calls a command makes, to see which pieces go through it.
class PrintDataSpy : public Orvik {
public:
    void PrintData(const Data& Data) override {
        viaPrintData.push_back(Data);
        Orvik::PrintData(Data);
    }
    Pieces viaPrintData;
};

TEST(CommandSet, BarcodeHeaderGoesThroughPrintData) {
    PrintDataSpy sdk;
    sdk.InterfaceType = WIRELESSS_INTERFACE::WIFI;
    sdk.PrintBarcode(BARCODE_HRI_POS::ABOVE, 50, 3, "9");
    EXPECT_EQ(sdk.viaPrintData, (Pieces{{0x1D, 0x6B, 0x04}}));
}

TEST(Routing, DestinationIsReadAfreshForEveryCommand) {
    Testing::TempDir dir;
    Testing::RecordingPrinter printer;
    const auto second = std::make_shared<RecordingTcpSocket>();
    printer.sdk.ZipFile = dir.file("spool.bin");
    printer.sdk.InitPrinter();
    printer.sdk.bZip = true;
    printer.sdk.CutPaper();
    printer.sdk.bZip = false;
    printer.sdk.TCPDevice = second;
    printer.sdk.PrintNFeedPaper(1);
    EXPECT_EQ(printer.socket->pieces, (Pieces{{0x1B, 0x40}}));
    EXPECT_EQ(Testing::readFile(printer.sdk.ZipFile), (Data{0x1B, 0x6D}));
    EXPECT_EQ(second->pieces, (Pieces{{0x1B, 0x4A, 0x01}}));
}

}  // namespace
}  // namespace OrvikFramework
