// Receipts as printed: dot-exact images, text placement, styles, cuts and limits.
#include <random>

#include <gtest/gtest.h>

#include <orvik/ImageConversion.h>

#include "support/Bytes.h"
#include "support/Receipts.h"

namespace OrvikFramework::VirtualPrinter {
namespace {

using Testing::text;
using Testing::operator+;
using Testing::printed;

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

TEST(RendererTest, RasterImagesPrintDotExactInEveryMode) {
    std::mt19937 random(5);
    const std::uint32_t widthBytes = 6, rows = 20;
    Data image(widthBytes * rows);
    for (std::uint8_t& b : image) b = static_cast<std::uint8_t>(random());
    for (std::uint8_t mode : {0, 1, 2, 3, 48, 51}) {
        SCOPED_TRACE(int{mode});
        const int sx = (mode % 48) & 1 ? 2 : 1, sy = (mode % 48) & 2 ? 2 : 1;
        const std::vector<Receipt> receipts = printed(Data{0x1D, 'v', '0', mode, widthBytes, 0, rows, 0} + image);
        ASSERT_EQ(receipts.size(), 1u);
        // Read back from its PNG bytes, so the encoder is checked too.
        const auto back = convertPicture(encodePng(receipts[0]), {.width = 384, .dither = Dither::Threshold});
        ASSERT_TRUE(back) << back.error().message;
        ASSERT_EQ(back->height, rows * sy);
        for (std::uint32_t y = 0; y < back->height; ++y)
            for (std::uint32_t x = 0; x < back->width; ++x) {
                const std::uint32_t col = x / sx, row = y / sy;
                const bool expected = col < widthBytes * 8 && (image[row * widthBytes + col / 8] & (0x80 >> (col % 8)));
                ASSERT_EQ(back->black(x, y), expected) << x << "," << y;
            }
    }
}

TEST(RendererTest, PlacesTextByFontSizeAndAlignment) {
    // Ten characters "MMMMMMMMMM" on 384 dots.
    const struct {
        std::string name;
        Data setup;
        int left, right, maxHeight;
    } cases[] = {
        {"FontALeft", {}, 0, 119, 24},
        {"FontB", text("\x1B!\x01"), 0, 89, 17},
        {"DoubleWidth", text("\x1B!\x20"), 0, 239, 24},
        {"DoubleHeight", text("\x1B!\x10"), 0, 119, 48},
        {"Centered", text("\x1B" "a1"), 132, 251, 24},
        {"Right", text("\x1B" "a2"), 264, 383, 24},
        {"TripleSize", text("\x1D!\x22"), 0, 359, 72},
    };
    for (const auto& c : cases) {
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
        const std::vector<std::uint8_t> pixels = printed(stream)[0].pixels;
        return std::count_if(pixels.begin(), pixels.end(), [](std::uint8_t p) { return p < 128; });
    };
    const auto plain = ink(text("Hello\n"));
    EXPECT_GT(ink(text("\x1B" "E\x01Hello\n")), plain);
    EXPECT_GT(ink(text("\x1B!\x08Hello\n")), plain);
    const Receipt underlined = printed(text("\x1B-\x02Hi\n"))[0];
    for (std::uint32_t x = 0; x < 24; ++x) EXPECT_TRUE(underlined.black(x, 23) && underlined.black(x, 22)) << x;
}

TEST(RendererTest, WrapsLongLinesAndRendersUtf8AndBrokenUtf8) {
    const Receipt wrapped = printed(Data(40, 'W') + text("\n"))[0];
    EXPECT_EQ(wrapped.height, 60u);  // 32 cells fit a line; the rest wraps onto a second
    EXPECT_GT(inkBox(printed(text("\xC3\xA9\n"))[0]).right, 0);
    EXPECT_EQ(printed(text("\xC3\n\xFF\n"))[0].height, 60u);
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

}  // namespace
}  // namespace OrvikFramework::VirtualPrinter
