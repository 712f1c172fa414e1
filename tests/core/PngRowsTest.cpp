// PNGs read a row at a time: every row filter, image data cut into many chunks, and data that cannot be read.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include <zlib.h>

#include <orvik/ImageConversion.h>

#include "support/ImageFiles.h"

namespace OrvikFramework {
namespace {

constexpr int width = 37, height = 11;

int shade(int x, int y, int channel) { return (x * 29 + y * 53 + channel * 71) % 256; }

void putChunk(Data& png, const char* type, const Data& body) {
    for (int shift = 24; shift >= 0; shift -= 8) png.push_back(static_cast<std::uint8_t>(body.size() >> shift));
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), body.begin(), body.end());
    png.insert(png.end(), 4, 0);  // chunk checksums are not checked
}

// `png`'s signature and header, then `data` as image data in chunks of `piece` bytes after an empty one.
Data withImageData(const Data& png, const Data& data, std::size_t piece) {
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

Result<MonoBitmap> dots(const Data& png) { return convertPicture(png, PictureOptions{.width = width}); }

TEST(PngRows, EveryFilterAndEveryChunkingGiveTheSameDots) {
    for (int channels = 1; channels <= 4; ++channels) {
        const Data plain = Testing::encodePng(width, height, channels, shade, 0);
        const Result<MonoBitmap> expected = dots(plain);
        ASSERT_TRUE(expected) << expected.error().message;
        for (int filter = 1; filter <= 4; ++filter) {
            const Result<MonoBitmap> filtered = dots(Testing::encodePng(width, height, channels, shade, filter));
            ASSERT_TRUE(filtered) << filtered.error().message;
            EXPECT_EQ(filtered->rows, expected->rows) << channels << " channels, filter " << filter;
        }
        for (const std::size_t piece : {1, 7, 4096}) {
            const Result<MonoBitmap> chunked = dots(withImageData(plain, imageData(plain), piece));
            ASSERT_TRUE(chunked) << chunked.error().message;
            EXPECT_EQ(chunked->rows, expected->rows) << channels << " channels, pieces of " << piece;
        }
    }
}

TEST(PngRows, DataThatCannotBeReadIsRefusedWithItsCause) {
    const Data plain = Testing::encodePng(width, height, 1, shade, 0);
    Data taller = plain;
    ++taller[23];  // one row more than the data holds
    Data unknownFilter((1 + width) * height, 5);
    uLongf length = compressBound(unknownFilter.size());
    Data compressed(length);
    ASSERT_EQ(compress(compressed.data(), &length, unknownFilter.data(), unknownFilter.size()), Z_OK);
    compressed.resize(length);
    const struct {
        Data png;
        std::string cause;
    } cases[] = {
        {taller, "image data ends early"},
        {withImageData(plain, compressed, 4096), "unknown row filter"},
        {withImageData(plain, Data(64, 0xFF), 4096), "corrupt image data"},
    };
    for (const auto& c : cases) {
        const Result<MonoBitmap> result = dots(c.png);
        ASSERT_FALSE(result) << c.cause;
        EXPECT_NE(result.error().message.find(c.cause), std::string::npos) << result.error().message;
    }
}

}  // namespace
}  // namespace OrvikFramework
