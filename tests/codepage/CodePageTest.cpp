// Code-page text from the SDK: the exact bytes of page selection and conversion, and what becomes "?".
#include <gtest/gtest.h>

#include <memory>

#include <orvik/OrvikFramework.h>

#include "support/Bytes.h"
#include "support/LogCapture.h"
#include "support/RecordingTcpSocket.h"

namespace OrvikFramework {
namespace {

using Testing::bytes;
using Testing::text;
using Testing::operator+;

struct Printer {
    Orvik sdk;
    std::shared_ptr<Testing::RecordingTcpSocket> device = std::make_shared<Testing::RecordingTcpSocket>();
    Printer() {
        sdk.InterfaceType = WIRELESSS_INTERFACE::SOCKET;
        sdk.TCPDevice = device;
    }
    Data sent() const {
        Data all;
        for (const Data& piece : device->pieces) all = all + piece;
        return all;
    }
};

TEST(CodePageCommands, SelectEachPageWithItsCommand) {
    const struct {
        CodePage page;
        Data command;
    } cases[] = {
        {CodePage::CP437, {0x1B, 't', 0}},     {CodePage::CP850, {0x1B, 't', 2}},
        {CodePage::CP852, {0x1B, 't', 18}},    {CodePage::CP858, {0x1B, 't', 19}},
        {CodePage::CP866, {0x1B, 't', 17}},    {CodePage::CP1252, {0x1B, 't', 16}},
        {CodePage::ISO8859_15, {0x1B, 't', 40}}, {CodePage::GB18030, {0x1C, '&'}},
        {CodePage::Big5, {0x1C, '&'}},         {CodePage::ShiftJIS, {0x1C, 'C', 1, 0x1C, '&'}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(codePageInfo(c.page).name));
        Printer printer;
        printer.sdk.SelectCodePage(c.page);
        EXPECT_EQ(printer.device->pieces, std::vector<Data>{c.command});
        EXPECT_EQ(printer.sdk.SelectedCodePage, c.page);
        EXPECT_EQ(codePageNamed(codePageInfo(c.page).name), c.page);
    }
}

TEST(CodePageCommands, LeavingMultiByteModeAndResetting) {
    Printer printer;
    printer.sdk.SelectCodePage(CodePage::GB18030);
    printer.sdk.SelectCodePage(CodePage::Big5);
    printer.sdk.SelectCodePage(CodePage::CP866);
    printer.sdk.SelectCodePage(CodePage::CP437);
    // After ESC @ the printer is on its default page again, so text must not stay in CP437.
    printer.sdk.InitPrinter();
    EXPECT_EQ(printer.sdk.PrintCodePageText("\xC3\xA9"), 0);
    EXPECT_EQ(printer.sent(), bytes({0x1C, '&', 0x1C, '&', 0x1C, '.', 0x1B, 't', 17, 0x1B, 't', 0, 0x1B, '@'}) +
                                  bytes({0xC3, 0xA9, '\r', '\n'}));
}

TEST(CodePageCommands, NothingChangesWithoutALink) {
    Testing::LogCapture log;
    Orvik sdk;
    sdk.SelectCodePage(CodePage::CP866);
    EXPECT_FALSE(sdk.SelectedCodePage.has_value());
    EXPECT_EQ(sdk.PrintCodePageText("x"), -1);
}

TEST(CodePageConversion, BytesAndReplacements) {
    const struct {
        std::optional<CodePage> page;
        const char* utf8;
        Data expected;
        std::int64_t replaced;
    } cases[] = {
        {CodePage::CP437, "\xC2\xBD\xC2\xB0 \xE2\x82\xAC", {0xAB, 0xF8, ' ', '?'}, 1},       // ½° €
        {CodePage::CP850, "\xC3\xBF\xC3\x98", {0x98, 0x9D}, 0},                               // ÿØ
        {CodePage::CP852, "\xC5\x82\xC3\xB3\xC5\xBA \xC3\xB1", {0x88, 0xA2, 0xAB, ' ', '?'}, 1},  // łóź ñ
        {CodePage::CP858, "\xE2\x82\xAC", {0xD5}, 0},                                         // €
        {CodePage::CP866, "\xD0\x9F\xD1\x80\xD0\xB8 \xC3\xA9", {0x8F, 0xE0, 0xA8, ' ', '?'}, 1},  // При é
        {CodePage::CP1252, "Caf\xC3\xA9 \xE2\x82\xAC", text("Caf") + bytes({0xE9, ' ', 0x80}), 0},
        {CodePage::ISO8859_15, "\xC5\x92\xE2\x82\xAC\xD0\x96", {0xBC, 0xA4, '?'}, 1},       // Œ€Ж
        {CodePage::GB18030, "\xE4\xB8\xAD\xE6\x96\x87", {0xD6, 0xD0, 0xCE, 0xC4}, 0},        // 中文
        {CodePage::Big5, "\xE4\xB8\xAD\xE6\x96\x87\xF0\x9F\x98\x80", {0xA4, 0xA4, 0xA4, 0xE5, '?'}, 1},  // 中文😀
        {CodePage::ShiftJIS, "\xE6\x97\xA5\xE6\x9C\xAC\xD0\x96", {0x93, 0xFA, 0x96, 0x7B, 0x84, 0x47}, 0},  // 日本Ж
        // Invalid UTF-8: a stray continuation byte, a cut-off sequence, an overlong form; one "?" a byte.
        {CodePage::CP1252, "a\x80" "b\xE2\x82", {'a', '?', 'b', '?', '?'}, 3},
        {CodePage::CP437, "\xC0\xAF", {'?', '?'}, 2},
        {std::nullopt, "\xC3\xA9\xFF", {0xC3, 0xA9, '?'}, 1},
        {CodePage::CP866, "", {}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.utf8);
        Printer printer;
        if (c.page) printer.sdk.SelectCodePage(*c.page);
        printer.device->pieces.clear();
        EXPECT_EQ(printer.sdk.PrintCodePageText(c.utf8), c.replaced);
        EXPECT_EQ(printer.sent(), c.expected + bytes({'\r', '\n'}));
    }
}

}  // namespace
}  // namespace OrvikFramework
