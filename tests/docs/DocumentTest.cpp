// Layout, per-character code pages and receiptline documents, read back from the virtual printer.
#include <gtest/gtest.h>

#include <orvik/Layout.h>
#include <orvik/Orvik.h>

#include "support/ReadBack.h"
#include "support/Receipts.h"
#include "support/RecordingTcpSocket.h"
#include "support/TempDir.h"

namespace OrvikFramework {
namespace {

using Layout::Align;
using Layout::ColumnSpec;

std::string file(const std::string& name) {
    const Data bytes = Testing::readFile(std::string(ORVIK_TEST_DOCS) + "/" + name);
    return {bytes.begin(), bytes.end()};
}

TEST(Layout, ColumnsAtEachPaperAndSize) {
    const std::vector<ColumnSpec> specs{{ColumnSpec::Kind::Rest, 0, Align::Left}, {ColumnSpec::Kind::Fixed, 3, Align::Center},
                                        {ColumnSpec::Kind::Fraction, 0.25, Align::Right}};
    const struct {
        const char* profile;
        std::uint8_t size;
        std::vector<std::string> lines;
    } cases[] = {
        {"80mm", 1, {"Croissant au beurre               2         3.50"}},
        {"58mm", 1, {"Croissant au beurre   2     3.50"}},
        {"80mm", 2, {"Croissant au    2   3.50", "beurre"}},
        {"58mm", 2, {"Croissan  2  3.5", "t au           0", "beurre"}},
        {"80mm", 3, {"Croissan  2  3.5", "t au           0", "beurre"}},
        {"58mm", 3, {"Cro  2  3.", "iss     50", "ant", "au", "beu", "rre"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.profile) + " size " + std::to_string(c.size));
        const int width = builtInProfile(c.profile)->columns(c.size);
        EXPECT_EQ(Layout::columns({"Croissant au beurre", "2", "3.50"}, specs, width), c.lines);
    }
}

TEST(Layout, WrapsAtWordsAndCountsWideCharactersTwice) {
    const struct {
        std::string text;
        int width;
        std::vector<std::string> lines;
    } cases[] = {
        {"one two  three", 7, {"one two", "three"}},
        {"Donaudampfschifffahrt ab", 8, {"Donaudam", "pfschiff", "fahrt ab"}},
        {"日本語のテキスト", 5, {"日本", "語の", "テキ", "スト"}},
        {"ＡＢ c", 4, {"ＡＢ", "c"}},
        {"a\nb", 9, {"a", "b"}},
    };
    for (const auto& c : cases) EXPECT_EQ(Layout::wrap(c.text, c.width), c.lines) << c.text;
    EXPECT_EQ(Layout::leftRight("Total", "12.50", 14), std::vector<std::string>{"Total    12.50"});
    EXPECT_EQ(Layout::rule("=", 5), "=====");
}

TEST(ProfileText, PicksACodePagePerRunAndTheVirtualPrinterReadsItBack) {
    Testing::RecordingPrinter printer;
    const auto replaced = printer.sdk.PrintProfileText("Grüße Καλημέρα Привет 5 € 中");
    ASSERT_TRUE(replaced);
    EXPECT_EQ(*replaced, 1);
    const auto receipts = Testing::printed(printer.sent(), {.paperDots = 576});
    ASSERT_EQ(receipts.size(), 1u);
    EXPECT_EQ(receipts[0].width, 576u);
    EXPECT_EQ(receipts[0].text, "Grüße Καλημέρα Привет 5 € ?\n");
    EXPECT_TRUE(receipts[0].warnings.empty());
}

TEST(Document, PreviewsMatchTheirTextAndCodesReadBack) {
    const struct {
        const char* document;
        const char* profile;
        std::string text;
        std::vector<std::string> codes;
        std::vector<std::string> fallbacks;
    } cases[] = {
        {"columns.receipt", "58mm", file("columns.txt"), {}, {}},
        {"codes.receipt", "80mm", "", {"ORVIK-42", "https://orvik.example/r/7"}, {}},
        {"codes.receipt", "58mm-basic", "", {"ORVIK-42", "https://orvik.example/r/7"},
         {"printer profile 58mm-basic has no QR codes; it is sent as a picture"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.document) + " on " + c.profile);
        Testing::RecordingPrinter printer;
        printer.sdk.Profile = *builtInProfile(c.profile);
        std::vector<std::string> fallbacks;
        EXPECT_EQ(printer.sdk.PrintDocument(file(c.document), &fallbacks), std::nullopt);
        EXPECT_EQ(fallbacks, c.fallbacks);
        std::string text;
        std::vector<std::string> codes;
        for (const VirtualPrinter::Receipt& r : Testing::printed(printer.sent(), {.paperDots = printer.sdk.Profile.widthDots})) {
            text += r.text;
            for (const ZXing::Result& result : ZXing::ReadBarcodes(Testing::pictureOf(r))) codes.push_back(result.text());
        }
        EXPECT_EQ(text, c.text);
        std::sort(codes.begin(), codes.end());
        EXPECT_EQ(codes, c.codes);
    }
}

}  // namespace
}  // namespace OrvikFramework
