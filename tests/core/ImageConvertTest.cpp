// Pictures into printer dots: scaling, dithering, every file type, PNGs read a row at a time, and files refused.
#include <gtest/gtest.h>

#include <zlib.h>

#include <orvik/ImageConversion.h>

#include "core/ImageConvert.h"
#include "core/JpegTables.h"
#include "support/BmpBuilder.h"
#include "support/Bytes.h"
#include "support/ImageFiles.h"

namespace OrvikFramework::ImageConvert {
namespace {

using Testing::greyImage;
using Testing::operator+;

// Converted by threshold at `width`; at the picture's own width each dot is its pixel, black below mid-grey.
Result<MonoBitmap> dots(const Data& file, int width = 16) {
    return convertPicture(file, {.width = width, .dither = Dither::Threshold});
}

// Why `file` is refused; empty when it converts.
std::string refusal(const Data& file) {
    const auto converted = dots(file);
    return converted ? "" : converted.error().message;
}

std::uint32_t le32(const Data& bytes, std::size_t at) {
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

void putChunk(Data& png, const char* type, const Data& body) {
    for (int shift = 24; shift >= 0; shift -= 8) png.push_back(static_cast<std::uint8_t>(body.size() >> shift));
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), body.begin(), body.end());
    png.insert(png.end(), 4, 0);  // chunk checksums are not checked
}

// `png`'s signature and header, then `data` as image data in chunks of `piece` bytes after an empty one.
Data withImageData(const Data& png, const Data& data, std::size_t piece = 4096) {
    Data out(png.begin(), png.begin() + 33);
    putChunk(out, "IDAT", {});
    for (std::size_t at = 0; at < data.size(); at += piece)
        putChunk(out, "IDAT", Data(data.begin() + at, data.begin() + std::min(data.size(), at + piece)));
    putChunk(out, "IEND", {});
    return out;
}

// The image data of a PNG written with one data chunk right after the header.
Data imageData(const Data& png) {
    const std::size_t length = std::size_t{png[33]} << 24 | png[34] << 16 | png[35] << 8 | png[36];
    return Data(png.begin() + 41, png.begin() + 41 + static_cast<std::ptrdiff_t>(length));
}

TEST(ImageConvertTest, ScalesToWidthKeepingAspectAndRefusesSizesThatWouldExhaustMemory) {
    std::string error;
    struct Case {
        int width, height, target, expectedHeight;
    };
    for (const Case c : {Case{1000, 500, 384, 192}, Case{100, 50, 576, 288}, Case{384, 7, 384, 7}, Case{3000, 1, 384, 1},
                         Case{7, 3, 5, 2}}) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + " -> " + std::to_string(c.target));
        const auto scaled = scaleToWidth(greyImage(c.width, c.height, [](int, int) { return 200; }), c.target, error);
        ASSERT_TRUE(scaled) << error;
        EXPECT_EQ(scaled->width, c.target);
        EXPECT_EQ(scaled->height, c.expectedHeight);
        // A flat picture stays flat whichever way it is resampled.
        for (const auto pixel : scaled->pixels) ASSERT_EQ(pixel, 200);
    }
    // Shrinking averages areas; enlarging interpolates.
    const auto small = scaleToWidth(greyImage(4, 4, [](int x, int y) { return (x + y) % 2 ? 255 : 0; }), 2, error);
    ASSERT_TRUE(small);
    for (const auto pixel : small->pixels) EXPECT_NEAR(pixel, 128, 1);
    const auto wide = scaleToWidth(greyImage(2, 1, [](int x, int) { return x ? 200 : 0; }), 8, error);
    ASSERT_TRUE(wide);
    for (int x = 1; x < 8; ++x) EXPECT_LE(wide->pixels[x - 1], wide->pixels[x]);
    EXPECT_EQ(wide->pixels.front(), 0);
    EXPECT_EQ(wide->pixels.back(), 200);

    EXPECT_FALSE(scaleToWidth(greyImage(10, 10, [](int, int) { return 0; }), 0, error));
    EXPECT_EQ(error, "width must be between 1 and 4096 dots");
    EXPECT_FALSE(scaleToWidth(greyImage(10, 10, [](int, int) { return 0; }), maxWidth + 1, error));
    EXPECT_FALSE(scaleToWidth(greyImage(1, 20000, [](int, int) { return 0; }), maxWidth, error));
    EXPECT_EQ(error, "scaled picture too large (4096x81920000)");
}

