// Receipts as printed: barcodes that a reader accepts, dot-exact images, text placement, cuts and limits.
#include <stb_image.h>

#include <random>

#include <gtest/gtest.h>

#include "support/Bytes.h"
#include "support/ReadBack.h"
#include "support/Receipts.h"

namespace OrvikFramework::VirtualPrinter {
namespace {

using Testing::text;
using Testing::operator+;
using Testing::printed;

// The receipt read back from its PNG bytes, so the encoder is checked too.
Receipt fromPng(const Data& png) {
    int w = 0, h = 0, channels = 0;
    stbi_uc* pixels = stbi_load_from_memory(png.data(), static_cast<int>(png.size()), &w, &h, &channels, 1);
    Receipt r;
    if (!pixels) return r;
    r.width = static_cast<std::uint32_t>(w);
    r.height = static_cast<std::uint32_t>(h);
    r.pixels.assign(pixels, pixels + w * h);
    stbi_image_free(pixels);
    return r;
}

struct Box {
    int left = 1 << 30, right = -1, top = 1 << 30, bottom = -1;
};

Box inkBox(const Receipt& r) {
    Box b;
    for (int y = 0; y < int(r.height); ++y)
        for (int x = 0; x < int(r.width); ++x)
            if (r.black(x, y)) b = {std::min(b.left, x), std::max(b.right, x), std::min(b.top, y), std::max(b.bottom, y)};
    return b;
}

TEST(RendererTest, BarcodesReadBackWithAScanner) {
    struct Case {
        Data command;
        ZXing::BarcodeFormats format;
        std::string text;
    };
    const std::vector<Case> cases = {
        {text("\x1Dk\x04" "CODE-39") + Data{0}, ZXing::BarcodeFormat::Code39, "CODE-39"},
        {text("\x1Dk\x45\x05" "A1$/%"), ZXing::BarcodeFormat::Code39, "A1$/%"},
        // Code set C takes each digit pair as one byte, 0-99.
        {text("\x1Dk\x49\x0D{BOrvik {C\x0C\x22\x38"), ZXing::BarcodeFormat::Code128, "Orvik 123456"},
        {text("\x1Dk\x49\x08{Ba~ Z?!"), ZXing::BarcodeFormat::Code128, "a~ Z?!"},
        {text("\x1Dk\x02" "400638133393") + Data{0}, ZXing::BarcodeFormat::EAN13, "4006381333931"},
        {text("\x1Dk\x43\x0D" "9780201379624"), ZXing::BarcodeFormat::EAN13, "9780201379624"},
        {Data{0x1D, 'k', 0x00} + text("03600029145") + Data{0}, ZXing::BarcodeFormat::UPCA | ZXing::BarcodeFormat::EAN13, "036000291452"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const std::vector<Receipt> receipts = printed(text("\x1DH\x02\x1Dh\x50\x1Dw\x02") + c.command);
        ASSERT_EQ(receipts.size(), 1u);
        ASSERT_TRUE(receipts[0].warnings.empty()) << receipts[0].warnings[0];
        const Receipt back = fromPng(encodePng(receipts[0]));
        const ZXing::Result result = Testing::readCode(back, c.format);
        EXPECT_EQ(result.isValid() ? result.text() : "unread", c.text);
    }
}

TEST(RendererTest, RejectsContentABarcodeCannotCarry) {
    for (const Data& command : {text("\x1Dk\x04" "lower") + Data{0}, text("\x1Dk\x02" "12345") + Data{0},
                                text("\x1Dk\x43\x0D" "9780201379625"), text("\x1Dk\x49\x03{C\x64"),
                                text("\x1Dk\x05" "123") + Data{0}}) {
        const std::vector<Receipt> receipts = printed(command + text("x\n"));
        ASSERT_EQ(receipts.size(), 1u);
        SCOPED_TRACE(dumpText(receipts[0]));
        EXPECT_EQ(receipts[0].warnings.size(), 1u);
    }
}

TEST(RendererTest, RasterImagesPrintDotExactInEveryMode) {
    std::mt19937 random(5);
    const std::uint32_t widthBytes = 6, rows = 20;
    Data image(widthBytes * rows);
    for (std::uint8_t& b : image) b = static_cast<std::uint8_t>(random());
    for (std::uint8_t mode : {0, 1, 2, 3, 48, 51}) {
        SCOPED_TRACE(int{mode});
        const int sx = (mode % 48) & 1 ? 2 : 1, sy = (mode % 48) & 2 ? 2 : 1;
        const Data header = {0x1D, 'v', '0', mode, widthBytes, 0, rows, 0};
        const std::vector<Receipt> receipts = printed(header + image);
        ASSERT_EQ(receipts.size(), 1u);
        const Receipt back = fromPng(encodePng(receipts[0]));
        ASSERT_EQ(back.height, rows * sy);
        for (std::uint32_t y = 0; y < back.height; ++y)
            for (std::uint32_t x = 0; x < back.width; ++x) {
                const std::uint32_t col = x / sx, row = y / sy;
                const bool expected = col < widthBytes * 8 && (image[row * widthBytes + col / 8] & (0x80 >> (col % 8)));
                ASSERT_EQ(back.black(x, y), expected) << x << "," << y;
            }
    }
}

TEST(RendererTest, PlacesTextByFontSizeAndAlignment) {
    struct Case {
        std::string name;
        Data setup;
        int left, right, maxHeight;
    };
    // Ten characters "MMMMMMMMMM" on 384 dots.
    const std::vector<Case> cases = {
        {"FontALeft", {}, 0, 119, 24},
        {"FontB", text("\x1B!\x01"), 0, 89, 17},
        {"DoubleWidth", text("\x1B!\x20"), 0, 239, 24},
        {"DoubleHeight", text("\x1B!\x10"), 0, 119, 48},
        {"Centered", text("\x1B" "a1"), 132, 251, 24},
        {"Right", text("\x1B" "a2"), 264, 383, 24},
        {"TripleSize", text("\x1D!\x22"), 0, 359, 72},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<Receipt> receipts = printed(c.setup + text("MMMMMMMMMM\r\n"));
        ASSERT_EQ(receipts.size(), 1u);
        const Box box = inkBox(receipts[0]);
        EXPECT_GE(box.left, c.left);
        EXPECT_LE(box.left, c.left + 3 * (c.right - c.left + 1) / 120 + 2);
        EXPECT_LE(box.right, c.right);
        EXPECT_GE(box.right, c.right - 3 * (c.right - c.left + 1) / 120 - 2);
        EXPECT_LT(box.bottom - box.top, c.maxHeight);
    }
}

TEST(RendererTest, StylesAddInkAndUnderlineSpansTheCells) {
    const auto ink = [](const Data& stream) {
        const Receipt r = printed(stream)[0];
        std::size_t n = 0;
        for (std::uint8_t p : r.pixels) n += p < 128;
        return n;
    };
    const std::size_t plain = ink(text("Hello\n"));
    EXPECT_GT(ink(text("\x1B" "E\x01Hello\n")), plain);
    EXPECT_GT(ink(text("\x1B!\x08Hello\n")), plain);
    const Receipt underlined = printed(text("\x1B-\x02Hi\n"))[0];
    for (std::uint32_t x = 0; x < 24; ++x) EXPECT_TRUE(underlined.black(x, 23) && underlined.black(x, 22)) << x;
}

TEST(RendererTest, WrapsLongLinesAndRendersUtf8AndBrokenUtf8) {
    const Receipt wrapped = printed(Data(40, 'W') + text("\n"))[0];
    EXPECT_EQ(wrapped.height, 60u);  // 32 cells fit a line; the rest wraps onto a second
    const Receipt accented = printed(text("\xC3\xA9\n"))[0];
    const Receipt broken = printed(text("\xC3\n\xFF\n"))[0];
    EXPECT_GT(inkBox(accented).right, 0);
    EXPECT_EQ(broken.height, 60u);
}

TEST(RendererTest, CutsEndReceiptsAndLongRunsAreContinued) {
    EXPECT_EQ(printed(text("one\n\x1Bm" "two\n\x1DV\x42\x10" "three\n")).size(), 3u);
    EXPECT_EQ(printed(text("\x1Bm\x1Bm" "only\n\x1Bm")).size(), 1u);
    Data feeds = text("top\n");
    for (int i = 0; i < 10; ++i) feeds = feeds + Data{0x1B, 'J', 200};
    const std::vector<Receipt> receipts = printed(feeds, {.longestReceipt = 500});
    ASSERT_EQ(receipts.size(), 5u);
    EXPECT_EQ(receipts[0].warnings.size(), 1u);
    for (const Receipt& r : receipts) EXPECT_LE(r.height, 500u);
}

TEST(RendererTest, SameCommandsGiveIdenticalPngBytesOnEveryPaper) {
    const Data stream = text("\x1B@\x1B" "a1\x1B!\x38Total\r\n\x1D" "H\x02\x1Dk\x04" "12") + Data{0} +
                        text("\x1B" "a2\xE2\x82\xAC 9.99\r\n\x1Bm");
    for (std::uint32_t dots : {384u, 576u}) {
        const Data first = encodePng(printed(stream, {.paperDots = dots}).at(0));
        EXPECT_EQ(encodePng(printed(stream, {.paperDots = dots}).at(0)), first);
        EXPECT_EQ(fromPng(first).width, dots);
    }
}

}  // namespace
}  // namespace OrvikFramework::VirtualPrinter
