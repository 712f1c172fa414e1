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
        EXPECT_EQ(printer.socket->pieces, std::vector<Data>{c.command});
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
        printer.socket->pieces.clear();
        EXPECT_EQ(*printer.sdk.PrintCodePageText(c.utf8), c.replaced);
        EXPECT_EQ(printer.sent(), c.expected + bytes({'\r', '\n'}));
    }
}

TEST(CodePageRoundTrip, VirtualPrinterReadsBackEveryPage) {
    const struct {
        CodePage page;
        std::string line;
        std::string multiByteCharset = "GB18030";
    } cases[] = {
        {CodePage::CP437, "na\xC3\xAFve \xC2\xBD \xE2\x94\x80\xE2\x94\x80"},       // naïve ½ ──
        {CodePage::CP850, "\xC3\x98re, \xC3\xA7\xC3\xA0 co\xC3\xBBte"},            // Øre, çà coûte
        {CodePage::CP852, "\xC5\x81\xC3\xB3\x64\xC5\xBA, \xC4\x8D\x65\xC5\xA1tina"},  // Łódź, čeština
        {CodePage::CP858, "5,00 \xE2\x82\xAC"},                                     // 5,00 €
        {CodePage::CP866, "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82, \xD0\xBC\xD0\xB8\xD1\x80"},  // Привет, мир
        {CodePage::CP1252, "Gr\xC3\xBC\xC3\x9F\x65 \xE2\x80\x93 Se\xC3\xB1or \xE2\x82\xAC"},  // Grüße – Señor €
        {CodePage::ISO8859_15, "\xC5\x92uvre \xE2\x82\xAC"},                       // Œuvre €
        {CodePage::GB18030, "\xE4\xBD\xA0\xE5\xA5\xBD\xEF\xBC\x8C\xE4\xB8\x96\xE7\x95\x8C"},  // 你好，世界
        {CodePage::Big5, "\xE5\x8F\xB0\xE5\x8C\x97\xE5\xB8\x82", "BIG5"},         // 台北市
        {CodePage::ShiftJIS, "\xE3\x81\x93\xE3\x82\x93\xE3\x81\xAB\xE3\x81\xA1\xE3\x81\xAF 2024\xE5\xB9\xB4"},  // こんにちは 2024年
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(codePageInfo(c.page).name));
        VirtualPrinter::RenderOptions options;
        options.multiByteCharset = c.multiByteCharset;
        Printer printer;
        printer.sdk.InitPrinter();
        printer.sdk.SelectCodePage(c.page);
        EXPECT_EQ(*printer.sdk.PrintCodePageText(c.line), 0);
        const auto receipts = printed(printer.sent(), options);
        ASSERT_EQ(receipts.size(), 1u);
        EXPECT_EQ(receipts[0].text, c.line + "\n");
        EXPECT_TRUE(receipts[0].warnings.empty());
    }
}

TEST(CodePageRoundTrip, PrinterModesFollowTheCommands) {
    const std::string utf8 = "\xC3\xA9";  // é
    const struct {
        const char* name;
        Data stream;
        std::string text;
    } cases[] = {
        // ESC @ returns to UTF-8 text and leaves multi-byte mode.
        {"reset", bytes({0x1B, 't', 16, 0xE9, '\n', 0x1C, '&', 0x1B, '@'}) + text(utf8 + "\n"), "\xC3\xA9\n" + utf8 + "\n"},
        // FS . goes back to the single-byte table still selected.
        {"leave", bytes({0x1B, 't', 17, 0x1C, '&', 0xD6, 0xD0, 0x1C, '.', 0x80, '\n'}),
         "\xE4\xB8\xAD\xD0\x90\n"},  // 中А
        // FS C 0 is JIS: the Shift_JIS printer's row-and-cell pairs without high bits.
        {"jis", bytes({0x1C, 'C', 0, 0x1C, '&', 0x46, 0x7C, '\n'}), "\xE6\x97\xA5\n"},  // 日
        // Bytes the page cannot decode are shown as U+FFFD, not dropped.
        {"broken", bytes({0x1C, '&', 0xFF, 'a', '\n'}), "\xEF\xBF\xBD" "a\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto receipts = printed(c.stream);
        ASSERT_EQ(receipts.size(), 1u);
        EXPECT_EQ(receipts[0].text, c.text);
    }
}

TEST(CodePageRoundTrip, UnknownTableIsReportedAndCjkIsDrawnFromTheFallbackFont) {
    auto receipts = printed(bytes({0x1B, 't', 99}) + text("ok\n"));
    ASSERT_EQ(receipts.size(), 1u);
    EXPECT_EQ(receipts[0].text, "ok\n");
    EXPECT_EQ(receipts[0].warnings, std::vector<std::string>{"code table 99 is not known; text is read as UTF-8"});

    // 中 is not in the first font; it must still print, over two cells.
    receipts = printed(bytes({0x1C, '&', 0xD6, 0xD0, '\n'}));
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
    const std::string to = "tcp://127.0.0.1:" + std::to_string(server.port());
    const Testing::Outcome run = Testing::orvik({"print", "--to", to, "--text", "\xC3\xA9", "--codepage", "cp866", "--text",
                                                 "\xD0\x96", "--text", "\xE2\x82\xAC", "--codepage", "shift-jis",
                                                 "--text", "\xE6\x97\xA5"});
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