// Whole conversions (decode, scale, dither) of every PNG layout and a JPEG, at their own width, shrunk and enlarged,
// against hashes of the dots an earlier, plainer implementation produced: a faster one must not change a dot.
TEST(ImageConvertTest, ConversionsKeepTheirDots) {
    const auto shade = [](int x, int y, int c) {
        return c == 3 || (c == 1 && x % 3) ? (x * 7 + y * 5) % 256 : (x * 53 + y * 97 + x * y * 7 + c * 40) % 256;
    };
    const Data pictures[] = {Testing::encodePng(97, 33, 1, shade), Testing::encodePng(64, 40, 2, shade),
                             Testing::encodePng(300, 200, 3, shade), Testing::encodePng(50, 45, 4, shade),
                             Testing::encodeJpeg(greyImage(40, 24, [&](int x, int y) { return shade(x, y, 0); })),
                             // Edges are where a sliding window of error rows goes wrong.
                             Testing::encodePng(1, 1, 1, shade), Testing::encodePng(2, 1, 1, shade),
                             Testing::encodePng(1, 5, 1, shade), Testing::encodePng(17, 4, 1, shade)};
    const struct {
        int picture, width;
        Dither dither;
        std::uint8_t threshold;
        std::uint64_t hash;
    } cases[] = {
        {0, 97, Dither::FloydSteinberg, 128, 5122249155974305566u},
        {0, 97, Dither::Atkinson, 128, 10428511382066119687u}, {0, 97, Dither::Threshold, 100, 4410978107753409438u},
        {0, 200, Dither::FloydSteinberg, 128, 7179396974524996956u},
        {1, 64, Dither::FloydSteinberg, 90, 2333262370558144588u},
        {1, 33, Dither::Atkinson, 128, 2489901458680533292u}, {2, 300, Dither::Atkinson, 128, 6131592126055812364u},
        {2, 123, Dither::FloydSteinberg, 128, 11464006524745919981u},
        {2, 576, Dither::Atkinson, 160, 3251157475384088776u},
        {3, 50, Dither::FloydSteinberg, 128, 9181837532167704158u},
        {3, 7, Dither::Threshold, 128, 17070369920818070769u},
        {4, 40, Dither::FloydSteinberg, 128, 13870068811329802884u},
        {4, 100, Dither::Atkinson, 128, 6759386067745786050u},
        {5, 1, Dither::FloydSteinberg, 128, 589868230192490052u}, {6, 2, Dither::Atkinson, 128, 589938598936695556u},
        {7, 1, Dither::FloydSteinberg, 128, 16484187351114649504u},
        {7, 1, Dither::Atkinson, 128, 16484187351114649504u},
        {8, 17, Dither::FloydSteinberg, 128, 16951902083713348941u},
        {8, 17, Dither::Atkinson, 128, 4071305649051967324u},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("picture " + std::to_string(c.picture) + " at " + std::to_string(c.width));
        const auto bits = convertPicture(pictures[c.picture], {c.width, c.dither, c.threshold, ImageMode::Raster});
        ASSERT_TRUE(bits) << bits.error().message;
        std::uint64_t hash = 14695981039346656037ull;  // FNV-1a over the height and the rows
        for (const std::uint8_t byte : Data{static_cast<std::uint8_t>(bits->height)} + bits->rows)
            hash = (hash ^ byte) * 1099511628211ull;
        EXPECT_EQ(hash, c.hash);
    }
}

