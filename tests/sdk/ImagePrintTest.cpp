// Loading 1-bit BMP files and printing them in 5-row and 64-row bands.
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <orvik/OrvikFramework.h>

#include "core/Bands.h"
#include "support/BmpBuilder.h"
#include "support/Bytes.h"
#include "support/SdkFixtures.h"

namespace OrvikFramework {
namespace {

using Testing::BmpLayout;
using Testing::operator+;
using ::testing::ElementsAre;
using Pieces = std::vector<Data>;

// The commands each print operation should send, built from the expected rows band by band.
Pieces expectedBmpCommands(const Data& rows, std::int64_t R, bool oneBufferPerBand, std::int64_t bandRows) {
    Pieces pieces;
    for (Bands::Band& band : Bands::split(rows, R, bandRows)) {
        const std::uint8_t m = !oneBufferPerBand && band.rows < bandRows ? 0x30 : 0x00;
        pieces.push_back({0x1D, 0x76, 0x30, m, std::uint8_t(R % 256), std::uint8_t(R / 256), std::uint8_t(band.rows), 0x00});
        if (oneBufferPerBand) {
            pieces.back().insert(pieces.back().end(), band.bytes.begin(), band.bytes.end());
        } else {
            pieces.push_back(std::move(band.bytes));
        }
    }
    return pieces;
}

class ImagePrint : public Testing::DocumentsSdk {
protected:
    BmpLayout write(const std::string& name, BmpLayout layout) {
        documents.write(name, Testing::bmpFile(layout));
        return layout;
    }
};

TEST_F(ImagePrint, EverySizeLoadsAndPrintsTheIndependentlyPackedRows) {
    for (const std::int64_t width : {1, 7, 8, 31, 32, 33, 384, 576}) {
        for (const std::int64_t height : {1, 4, 5, 6, 63, 64, 65, 129}) {
            // Both padding patterns: bits right of the picture must print as nothing either way.
            const auto padding = static_cast<std::uint8_t>(height % 2 ? 0x00 : 0xFF);
            const BmpLayout layout = write("p.bmp", {.width = width, .height = height, .padding = padding});
            const Data rows = Testing::expectedRows(layout);
            const std::int64_t R = (width + 31) / 32 * 4;
            const std::string size = std::to_string(width) + "x" + std::to_string(height);
            log.clear();
            EXPECT_EQ(sdk.LoadBMPFile("p.bmp"), (BMPLoadResult{width, height, 32, R, rows})) << size;
            EXPECT_THAT(log.lines(), ElementsAre("Optional(" + std::to_string(width) + ")",
                                                 "Optional(" + std::to_string(height) + ")", "Optional(32)"));
            EXPECT_TRUE(sdk.PrintBMPFile("p.bmp")) << size;
            EXPECT_EQ(sent(), expectedBmpCommands(rows, R, true, 5)) << size;
            sdk.PrintReceiptImageFile("p.bmp");
            EXPECT_EQ(sent(), expectedBmpCommands(rows, R, false, 64)) << size;
        }
    }
}

TEST_F(ImagePrint, FiveRowBandsLogTheirIndexAndTheLastBandItsBytes) {
    // The height, the band lines, and how many bytes the last band logs with which prefix.
    const std::tuple<std::int64_t, std::vector<std::string>, std::size_t, std::string> cases[] = {
        {12, {"nY Pos :  0", "nY Pos :  1"}, 96, "02 : "},
        {10, {"nY Pos :  0", "nY Pos :  1"}, 0, ""},
        {3, {}, 144, "00 : "},
    };
    for (const auto& [height, bandLines, byteLines, bytePrefix] : cases) {
        const Data rows = Testing::expectedRows(write("p.bmp", {.width = 384, .height = height}));
        std::vector<std::string> expected = bandLines;
        for (std::size_t i = rows.size() - byteLines; i < rows.size(); ++i) {
            char line[16];
            std::snprintf(line, sizeof line, "%s%02X", bytePrefix.c_str(), rows[i]);
            expected.push_back(line);
        }
        log.clear();
        ASSERT_TRUE(sdk.PrintBMPFile("p.bmp"));
        EXPECT_EQ(log.lines(), expected) << height;
    }
}

TEST_F(ImagePrint, RowLengthGoesIntoBothHeaderBytesUpToTheLimit) {
    const std::vector<std::tuple<std::int64_t, std::uint8_t, std::uint8_t>> cases = {
        {1000, 0x80, 0x00}, {2100, 0x08, 0x01}, {524256, 0xFC, 0xFF}};
    for (const auto& [width, xL, xH] : cases) {
        write("w.bmp", {.width = width, .height = 1, .index = [](std::int64_t, std::int64_t) { return 1; }});
        EXPECT_TRUE(sdk.PrintBMPFile("w.bmp"));
        sdk.PrintReceiptImageFile("w.bmp");
        const Pieces pieces = sent();
        ASSERT_EQ(pieces.size(), 3u) << width;
        for (const Data& piece : {pieces[0], pieces[1]}) EXPECT_EQ(std::pair(piece[4], piece[5]), std::pair(xL, xH)) << width;
    }
    // One byte more per row than xL and xH can say: refused, where it would have printed as noise.
    write("wide.bmp", {.width = 524257, .height = 1});
    EXPECT_EQ(sdk.LoadBMPFile("wide.bmp").bytesPerRow, 65536);
    log.clear();
    EXPECT_FALSE(sdk.PrintBMPFile("wide.bmp"));
    sdk.PrintReceiptImageFile("wide.bmp");
    EXPECT_TRUE(sent().empty());
    EXPECT_TRUE(log.contains("Orvik: picture too wide for the raster command (65536 bytes per row)"));
}

TEST_F(ImagePrint, UnusableFilesPrintNothingAndSayWhy) {
    const Data good = Testing::bmpFile({.width = 16, .height = 6});
    const Data pgm = {'P', '5', ' ', '1', ' ', '1', ' ', '2', '5', '5', '\n', 0x00};
    const std::vector<std::tuple<const char*, std::optional<Data>, std::string>> cases = {
        {"missing", std::nullopt, "No such file or directory"},
        {"zero-sized", Data{}, "not a picture"},
        {"not a picture", Data{'B', 'M', 'x', 'y'}, "not a picture"},
        {"truncated", Data(good.begin(), good.end() - 4), "file is cut short: 82 of 86 bytes"},
        {"other format", pgm, "not a BMP file"},
        {"zero width", [&] { Data d = good; d[18] = 0; return d; }(), "empty picture"},
    };
    for (const auto& [name, content, why] : cases) {
        std::filesystem::remove(documents.file("bad.bmp"));
        if (content) documents.write("bad.bmp", *content);
        const std::string line = "Orvik: cannot use the image " + documents.file("bad.bmp") + ": " + why;
        log.clear();
        EXPECT_EQ(sdk.LoadBMPFile("bad.bmp"), BMPLoadResult{}) << name;
        EXPECT_FALSE(sdk.PrintBMPFile("bad.bmp")) << name;
        sdk.PrintReceiptImageFile("bad.bmp");
        EXPECT_THAT(log.lines(), ElementsAre(line, line, line, R"("Image : ImageFileName")")) << name;
        EXPECT_TRUE(sent().empty()) << name;
    }
}

TEST(RenderBitmap, GivesRgbaPixelsOfTheDecodedPicture) {
    const Data file = Testing::bmpFile({.width = 2, .height = 1, .index = [](std::int64_t x, std::int64_t) {
        return static_cast<int>(x);
    }});
    const std::optional<DecodedImage> image = DecodedImage::decode(file);
    ASSERT_TRUE(image);
    EXPECT_EQ(std::tuple(image->width, image->height), std::tuple(2, 1));
    Orvik sdk;
    const std::optional<RenderedBitmap> bitmap = sdk.convertCIImageToCGImage(*image);
    ASSERT_TRUE(bitmap);
    EXPECT_EQ(std::tuple(bitmap->bitsPerPixel, bitmap->bytesPerRow, bitmap->pixels),
              std::tuple(32, 8, Data{0, 0, 0, 255, 255, 255, 255, 255}));
    EXPECT_FALSE(DecodedImage::decode({}));
    EXPECT_FALSE(sdk.convertCIImageToCGImage(DecodedImage{1, 1, {'B', 'M'}}));
}

}  // namespace
}  // namespace OrvikFramework
