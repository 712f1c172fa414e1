#include <gtest/gtest.h>

#include "core/BmpRaster.h"
#include "support/BmpBuilder.h"

namespace OrvikFramework {
namespace {

using Testing::BmpLayout;

std::variant<Data, std::string> rowsOf(const BmpLayout& layout) {
    return BmpRaster::printerRows(Testing::bmpFile(layout), layout.width, layout.height);
}

std::string reason(const std::variant<Data, std::string>& result) {
    const auto* why = std::get_if<std::string>(&result);
    return why ? *why : "";
}

TEST(BmpRaster, PaletteTopDownAndColourTableSizeDecideTheRows) {
    struct Case {
        const char* name;
        BmpLayout layout;
    };
    const std::vector<Case> cases = {
        {"black first", {.width = 33, .height = 3}},
        {"white first prints positive", {.width = 33, .height = 3, .palette = {0xFFFFFF, 0x000000}}},
        {"dark blue and yellow", {.width = 20, .height = 2, .palette = {0xFFFF00, 0x000080}}},
        {"both alike print colour 0", {.width = 9, .height = 2, .palette = {0x000000, 0x000000}}},
        {"top-down", {.width = 17, .height = 6, .topDown = true}},
        {"top-down white first", {.width = 17, .height = 6, .palette = {0xFFFFFF, 0}, .topDown = true}},
        {"larger colour table", {.width = 40, .height = 4, .extraColours = 2}},
        {"bytes after the pixels", {.width = 8, .height = 2, .trailing = {1, 2, 3}}},
    };
    for (const Case& c : cases) EXPECT_EQ(std::get<Data>(rowsOf(c.layout)), Testing::expectedRows(c.layout)) << c.name;
}

TEST(BmpRaster, StandardFileGivesComplementedBytesBottomRowLast) {
    // 384 x 2: the file holds the bottom row at 62..109 and the top row at 110..157.
    Data file = Testing::bmpFile({.width = 384, .height = 2});
    ASSERT_EQ(file.size(), 158u);
    for (std::size_t i = 62; i < 158; ++i) file[i] = static_cast<std::uint8_t>(i);
    Data expected;
    for (std::size_t i = 110; i < 158; ++i) expected.push_back(static_cast<std::uint8_t>(~i));
    for (std::size_t i = 62; i < 110; ++i) expected.push_back(static_cast<std::uint8_t>(~i));
    EXPECT_EQ(std::get<Data>(BmpRaster::printerRows(file, 384, 2)), expected);
}

TEST(BmpRaster, UnusableFilesAreRefusedWithAReason) {
    const Data good = Testing::bmpFile({.width = 33, .height = 5});
    Data truncated(good.begin(), good.end() - 1);
    Data notBmp = good;
    notBmp[0] = 'X';
    Data offsetInHeader = good;
    offsetInHeader[10] = 20;
    Data compressed = good;
    compressed[30] = 1;
    Data smallHeader = good;
    smallHeader[14] = 39;
    const Data trueColour = Testing::bmpFile({.width = 33, .height = 5, .bitCount = 24});
    const std::vector<std::tuple<const char*, Data, std::string>> cases = {
        {"truncated", truncated, "file is cut short: 101 of 102 bytes"},
        {"empty file", {}, "not a BMP file"},
        {"no signature", notBmp, "not a BMP file"},
        {"unknown header", smallHeader, "not a BMP file (header of 39 bytes)"},
        {"offset inside header", offsetInHeader, "pixel data offset 20 inside the header"},
        {"compressed", compressed, "compressed BMP, only uncompressed pictures print"},
        {"24-bit", trueColour, "24 bits per pixel, only 1-bit pictures print"},
    };
    for (const auto& [name, file, why] : cases) EXPECT_EQ(reason(BmpRaster::printerRows(file, 33, 5)), why) << name;
    EXPECT_EQ(reason(BmpRaster::printerRows(good, 0, 5)), "empty picture");
    EXPECT_EQ(reason(BmpRaster::printerRows(good, 33, 0)), "empty picture");
}

}  // namespace
}  // namespace OrvikFramework