// Diffusion must keep the picture's overall tone: the share of black dots follows the mean grey.
TEST(ImageConvertTest, DitheringKeepsTheMeanGrey) {
    for (const Dither method : {Dither::FloydSteinberg, Dither::Atkinson}) {
        // Atkinson passes on only three quarters of each error by design: it keeps mid-tones and whole ramps, but
        // pushes light and dark areas towards paper and solid black, so only those two are held to it.
        const bool floyd = method == Dither::FloydSteinberg;
        for (const int level : floyd ? std::vector{16, 64, 128, 192, 240, -1} : std::vector{128, -1}) {
            SCOPED_TRACE("method " + std::to_string(static_cast<int>(method)) + ", level " + std::to_string(level));
            const auto grey = greyImage(200, 120, [level](int x, int) { return level >= 0 ? level : x * 255 / 199; });
            const MonoBitmap bits = dither(grey, method);
            double black = 0, darkness = 0;
            for (int y = 0; y < grey.height; ++y) {
                for (int x = 0; x < grey.width; ++x) {
                    black += bits.black(x, y);
                    darkness += (255 - grey.pixels[static_cast<std::size_t>(y * grey.width + x)]) / 255.0;
                }
            }
            const double pixels = static_cast<double>(grey.pixels.size());
            EXPECT_NEAR(black / pixels, darkness / pixels, floyd ? 0.01 : 0.05);
        }
    }
}

TEST(ImageConvertTest, WritesStandardOneBitBmpThatDecodesBack) {
    // 10 dots wide: each row is padded to 4 bytes; top left black, so orientation shows.
    const MonoBitmap bits = dither(greyImage(10, 3, [](int x, int y) { return (x + y * 3) % 4 ? 255 : 0; }), Dither::Threshold);
    const Data bmp = encodeBmp(bits);
    ASSERT_EQ(bmp.size(), 62u + 3 * 4);
    EXPECT_EQ(le32(bmp, 0) & 0xffff, 'B' | 'M' << 8);
    // File size, pixel offset, info size, width, height (positive: bottom-up), planes + 1 bpp, palette 0 black, 1 white.
    const std::pair<std::size_t, std::uint32_t> fields[] = {{2, 74},  {10, 62},      {14, 40},        {18, 10},
                                                            {22, 3},  {26, 1 | 1 << 16}, {54, 0x000000}, {58, 0xffffff}};
    for (const auto& [at, value] : fields) EXPECT_EQ(le32(bmp, at), value) << "at " << at;

    const auto decoded = dots(bmp, 10);
    ASSERT_TRUE(decoded) << decoded.error().message;
    ASSERT_EQ(decoded->height, 3u);
    EXPECT_EQ(decoded->rows, bits.rows);
}

// PNGs are read a row at a time: every row filter and any cutting of the image data into chunks give the same dots.
TEST(ImageConvertTest, EveryPngFilterAndEveryChunkingGiveTheSameDots) {
    const auto shade = [](int x, int y, int channel) { return (x * 29 + y * 53 + channel * 71) % 256; };
    for (int channels = 1; channels <= 4; ++channels) {
        SCOPED_TRACE(std::to_string(channels) + " channels");
        const Data plain = Testing::encodePng(37, 11, channels, shade, 0);
        const auto expected = dots(plain, 37);
        ASSERT_TRUE(expected) << expected.error().message;
        std::vector<Data> alike;
        for (int filter = 1; filter <= 4; ++filter) alike.push_back(Testing::encodePng(37, 11, channels, shade, filter));
        for (const std::size_t piece : {1, 7, 4096}) alike.push_back(withImageData(plain, imageData(plain), piece));
        for (const Data& png : alike) {
            const auto converted = dots(png, 37);
            ASSERT_TRUE(converted) << converted.error().message;
            EXPECT_EQ(converted->rows, expected->rows);
        }
    }
}

