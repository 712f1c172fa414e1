#include "core/ImageConvert.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>

#include "core/JpegTables.h"
#include "core/PictureFiles.h"

// This file's own static copy of the decoder, with only the formats a receipt logo comes in compiled in.
#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#define STBI_ONLY_PNG
#define STBI_ONLY_JPEG
#define STBI_ONLY_GIF
#define STBI_ONLY_BMP
#define STBI_NO_STDIO
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wsign-compare"
#include <stb/stb_image.h>
#pragma GCC diagnostic pop

namespace OrvikFramework::ImageConvert {
namespace {

// Source taps of one output sample along one axis.
struct Taps {
    int first = 0;
    std::vector<float> weights;
};

// Area averaging when shrinking (each output sample covers a span of source samples, partly covered ends weighted
// by their share), bilinear when enlarging (sample centres aligned).
std::vector<Taps> resampleTaps(int from, int to) {
    std::vector<Taps> taps(static_cast<std::size_t>(to));
    const double scale = static_cast<double>(from) / to;
    for (int i = 0; i < to; ++i) {
        Taps& t = taps[static_cast<std::size_t>(i)];
        if (to <= from) {
            const double begin = i * scale, end = (i + 1) * scale;
            t.first = static_cast<int>(begin);
            const int last = std::min(from - 1, static_cast<int>(std::ceil(end)) - 1);
            for (int s = t.first; s <= last; ++s) {
                const double cover = std::min(end, s + 1.0) - std::max(begin, static_cast<double>(s));
                t.weights.push_back(static_cast<float>(cover / scale));
            }
        } else {
            const double centre = std::clamp((i + 0.5) * scale - 0.5, 0.0, from - 1.0);
            t.first = std::min(static_cast<int>(centre), from - 1);
            const float frac = static_cast<float>(centre - t.first);
            t.weights.push_back(1.0f - frac);
            if (t.first + 1 < from) t.weights.push_back(frac);
        }
    }
    return taps;
}

// Where a pixel's error goes: to the pixel dx right and dy down, `share` sixteenths of it.
struct Spread {
    int dx, dy, share;
};
constexpr std::array<Spread, 4> floydSteinberg{{{1, 0, 7}, {-1, 1, 3}, {0, 1, 5}, {1, 1, 1}}};
// Atkinson passes on only 12 of the sixteenths by design.
constexpr std::array<Spread, 6> atkinson{{{1, 0, 2}, {2, 0, 2}, {-1, 1, 2}, {0, 1, 2}, {1, 1, 2}, {0, 2, 2}}};

// Error diffusion with a fixed table, so the compiler can unroll it; no table is a plain threshold.
template <std::size_t N>
void reduce(const GreyImage& image, std::uint8_t threshold, const std::array<Spread, N>& spread, BitImage& out) {
    // Levels of the row being reduced and the two below it, the farthest any error travels; a level for every
    // pixel of the picture would be four bytes a dot.
    constexpr int window = 3;
    const auto width = static_cast<std::size_t>(image.width);
    std::vector<int> level(window * width);
    const auto levels = [&](int y) { return level.data() + static_cast<std::size_t>(y % window) * width; };
    const auto load = [&](int y) {
        if (y < image.height) std::copy_n(image.pixels.begin() + static_cast<std::ptrdiff_t>(y * width), width, levels(y));
    };
    for (int y = 0; y < window; ++y) load(y);
    for (int y = 0; y < image.height; ++y) {
        int* const rows[window] = {levels(y), y + 1 < image.height ? levels(y + 1) : nullptr,
                                   y + 2 < image.height ? levels(y + 2) : nullptr};
        std::uint8_t* bits = out.rows.data() + static_cast<std::size_t>(y) * out.rowBytes();
        std::uint8_t byte = 0;
        for (int x = 0; x < image.width; ++x) {
            const int old = rows[0][x];
            const bool black = old < threshold;
            byte = static_cast<std::uint8_t>(byte << 1 | (black ? 1 : 0));
            if (x % 8 == 7) *bits++ = byte;
            const int error = old - (black ? 0 : 255);
            // Unrolled, the short table no longer costs a loop per pixel (a photo is a million pixels).
#pragma GCC unroll 8
            for (const Spread& s : spread) {
                const int nx = x + s.dx;
                if (nx < 0 || nx >= image.width || !rows[s.dy]) continue;
                rows[s.dy][nx] += error * s.share / 16;
            }
        }
        if (image.width % 8) *bits = static_cast<std::uint8_t>(byte << (8 - image.width % 8));
        load(y + window);
    }
}

std::uint8_t toByte(float value) { return static_cast<std::uint8_t>(std::clamp(std::lround(value), 0L, 255L)); }

void put32(Data& out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}
void put16(Data& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

}  // namespace

std::optional<GreyImage> decode(const Data& encoded, std::string& error) {
    if (encoded.empty() || encoded.size() > static_cast<std::size_t>(INT_MAX)) {
        error = encoded.empty() ? "empty file" : "file too large";
        return std::nullopt;
    }
    const auto* bytes = encoded.data();
    const int length = static_cast<int>(encoded.size());
    if (JpegTables::hasOversizedHuffmanTable(bytes, encoded.size())) {
        error = "corrupt JPEG (a Huffman table declares more than 256 codes)";
        return std::nullopt;
    }
    if (const std::uint64_t claimed = PictureFiles::claimedLength(bytes, encoded.size()); claimed > encoded.size()) {
        error = "file is cut short: " + std::to_string(encoded.size()) + " of " + std::to_string(claimed) + " bytes";
        return std::nullopt;
    }
    int width = 0, height = 0, channels = 0;
    if (!stbi_info_from_memory(bytes, length, &width, &height, &channels)) {
        error = std::string("not a PNG, JPEG, GIF or BMP picture (") + stbi_failure_reason() + ")";
        return std::nullopt;
    }
    // A BMP stored top row first gives its height negative.
    if (height < 0 && height != INT_MIN) height = -height;
    if (width <= 0 || height <= 0) {
        error = "picture has no pixels (" + std::to_string(width) + "x" + std::to_string(height) + ")";
        return std::nullopt;
    }
    // Checked before decoding so a forged header cannot make us allocate gigabytes.
    if (static_cast<std::int64_t>(width) * height > maxPixels) {
        error = "picture too large (" + std::to_string(width) + "x" + std::to_string(height) + ")";
        return std::nullopt;
    }
    stbi_uc* grey = stbi_load_from_memory(bytes, length, &width, &height, &channels, 2);
    if (!grey) {
        error = std::string("cannot decode picture (") + stbi_failure_reason() + ")";
        return std::nullopt;
    }
    GreyImage image{width, height, std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height)};
    for (std::size_t i = 0; i < image.pixels.size(); ++i) {
        // Paper is white, so transparency composites onto white.
        const int value = grey[2 * i], alpha = grey[2 * i + 1];
        image.pixels[i] = static_cast<std::uint8_t>((value * alpha + 255 * (255 - alpha) + 127) / 255);
    }
    stbi_image_free(grey);
    return image;
}

std::optional<GreyImage> scaleToWidth(const GreyImage& image, int width, std::string& error) {
    if (width < 1 || width > maxWidth) {
        error = "width must be between 1 and " + std::to_string(maxWidth) + " dots";
        return std::nullopt;
    }
    const std::int64_t height =
        std::max<std::int64_t>(1, std::llround(static_cast<double>(image.height) * width / image.width));
    if (height * width > maxPixels) {
        error = "scaled picture too large (" + std::to_string(width) + "x" + std::to_string(height) + ")";
        return std::nullopt;
    }
    // At its own width every tap is one source sample of weight 1, so the picture would come back unchanged.
    if (width == image.width) return image;
    const auto columns = resampleTaps(image.width, width);
    const auto rows = resampleTaps(image.height, static_cast<int>(height));

    std::vector<float> wide(static_cast<std::size_t>(image.height) * width);
    for (int y = 0; y < image.height; ++y) {
        const std::uint8_t* in = &image.pixels[static_cast<std::size_t>(y) * image.width];
        for (int x = 0; x < width; ++x) {
            const Taps& t = columns[static_cast<std::size_t>(x)];
            float sum = 0;
            for (std::size_t k = 0; k < t.weights.size(); ++k) sum += t.weights[k] * in[t.first + k];
            wide[static_cast<std::size_t>(y) * width + x] = sum;
        }
    }
    GreyImage out{width, static_cast<int>(height), std::vector<std::uint8_t>(static_cast<std::size_t>(height) * width)};
    for (int y = 0; y < out.height; ++y) {
        const Taps& t = rows[static_cast<std::size_t>(y)];
        for (int x = 0; x < width; ++x) {
            float sum = 0;
            for (std::size_t k = 0; k < t.weights.size(); ++k)
                sum += t.weights[k] * wide[(t.first + k) * width + static_cast<std::size_t>(x)];
            out.pixels[static_cast<std::size_t>(y) * width + x] = toByte(sum);
        }
    }
    return out;
}

BitImage dither(const GreyImage& image, Dither method, std::uint8_t threshold) {
    BitImage out{image.width, image.height, {}};
    out.rows.assign(static_cast<std::size_t>(out.rowBytes()) * image.height, 0);
    switch (method) {
        case Dither::FloydSteinberg: reduce(image, threshold, floydSteinberg, out); break;
        case Dither::Atkinson: reduce(image, threshold, atkinson, out); break;
        case Dither::Threshold: reduce(image, threshold, std::array<Spread, 0>{}, out); break;
    }
    return out;
}

Data encodeBmp(const BitImage& image) {
    const std::uint32_t stride = ((static_cast<std::uint32_t>(image.width) + 31) / 32) * 4;
    const std::uint32_t pixelBytes = stride * static_cast<std::uint32_t>(image.height);
    constexpr std::uint32_t headerBytes = 62;
    constexpr std::uint32_t dotsPerMetre = 7992;  // 203 dpi, the usual thermal head
    Data out;
    out.reserve(headerBytes + pixelBytes);
    out.push_back('B');
    out.push_back('M');
    put32(out, headerBytes + pixelBytes);
    put32(out, 0);
    put32(out, headerBytes);
    put32(out, 40);
    put32(out, static_cast<std::uint32_t>(image.width));
    put32(out, static_cast<std::uint32_t>(image.height));  // positive: bottom-up
    put16(out, 1);
    put16(out, 1);
    put32(out, 0);
    put32(out, pixelBytes);
    put32(out, dotsPerMetre);
    put32(out, dotsPerMetre);
    put32(out, 2);
    put32(out, 2);
    put32(out, 0x00000000);  // index 0: black
    put32(out, 0x00ffffff);  // index 1: white
    for (int y = image.height - 1; y >= 0; --y) {
        Data row(stride, 0);
        for (int x = 0; x < image.width; ++x)
            if (!image.black(x, y)) row[x / 8] |= 0x80 >> (x % 8);
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

}  // namespace OrvikFramework::ImageConvert
