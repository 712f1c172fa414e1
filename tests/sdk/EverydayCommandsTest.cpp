// The everyday commands beside text: their bytes, what they refuse, how the virtual printer frames them, and
// pictures printing the same dots in every image mode.
#include <gtest/gtest.h>

#include <functional>

#include <orvik/Orvik.h>
#include "vprinter/Decoder.h"

#include "support/Bytes.h"
#include "support/Receipts.h"
#include "support/RecordingTcpSocket.h"

namespace OrvikFramework {
namespace {

using Testing::bytes;
using Testing::text;
using Testing::operator+;
using Printer = Testing::RecordingPrinter;
using Operation = std::function<Status(Orvik&)>;

// How the virtual printer frames a command: whole, and none of it printed as the text that follows.
void expectFramed(const Data& command, const std::string& line) {
    SCOPED_TRACE(line);
    const auto commands = VirtualPrinter::decodeAll(command + text("Paid\n"));
    ASSERT_EQ(commands.size(), 3u);
    EXPECT_EQ(VirtualPrinter::describe(commands[0]), "00000000 " + line);
    EXPECT_EQ(Testing::printed(command + text("Paid\n")).at(0).text, "Paid\n");
}

// Each operation's bytes and how the virtual printer frames them, or its refusal of a value out of range with
// nothing sent.
TEST(EverydayCommands, BytesOfEachOperationOrItsRefusal) {
    struct Case {
        Operation operation;
        Data bytes;
        std::string framed;
        std::string refusal = "";
    };
    const Case cases[] = {
        {[](Orvik& o) { return o.OpenCashDrawer(); }, bytes({0x1b, 'p', 0, 25, 250}), "ESC p 0 25 250 cash drawer pin 2"},
        {[](Orvik& o) { return o.OpenCashDrawer(5, 50, 100); }, bytes({0x1b, 'p', 1, 50, 100}), "ESC p 1 50 100 cash drawer pin 5"},
        {[](Orvik& o) { return o.Beep(3, 2); }, bytes({0x1b, 'B', 3, 2}), "ESC B 3 2 beep"},
        {[](Orvik& o) { return o.SetTextSize(2, 3); }, bytes({0x1d, '!', 0x12}), "GS ! 18 character size"},
        {[](Orvik& o) { return o.SetTextSize(8, 8); }, bytes({0x1d, '!', 0x77}), "GS ! 119 character size"},
        {[](Orvik& o) { return o.SetInvert(true); }, bytes({0x1d, 'B', 1}), "GS B 1 invert"},
        {[](Orvik& o) { return o.SetUpsideDown(true); }, bytes({0x1b, '{', 1}), "ESC { 1 upside-down"},
        {[](Orvik& o) { return o.SetLineSpacing(40); }, bytes({0x1b, '3', 40}), "ESC 3 40 line spacing"},
        {[](Orvik& o) { return o.SetLineSpacing(std::nullopt); }, bytes({0x1b, '2'}), "ESC 2 default line spacing"},
        {[](Orvik& o) { return o.SetTabStops({8, 16}); }, bytes({0x1b, 'D', 8, 16, 0}), "ESC D 08 10 tab stops"},
        {[](Orvik& o) { return o.Tab(); }, bytes({0x09}), "HT"},
        {[](Orvik& o) { return o.OpenCashDrawer(3); }, {}, "", "cash drawer pin 3 is neither 2 nor 5"},
        {[](Orvik& o) { return o.Beep(0, 1); }, {}, "", "beep count 0 is outside 1-9"},
        {[](Orvik& o) { return o.Beep(1, 10); }, {}, "", "beep duration 10 is outside 1-9"},
        {[](Orvik& o) { return o.SetTextSize(0, 1); }, {}, "", "text width 0 is outside 1-8"},
        {[](Orvik& o) { return o.SetTextSize(1, 9); }, {}, "", "text height 9 is outside 1-8"},
        {[](Orvik& o) { return o.SetTabStops({16, 8}); }, {}, "", "tab stops must be 1-255 and ascending"},
        {[](Orvik& o) { return o.SetTabStops({0, 8}); }, {}, "", "tab stops must be 1-255 and ascending"},
        {[](Orvik& o) { return o.SetTabStops(std::vector<std::uint8_t>(33, 1)); }, {}, "", "at most 32 tab stops"},
        {[](Orvik& o) { return o.PrintBitmap(MonoBitmap{9, 2, Data(3)}); }, {}, "",
         "the picture is empty, larger than 65535 dots, or its rows do not match its size"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.framed + c.refusal);
        Printer printer;
        EXPECT_EQ(c.operation(printer.sdk), (c.refusal.empty() ? Status{} : Error{ErrorCode::InvalidArgument, c.refusal}));
        EXPECT_EQ(printer.sent(), c.bytes);
        if (c.refusal.empty()) expectFramed(c.bytes, c.framed);
    }
    Orvik unlinked;
    EXPECT_EQ(unlinked.Beep().value_or(Error{}).code, ErrorCode::NotConnected);
}

// Commands the SDK does not send, framed whole all the same.
TEST(EverydayCommands, VirtualPrinterFramesOtherFormsWhole) {
    const std::pair<Data, std::string> cases[] = {
        {bytes({0x1b, '(', 'A', 4, 0, 48, 97, 3, 2}), "ESC ( A 30 61 03 02 beep"},
        {bytes({0x1d, 'f', 1}), "GS f 1 HRI font"},
        {bytes({0x1b, '*', 33, 2, 0, 1, 2, 3, 4, 5, 6}), "ESC * 33 column image 2 columns"},
        {bytes({0x1d, '(', 'L', 2, 0, 48, 50}), "GS ( L graphics function 50, 0 bytes"},
        {bytes({0x1d, '8', 'L', 2, 0, 0, 0, 48, 50}), "GS ( L graphics function 50, 0 bytes"},
        {bytes({0x1d, 'k', 74, 2, '{', 'A'}), "GS k 74 GS1-128 \"{A\""},
    };
    for (const auto& [command, line] : cases) expectFramed(command, line);
}

// The rows of dots from the first to the last with ink, `width` dots across.
template <typename Image>
std::vector<std::string> inkRows(const Image& image, std::uint32_t width) {
    std::vector<std::string> rows;
    for (std::uint32_t y = 0; y < image.height; ++y) {
        std::string row;
        for (std::uint32_t x = 0; x < width; ++x) row += x < image.width && image.black(x, y) ? '#' : '.';
        rows.push_back(row);
    }
    while (!rows.empty() && rows.back().find('#') == std::string::npos) rows.pop_back();
    while (!rows.empty() && rows.front().find('#') == std::string::npos) rows.erase(rows.begin());
    return rows;
}

TEST(EverydayCommands, EveryImageModePrintsTheSameDots) {
    // 30 rows, so column mode needs a second, partly filled band; a diagonal and a border catch any shifted dot.
    MonoBitmap picture{21, 30, Data(3 * 30)};
    for (std::uint32_t y = 0; y < picture.height; ++y)
        for (std::uint32_t x = 0; x < picture.width; ++x)
            if (x == 0 || y == 0 || x == y || x == 20 || y == 29) picture.rows[y * 3 + x / 8] |= 0x80 >> (x % 8);
    const auto expected = inkRows(picture, 384);
    for (const ImageMode mode : {ImageMode::Raster, ImageMode::Graphics, ImageMode::Column}) {
        Printer printer;
        EXPECT_EQ(printer.sdk.PrintBitmap(picture, mode), std::nullopt);
        const auto receipts = Testing::printed(printer.sent());
        ASSERT_EQ(receipts.size(), 1u);
        EXPECT_EQ(inkRows(receipts[0], receipts[0].width), expected) << static_cast<int>(mode);
    }
}

}  // namespace
}  // namespace OrvikFramework