TEST(ImageConvertTest, DecodesWholePicturesAndRefusesTheRest) {
    const auto grey = greyImage(13, 5, [](int x, int y) { return (x * 19 + y * 7) % 256; });
    // Stored top row first (negative height): white above black.
    const auto upright = dots(Testing::bmpFile({.width = 1, .height = 2, .index = [](auto, auto y) { return y ? 0 : 1; },
                                                .topDown = true}), 1);
    ASSERT_TRUE(upright) << upright.error().message;
    EXPECT_EQ(upright->rows, (Data{0x00, 0x80}));

    const Data png = Testing::encodePng(grey);
    const Data bmp = encodeBmp(dither(grey, Dither::Threshold));
    Data hugeBmp(bmp.begin(), bmp.begin() + 62);
    for (const std::size_t at : {18u, 22u}) hugeBmp[at] = 0x00, hugeBmp[at + 1] = 0x20;  // 8192 x 8192
    // A PNG header claiming 20000 x 20000 pixels, refused before the decoder allocates them.
    Data hugePng = png;
    for (const std::size_t at : {18u, 22u}) hugePng[at] = 0x4e, hugePng[at + 1] = 0x20;
    Data taller = png;
    ++taller[23];  // one row more than the data holds
    Data unknownFilter((1 + 13) * 5, 5);
    uLongf length = compressBound(unknownFilter.size());
    Data compressed(length);
    ASSERT_EQ(compress(compressed.data(), &length, unknownFilter.data(), unknownFilter.size()), Z_OK);
    compressed.resize(length);
    const Data gif = {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0x80, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF,
                      0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0, 2, 2, 0x44, 0x01, 0, 0x3B};
    EXPECT_EQ(refusal(gif), "");
    const struct {
        Data file;
        std::string error;
    } refused[] = {
        {Data{}, "empty file"},
        {Data(bmp.begin(), bmp.end() - 1), "file is cut short: " + std::to_string(bmp.size() - 1) + " of " + std::to_string(bmp.size()) + " bytes"},
        {hugeBmp, "file is cut short: 62 of 8388670 bytes"},
        {hugePng, "picture too large (20000x20000)"},
        {Data(gif.begin(), gif.end() - 3), "file is cut short: 32 of 35 bytes"},
        {Data(png.begin(), png.end() - 20), "file is cut short: " + std::to_string(png.size() - 20) + " of " + std::to_string(png.size() - 12) + " bytes"},
        {taller, "cannot decode picture (image data ends early)"},
        {withImageData(png, compressed), "cannot decode picture (unknown row filter)"},
        {withImageData(png, Data(64, 0xFF)), "cannot decode picture (corrupt image data)"},
    };
    for (const auto& c : refused) EXPECT_EQ(refusal(c.file), c.error);
}

// A DHT segment whose one table declares `codes` codes, spread over the 16 code lengths.
Data huffmanSegment(std::size_t codes) {
    const std::size_t length = 2 + 1 + 16 + codes;
    Data segment = {0xFF, 0xC4, static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length), 0x00};  // DC 0
    for (std::size_t left = codes; segment.size() < 21; left -= std::min<std::size_t>(left, 255))
        segment.push_back(static_cast<std::uint8_t>(std::min<std::size_t>(left, 255)));
    segment.resize(2 + length, 0x01);  // symbol values need no meaning here
    return segment;
}

Data inserted(Data bytes, std::size_t at, const Data& extra) {
    bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(at), extra.begin(), extra.end());
    return bytes;
}

// The picture decoder writes past its tables when a JPEG declares more than 256 codes in one, wherever the table is.
TEST(ImageConvertTest, RefusesJpegsWhoseHuffmanTablesOverflowTheDecoder) {
    const Data jpeg = Testing::encodeJpeg(greyImage(16, 16, [](int x, int y) { return (x * 16 + y) % 256; }));
    EXPECT_EQ(refusal(jpeg), "");
    EXPECT_FALSE(JpegTables::hasOversizedHuffmanTable(jpeg.data(), jpeg.size()));
    EXPECT_FALSE(JpegTables::hasOversizedHuffmanTable(inserted(jpeg, 2, huffmanSegment(256)).data(), jpeg.size() + 277));

    const Data widest = inserted(jpeg, 2, huffmanSegment(4080));
    for (const Data& forged : {inserted(jpeg, 2, huffmanSegment(257)),
                               inserted(jpeg, 2, Data{0x00, 0x17} + huffmanSegment(300)),  // after padding
                               inserted(jpeg, jpeg.size() - 2, huffmanSegment(4080)),     // between scan and end
                               Data(widest.begin(), widest.begin() + 10)}) {  // cut short after three counts
        EXPECT_TRUE(JpegTables::hasOversizedHuffmanTable(forged.data(), forged.size()));
        EXPECT_EQ(refusal(forged), "corrupt JPEG (a Huffman table declares more than 256 codes)");
    }
}

}  // namespace
}  // namespace OrvikFramework::ImageConvert
