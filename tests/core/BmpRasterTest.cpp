#include <gtest/gtest.h>

#include "core/BmpRaster.h"
#include "support/BmpBuilder.h"

namespace OrvikFramework {
namespace {

using Testing::BmpLayout;

std::string reason(const std::variant<Data, std::string>& result) {
    const auto* why = std::get_if<std::string>(&result);
    return why ? *why : "";
}

TEST(BmpRaster, PaletteTopDownAndColourTableSizeDecideTheRows) {
    const std::pair<const char*, BmpLayout> cases[] = {
        {"black first", {.width = 33, .height = 3}},
        {"white first prints positive", {.width = 33, .height = 3, .palette = {0xFFFFFF, 0x000000}}},
        {"dark blue and yellow", {.width = 20, .height = 2, .palette = {0xFFFF00, 0x000080}}},
        {"both alike print colour 0", {.width = 9, .height = 2, .palette = {0x000000, 0x000000}}},
        {"top-down", {.width = 17, .height = 6, .topDown = true}},
        {"top-down white first", {.width = 17, .height = 6, .palette = {0xFFFFFF, 0}, .topDown = true}},
        {"larger colour table", {.width = 40, .height = 4, .extraColours = 2}},
        {"bytes after the pixels", {.width = 8, .height = 2, .trailing = {1, 2, 3}}},
    };
    for (const auto& [name, layout] : cases) {
        EXPECT_EQ(std::get<Data>(BmpRaster::printerRows(Testing::bmpFile(layout), layout.width, layout.height)),
                  Testing::expectedRows(layout))
            << name;
    }
}

TEST(BmpRaster, UnusableFilesAreRefusedWithAReason) {
    const Data good = Testing::bmpFile({.width = 33, .height = 5});
    const auto with = [&good](std::size_t at, std::uint8_t value) {
        Data file = good;
        file[at] = value;
        return file;
    };
    const std::vector<std::tuple<const char*, Data, std::string>> cases = {
        {"truncated", Data(good.begin(), good.end() - 1), "file is cut short: 101 of 102 bytes"},
        {"empty file", {}, "not a BMP file"},
        {"no signature", with(0, 'X'), "not a BMP file"},
        {"unknown header", with(14, 39), "not a BMP file (header of 39 bytes)"},
        {"offset inside header", with(10, 20), "pixel data offset 20 inside the header"},
        {"compressed", with(30, 1), "compressed BMP, only uncompressed pictures print"},
        {"24-bit", Testing::bmpFile({.width = 33, .height = 5, .bitCount = 24}), "24 bits per pixel, only 1-bit pictures print"},
    };
    for (const auto& [name, file, why] : cases) EXPECT_EQ(reason(BmpRaster::printerRows(file, 33, 5)), why) << name;
    EXPECT_EQ(reason(BmpRaster::printerRows(good, 0, 5)), "empty picture");
    EXPECT_EQ(reason(BmpRaster::printerRows(good, 33, 0)), "empty picture");
}

}  // namespace
}  // namespace OrvikFramework
