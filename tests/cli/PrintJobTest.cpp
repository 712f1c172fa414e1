#include <gtest/gtest.h>

#include <cstdio>
#include <tuple>

#include "CliError.h"
#include "Link.h"
#include "Progress.h"
#include "PrintJob.h"
#include "support/Bytes.h"

namespace OrvikFramework::Cli {
namespace {

using Testing::text;
using Testing::operator+;

const Data init{0x1b, '@'};

TEST(PrintJobTest, ItemsPrintInOrderWithTheirOwnStyles) {
    const std::tuple<const char*, std::vector<OrderedOption>, Data> cases[] = {
        {"styles stay until changed",
         {{"align", "center"}, {"bold", ""}, {"double-height", ""}, {"text", "T"}, {"text", "b"}, {"plain", ""}, {"align", "left"}, {"text", "c"}},
         init + Data{0x1b, 'a', '1', 0x1b, '!', 0x18} + text("T\r\nb\r\n") + Data{0x1b, 'a', '0', 0x1b, '!', 0} + text("c\r\n")},
        {"unchanged styles are not repeated",
         {{"underline", ""}, {"font-b", ""}, {"double-width", ""}, {"text", "a"}, {"font-b", ""}, {"underline", ""},
          {"double-width", ""}, {"text", "b"}},
         init + Data{0x1b, '!', 0xa1} + text("a\r\n") + text("b\r\n")},
        {"barcode with its text above, right-aligned",
         {{"align", "right"}, {"hri", "above"}, {"barcode", "AB-12"}, {"barcode", "9"}},
         init + Data{0x1b, 'a', '2', 0x1d, 'H', 1, 0x1d, 'h', 80, 0x1d, 'w', 2, 0x1d, 'k', 4} + text("AB-12") +
             Data{0, '\r', '\n'} + Data{0x1d, 'H', 2, 0x1d, 'h', 80, 0x1d, 'w', 2, 0x1d, 'k', 4} +
             text("9") + Data{0, '\r', '\n'}},
        {"feed and cut where given", {{"feed", "3"}, {"text", "x"}, {"cut", ""}, {"feed", "255"}},
         init + Data{0x1b, 'J', 3} + text("x\r\n") + Data{0x1b, 'm', 0x1b, 'J', 255}},
        {"everyday items in their places",
         {{"drawer", "5"}, {"size", "2x3"}, {"invert", ""}, {"upside-down", ""}, {"symbology", "ean8"},
          {"barcode", "9638507"}, {"beep", ""}},
         init + Data{0x1b, 'p', 1, 25, 250, 0x1d, '!', 0x12, 0x1d, 'B', 1, 0x1b, '{', 1, 0x1d, 'H', 2, 0x1d, 'f', 0,
                     0x1d, 'h', 80, 0x1d, 'w', 2, 0x1d, 'k', 68, 8} + text("96385074") + Data{0x1b, 'B', 1, 1}},
        {"link options are not items", {{"to", "tcp://h:1"}, {"width", "576"}, {"cut", ""}}, init + Data{0x1b, 'm'}},
    };
    for (const auto& [what, options, bytes] : cases) {
        SCOPED_TRACE(what);
        EXPECT_EQ(buildJob([&options](Orvik& sdk) { PrintJob::fromOptions(options).play(sdk); }), bytes);
    }
}

TEST(PrintJobTest, RejectsOptionsThatWouldPrintWrongly) {
    const std::pair<std::vector<OrderedOption>, const char*> cases[] = {
        {{{"hri", "none"}, {"text", "a"}}, "--hri must come before the --barcode it applies to"},
        {{{"align", "middle"}, {"text", "a"}}, "--align must be left, center or right, not \"middle\""},
        {{{"hri", "beside"}, {"barcode", "1"}}, "--hri must be none, above or below, not \"beside\""},
        {{{"barcode", "abc"}}, "--barcode \"abc\": CODE39 allows only 0-9, A-Z, space and - . $ / + %"},
        {{{"barcode", ""}}, "--barcode needs data"},
        {{{"barcode", std::string(256, '1')}}, "--barcode data is longer than 255 characters"},
        {{{"symbology", "qr"}, {"barcode", "1"}},
         "--symbology must be upca, upce, ean13, ean8, code39, itf, codabar, code93, code128 or gs1-128, not \"qr\""},
        {{{"symbology", "itf"}, {"barcode", "123"}}, "--barcode: ITF takes an even number of digits"},
        {{{"drawer", "3"}}, "--drawer must be 2 or 5, not \"3\""},
        {{{"size", "9x1"}}, "--size width must be a number from 1 to 8, not \"9\""},
        {{{"feed", "256"}}, "--feed must be a number from 0 to 255, not \"256\""},
        {{{"feed", "2x"}}, "--feed must be a number from 0 to 255, not \"2x\""},
        {{{"feed", "-1"}}, "--feed must be a number from 0 to 255, not \"-1\""},
        {{{"image-mode", "dots"}, {"image", "a.png"}}, "--image-mode must be raster, graphics or column, not \"dots\""},
        {{{"image", "a.png"}, {"image-mode", "column"}}, "--image-mode must come before the --image it applies to"},
        {{{"qr-ecc", "H"}, {"qr", std::string(1300, 'x')}}, "--qr: QR code data of 1300 bytes does not fit a symbol at this level"},
        {{}, "nothing to print: give --text, --barcode, --qr, --image, --doc, --feed or --cut"},
    };
    for (const auto& [options, message] : cases) {
        SCOPED_TRACE(message);
        try {
            PrintJob::fromOptions(options);
            ADD_FAILURE() << "accepted";
        } catch (const CliError& e) {
            EXPECT_EQ(e.code(), Exit::Usage);
            EXPECT_EQ(std::string(e.what()), message);
        }
    }
}

TEST(PrintJobTest, ProgressBarDrawsOnlyOnTerminalsForLongJobs) {
    const auto draw = [](std::uint64_t total) {
        char drawn[256] = {};
        std::FILE* out = ::fmemopen(drawn, sizeof drawn - 1, "w");
        ProgressBar(total, out, true).update(total / 2);
        ProgressBar(total, out, true).update(total);
        std::fclose(out);
        return std::string(drawn);
    };
    EXPECT_EQ(draw(ProgressBar::threshold), "");
    EXPECT_EQ(draw(1 << 20), "\r[###############---------------]  50% 512/1024 KB\n"
                             "\r[##############################] 100% 1024/1024 KB\n");
}

}  // namespace
}  // namespace OrvikFramework::Cli
