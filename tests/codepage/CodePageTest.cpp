// Code-page text: the exact bytes of page selection and conversion, what becomes "?", and what the virtual
// printer and the command-line tool make of it.
#include <gtest/gtest.h>

#include <memory>

#include <orvik/OrvikFramework.h>

#include "support/Bytes.h"
#include "support/LogCapture.h"
#include "examples/LoopbackReceiver.h"
#include "support/OrvikCli.h"
#include "support/Receipts.h"
#include "support/RecordingTcpSocket.h"

namespace OrvikFramework {
namespace {

using Testing::bytes;
using Testing::text;
using Testing::operator+;

using Printer = Testing::RecordingPrinter;
using Testing::printed;

// Each page is selected by its command, and the virtual printer reads a line converted to it back as sent.
TEST(CodePageCommands, SelectEachPageAndTheVirtualPrinterReadsItBack) {
    const struct {
        CodePage page;
        Data command;
        std::string line;
        std::string multiByteCharset = "GB18030";
    } cases[] = {
        {CodePage::CP437, {0x1B, 't', 0}, "naïve ½ ──"},
        {CodePage::CP850, {0x1B, 't', 2}, "Øre, çà coûte"},
        {CodePage::CP852, {0x1B, 't', 18}, "Łódź, čeština"},
        {CodePage::CP858, {0x1B, 't', 19}, "5,00 €"},
        {CodePage::CP866, {0x1B, 't', 17}, "Привет, мир"},
        {CodePage::CP1252, {0x1B, 't', 16}, "Grüße – Señor €"},
        {CodePage::ISO8859_15, {0x1B, 't', 40}, "Œuvre €"},
        {CodePage::GB18030, {0x1C, '&'}, "你好，世界"},
        {CodePage::Big5, {0x1C, '&'}, "台北市", "BIG5"},
        {CodePage::ShiftJIS, {0x1C, 'C', 1, 0x1C, '&'}, "こんにちは 2024年"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(codePageInfo(c.page).name));
        Printer printer;
        printer.sdk.SelectCodePage(c.page);
        EXPECT_EQ(printer.socket->pieces, std::vector<Data>{c.command});
        EXPECT_EQ(printer.sdk.SelectedCodePage, c.page);
        EXPECT_EQ(codePageNamed(codePageInfo(c.page).name), c.page);
        EXPECT_EQ(*printer.sdk.PrintCodePageText(c.line), 0);
        const auto receipts = printed(printer.sent(), {.multiByteCharset = c.multiByteCharset});
        ASSERT_EQ(receipts.size(), 1u);
        EXPECT_EQ(receipts[0].text, c.line + "\n");
        EXPECT_TRUE(receipts[0].warnings.empty());
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
    EXPECT_EQ(*printer.sdk.PrintCodePageText("\xC3\xA9"), 0);
    EXPECT_EQ(printer.sent(), bytes({0x1C, '&', 0x1C, '&', 0x1C, '.', 0x1B, 't', 17, 0x1B, 't', 0, 0x1B, '@'}) +
                                  bytes({0xC3, 0xA9, '\r', '\n'}));
}

TEST(CodePageCommands, NothingChangesWithoutALink) {
    Testing::LogCapture log;
    Orvik sdk;
    sdk.SelectCodePage(CodePage::CP866);
    EXPECT_FALSE(sdk.SelectedCodePage.has_value());
    EXPECT_EQ(sdk.PrintCodePageText("x").error().code, ErrorCode::NotConnected);
}

TEST(CodePageConversion, BytesAndReplacements) {
    const struct {
        std::optional<CodePage> page;
        const char* utf8;
        Data expected;
        std::int64_t replaced;
    } cases[] = {
        {CodePage::CP437, "½° €", {0xAB, 0xF8, ' ', '?'}, 1},
        {CodePage::CP850, "ÿØ", {0x98, 0x9D}, 0},
        {CodePage::CP852, "łóź ñ", {0x88, 0xA2, 0xAB, ' ', '?'}, 1},
        {CodePage::CP858, "€", {0xD5}, 0},
        {CodePage::CP866, "При é", {0x8F, 0xE0, 0xA8, ' ', '?'}, 1},
        {CodePage::CP1252, "Café €", text("Caf") + bytes({0xE9, ' ', 0x80}), 0},
        {CodePage::ISO8859_15, "Œ€Ж", {0xBC, 0xA4, '?'}, 1},
        {CodePage::GB18030, "中文", {0xD6, 0xD0, 0xCE, 0xC4}, 0},
        {CodePage::Big5, "中文😀", {0xA4, 0xA4, 0xA4, 0xE5, '?'}, 1},
        {CodePage::ShiftJIS, "日本Ж", {0x93, 0xFA, 0x96, 0x7B, 0x84, 0x47}, 0},
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
        printer.socket->pieces.clear();
        EXPECT_EQ(*printer.sdk.PrintCodePageText(c.utf8), c.replaced);
        EXPECT_EQ(printer.sent(), c.expected + bytes({'\r', '\n'}));
    }
}

TEST(CodePageRoundTrip, PrinterModesFollowTheCommands) {
    const struct {
        const char* name;
        Data stream;
        std::string text;
        std::vector<std::string> warnings = {};
    } cases[] = {
        // ESC @ returns to UTF-8 text and leaves multi-byte mode.
        {"reset", bytes({0x1B, 't', 16, 0xE9, '\n', 0x1C, '&', 0x1B, '@'}) + text("é\n"), "é\né\n"},
        // FS . goes back to the single-byte table still selected.
        {"leave", bytes({0x1B, 't', 17, 0x1C, '&', 0xD6, 0xD0, 0x1C, '.', 0x80, '\n'}), "中А\n"},
        // FS C 0 is JIS: the Shift_JIS printer's row-and-cell pairs without high bits.
        {"jis", bytes({0x1C, 'C', 0, 0x1C, '&', 0x46, 0x7C, '\n'}), "日\n"},
        // Bytes the page cannot decode are shown as U+FFFD, not dropped.
        {"broken", bytes({0x1C, '&', 0xFF, 'a', '\n'}), "\xEF\xBF\xBD" "a\n"},
        {"unknown table", bytes({0x1B, 't', 99}) + text("ok\n"), "ok\n", {"code table 99 is not known; text is read as UTF-8"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto receipts = printed(c.stream);
        ASSERT_EQ(receipts.size(), 1u);
        EXPECT_EQ(receipts[0].text, c.text);
        EXPECT_EQ(receipts[0].warnings, c.warnings);
    }
}

// 中 is not in the first font; it must still print, over two cells.
TEST(CodePageRoundTrip, CjkIsDrawnFromTheFallbackFont) {
    const auto receipts = printed(bytes({0x1C, '&', 0xD6, 0xD0, '\n'}));
    ASSERT_EQ(receipts.size(), 1u);
    const auto& r = receipts[0];
    int inFirstCell = 0, inSecondCell = 0;
    for (std::uint32_t y = 0; y < r.height; ++y)
        for (std::uint32_t x = 0; x < 24; ++x) (x < 12 ? inFirstCell : inSecondCell) += r.black(x, y);
    EXPECT_GT(inFirstCell, 10);
    EXPECT_GT(inSecondCell, 10);
}

TEST(CodePageRoundTrip, CommandLineConvertsTextsAfterTheOption) {
    Loopback::Receiver server;
    const Testing::Outcome run = Testing::orvik({"print", "--to", "tcp://127.0.0.1:" + std::to_string(server.port()), "--text",
                                                 "\xC3\xA9", "--codepage", "cp866", "--text", "\xD0\x96", "--text",
                                                 "\xE2\x82\xAC", "--codepage", "shift-jis", "--text", "\xE6\x97\xA5"});
    EXPECT_EQ(run.code, 0) << run.output;
    EXPECT_EQ(run.output, "orvik: warning: 1 character(s) of \"\xE2\x82\xAC\" are not in CP866; printed as \"?\"\n");
    EXPECT_EQ(server.received(), bytes({0x1B, '@', 0xC3, 0xA9, '\r', '\n', 0x1B, 't', 17, 0x86, '\r', '\n', '?', '\r',
                                        '\n', 0x1C, 'C', 1, 0x1C, '&', 0x93, 0xFA, '\r', '\n'}));

    const Testing::Outcome bad = Testing::orvik({"print", "--to", "tcp://127.0.0.1:1", "--codepage", "cp999", "--text", "x"});
    EXPECT_EQ(bad.code, 2);
    EXPECT_EQ(bad.output, "orvik: --codepage must be one of CP437, CP850, CP852, CP858, CP866, CP1252, ISO-8859-15, "
                          "GB18030, BIG5, SHIFT_JIS, CP737, not \"cp999\"\n");
}

}  // namespace
}  // namespace OrvikFramework
