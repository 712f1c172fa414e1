#include "core/ImageConvert.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <memory>

#include "core/PictureFiles.h"
#include "core/PngRows.h"
#include "core/StbImage.h"

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

std::uint8_t toByte(float value) { return static_cast<std::uint8_t>(std::clamp(std::lround(value), 0L, 255L)); }

// Takes a picture's grey rows, top to bottom, one at a time.
class RowSink {
public:
    virtual ~RowSink() = default;
    virtual void row(const std::uint8_t* grey) = 0;
};

// Error diffusion a row at a time into the dots. Errors for the rows below wait in rows padded past both edges, so
// no pixel needs a bounds check; what goes right along the row stays in registers. The sums are integers, so the
// order errors arrive in cannot change a dot.
class Ditherer final : public RowSink {
public:
    Ditherer(MonoBitmap& out, Dither method, std::uint8_t threshold)
        : out_(out), width_(static_cast<int>(out.width)), method_(method), threshold_(threshold), errors_(3 * padded()) {}

    void row(const std::uint8_t* grey) override {
        std::uint8_t* bits = out_.rows.data() + static_cast<std::size_t>(y_++) * out_.rowBytes();
        // Errors gathered for this row, the next and the one after, each starting one pixel left of the picture.
        int* const rows[3] = {errors_.data() + first_ * padded(), errors_.data() + (first_ + 1) % 3 * padded(),
                              errors_.data() + (first_ + 2) % 3 * padded()};
        switch (method_) {
            case Dither::FloydSteinberg: floydSteinberg(grey, rows[0] + 1, rows[1] + 1, bits); break;
            case Dither::Atkinson: atkinson(grey, rows[0] + 1, rows[1] + 1, rows[2] + 1, bits); break;
            case Dither::Threshold: threshold(grey, bits); break;
        }
        std::fill_n(rows[0], padded(), 0);  // reused for the row after the last of the window
        first_ = (first_ + 1) % 3;
    }

private:
    std::size_t padded() const { return static_cast<std::size_t>(width_) + 3; }

    // Packs one decision into the dots; the row's last byte is finished by `end`.
    struct Packer {
        std::uint8_t* bits;
        unsigned byte = 0;
        void put(int x, bool black) {
            byte = byte << 1 | black;
            if ((x & 7) == 7) *bits++ = static_cast<std::uint8_t>(byte);
        }
        void end(int width) {
            if (width % 8) *bits = static_cast<std::uint8_t>(byte << (8 - width % 8));
        }
    };

    void threshold(const std::uint8_t* grey, std::uint8_t* bits) const {
        Packer dots{bits};
        for (int x = 0; x < width_; ++x) dots.put(x, grey[x] < threshold_);
        dots.end(width_);
    }

    // Sixteenths of each error: 7 right, 3 below left, 5 below, 1 below right.
    void floydSteinberg(const std::uint8_t* grey, const int* here, int* below, std::uint8_t* bits) const {
        Packer dots{bits};
        int right = 0;
        for (int x = 0; x < width_; ++x) {
            const int old = grey[x] + here[x] + right;
            const bool black = old < threshold_;
            dots.put(x, black);
            const int error = old - (black ? 0 : 255);
            right = error * 7 / 16;
            below[x - 1] += error * 3 / 16;
            below[x] += error * 5 / 16;
            below[x + 1] += error * 1 / 16;
        }
        dots.end(width_);
    }

    // Two sixteenths each to the two pixels right, the three below and the one two rows down: 12 of 16 by design.
    void atkinson(const std::uint8_t* grey, const int* here, int* below, int* further, std::uint8_t* bits) const {
        Packer dots{bits};
        int right = 0, farRight = 0;
        for (int x = 0; x < width_; ++x) {
            const int old = grey[x] + here[x] + right;
            const bool black = old < threshold_;
            dots.put(x, black);
            const int share = (old - (black ? 0 : 255)) * 2 / 16;
            right = farRight + share;
            farRight = share;
            below[x - 1] += share;
            below[x] += share;
            below[x + 1] += share;
            further[x] += share;
        }
        dots.end(width_);
    }

    MonoBitmap& out_;
    int width_;
    Dither method_;
    std::uint8_t threshold_;
    std::vector<int> errors_;
    std::size_t first_ = 0;
    int y_ = 0;
};

// Resamples rows as they come: each source row is resampled across once, and an output row is made as soon as the
// last source row it covers has arrived, so only the few rows one output row spans are kept.
class Scaler final : public RowSink {
public:
    Scaler(int fromWidth, int fromHeight, int width, int height, RowSink& next)
        : width_(static_cast<std::size_t>(width)), columns_(resampleTaps(fromWidth, width)),
          rows_(resampleTaps(fromHeight, height)), next_(next) {
        for (const Taps& t : rows_) span_ = std::max(span_, t.weights.size());
        wide_.resize(span_ * static_cast<std::size_t>(width));
        out_.resize(static_cast<std::size_t>(width));
    }

    void row(const std::uint8_t* in) override {
        float* wide = &wide_[source_ % span_ * width_];
        for (std::size_t x = 0; x < width_; ++x) {
            const Taps& t = columns_[x];
            float sum = 0;
            for (std::size_t k = 0; k < t.weights.size(); ++k) sum += t.weights[k] * in[t.first + k];
            wide[x] = sum;
        }
        while (made_ < rows_.size() &&
               static_cast<std::size_t>(rows_[made_].first) + rows_[made_].weights.size() <= source_ + 1) {
            const Taps& t = rows_[made_++];
            for (std::size_t x = 0; x < width_; ++x) {
                float sum = 0;
                for (std::size_t k = 0; k < t.weights.size(); ++k)
                    sum += t.weights[k] * wide_[(t.first + k) % span_ * width_ + x];
                out_[x] = toByte(sum);
            }
            next_.row(out_.data());
        }
        ++source_;
    }

private:
    std::size_t width_;
    std::vector<Taps> columns_, rows_;
    RowSink& next_;
    std::size_t span_ = 1;
    std::vector<float> wide_;  // the last `span_` source rows resampled across, by source row modulo `span_`
    std::vector<std::uint8_t> out_;
    std::size_t source_ = 0, made_ = 0;
};

// Grey of a pixel as the whole-picture decoder computes it from red, green and blue.
std::uint8_t luma(int r, int g, int b) { return static_cast<std::uint8_t>((r * 77 + g * 150 + b * 29) >> 8); }

// Paper is white, so transparency composites onto white.
std::uint8_t onWhite(int value, int alpha) {
    return static_cast<std::uint8_t>((value * alpha + 255 * (255 - alpha) + 127) / 255);
}

// The output height for a picture scaled to `width`, or absent with `error` set when out of range.
std::optional<int> scaledHeight(int fromWidth, int fromHeight, int width, std::string& error) {
    if (width < 1 || width > maxWidth) {
        error = "width must be between 1 and " + std::to_string(maxWidth) + " dots";
        return std::nullopt;
    }
    const std::int64_t height =
        std::max<std::int64_t>(1, std::llround(static_cast<double>(fromHeight) * width / fromWidth));
    if (height * width > maxPixels) {
        error = "scaled picture too large (" + std::to_string(width) + "x" + std::to_string(height) + ")";
        return std::nullopt;
    }
    return static_cast<int>(height);
}

// Rows of a picture `fromWidth` wide go through scaling (when the width changes) and dithering into `out`.
struct Pipeline {
    MonoBitmap out;
    Ditherer ditherer;
    std::optional<Scaler> scaler;

    Pipeline(int fromWidth, int fromHeight, int height, const PictureOptions& options)
        : out{static_cast<std::uint32_t>(options.width), static_cast<std::uint32_t>(height),
              Data(static_cast<std::size_t>((options.width + 7) / 8) * height)},
          ditherer(out, options.dither, options.threshold) {
        // At its own width every tap is one source row of weight 1, so rows pass unchanged.
        if (fromWidth != options.width) scaler.emplace(fromWidth, fromHeight, options.width, height, ditherer);
    }
    RowSink& input() { return scaler ? static_cast<RowSink&>(*scaler) : ditherer; }
};

// The PNGs PngRows reads go a row at a time from the file to the dots; anything else is absent and goes to the
// whole-picture decoder.
std::optional<std::optional<MonoBitmap>> streamPng(Source& source, const PictureOptions& options, std::string& error) {
    const std::unique_ptr<PngRows> png = PngRows::open(source);
    if (!png) return std::nullopt;
    const int width = png->width(), height = png->height();
    if (static_cast<std::int64_t>(width) * height > maxPixels) {
        error = "picture too large (" + std::to_string(width) + "x" + std::to_string(height) + ")";
        return std::optional<MonoBitmap>{};
    }
    const std::optional<int> outHeight = scaledHeight(width, height, options.width, error);
    if (!outHeight) return std::optional<MonoBitmap>{};
    Pipeline pipeline(width, height, *outHeight, options);
    std::vector<std::uint8_t> grey(static_cast<std::size_t>(width));
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* p = png->next(error);
        if (!p) return std::optional<MonoBitmap>{};
        std::uint8_t* g = grey.data();
        switch (png->channels()) {
            case 1: std::copy_n(p, width, g); break;
            case 2: for (int x = 0; x < width; ++x, p += 2) g[x] = onWhite(p[0], p[1]); break;
            case 3: for (int x = 0; x < width; ++x, p += 3) g[x] = luma(p[0], p[1], p[2]); break;
            default: for (int x = 0; x < width; ++x, p += 4) g[x] = onWhite(luma(p[0], p[1], p[2]), p[3]); break;
        }
        pipeline.input().row(g);
    }
    return std::optional<MonoBitmap>{std::move(pipeline.out)};
}

// Any other picture, decoded whole to grey and alpha, then a row at a time as a stream does.
std::optional<MonoBitmap> convertWhole(Source& source, const PictureOptions& options, std::string& error) {
    if (source.size() > static_cast<std::uint64_t>(INT_MAX)) {
        error = "file too large";
        return std::nullopt;
    }
    Data encoded(static_cast<std::size_t>(source.size()));
    if (!source.read(0, encoded.data(), encoded.size())) {
        error = "cannot read picture";
        return std::nullopt;
    }
    const std::optional<StbImage::Pixels> decoded = StbImage::decode(encoded, 2, maxPixels, error);
    if (!decoded) return std::nullopt;
    const std::optional<int> height = scaledHeight(decoded->width, decoded->height, options.width, error);
    if (!height) return std::nullopt;
    Pipeline pipeline(decoded->width, decoded->height, *height, options);
    std::vector<std::uint8_t> grey(static_cast<std::size_t>(decoded->width));
    for (int y = 0; y < decoded->height; ++y) {
        const std::uint8_t* p = &decoded->bytes[static_cast<std::size_t>(y) * decoded->width * 2];
        for (std::size_t x = 0; x < grey.size(); ++x, p += 2) grey[x] = onWhite(p[0], p[1]);
        pipeline.input().row(grey.data());
    }
    return std::move(pipeline.out);
}

// Collects rows into a grey picture.
struct GreyRows final : RowSink {
    GreyImage& image;
    explicit GreyRows(GreyImage& image) : image(image) {}
    void row(const std::uint8_t* grey) override { image.pixels.insert(image.pixels.end(), grey, grey + image.width); }
};

}  // namespace

bool MemorySource::read(std::uint64_t offset, std::uint8_t* out, std::size_t count) {
    if (offset > bytes_.size() || count > bytes_.size() - offset) return false;
    if (count > 0) std::memcpy(out, bytes_.data() + offset, count);  // an empty read may come with no buffer at all
    return true;
}

std::optional<MonoBitmap> convert(Source& source, const PictureOptions& options, std::string& error) {
    std::uint8_t signature[8] = {};
    if (source.size() >= 8 && source.read(0, signature, 8) && std::memcmp(signature, PictureFiles::pngSignature, 8) == 0) {
        // Checked before anything is decoded, as the whole-picture decoder does.
        const std::uint64_t claimed = PictureFiles::pngClaimedLength(
            [&](std::uint64_t at, std::uint8_t* out, std::size_t count) { return source.read(at, out, count); },
            source.size());
        if (claimed > source.size()) {
            error = "file is cut short: " + std::to_string(source.size()) + " of " + std::to_string(claimed) + " bytes";
            return std::nullopt;
        }
        if (auto streamed = streamPng(source, options, error)) return std::move(*streamed);
    }
    return convertWhole(source, options, error);
}

std::optional<GreyImage> scaleToWidth(const GreyImage& image, int width, std::string& error) {
    const std::optional<int> height = scaledHeight(image.width, image.height, width, error);
    if (!height) return std::nullopt;
    if (width == image.width) return image;
    GreyImage out{width, *height, {}};
    out.pixels.reserve(static_cast<std::size_t>(width) * *height);
    GreyRows rows(out);
    Scaler scaler(image.width, image.height, width, *height, rows);
    for (int y = 0; y < image.height; ++y) scaler.row(&image.pixels[static_cast<std::size_t>(y) * image.width]);
    return out;
}

MonoBitmap dither(const GreyImage& image, Dither method, std::uint8_t threshold) {
    MonoBitmap out{static_cast<std::uint32_t>(image.width), static_cast<std::uint32_t>(image.height),
                   Data(static_cast<std::size_t>((image.width + 7) / 8) * image.height)};
    Ditherer ditherer(out, method, threshold);
    for (int y = 0; y < image.height; ++y) ditherer.row(&image.pixels[static_cast<std::size_t>(y) * image.width]);
    return out;
}

}  // namespace OrvikFramework::ImageConvert

namespace OrvikFramework {
namespace {

void put32(Data& out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}
void put16(Data& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

}  // namespace

Data encodeBmp(const MonoBitmap& image) {
    const std::uint32_t stride = ((image.width + 31) / 32) * 4;
    const std::uint32_t pixelBytes = stride * image.height;
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
    put32(out, image.width);
    put32(out, image.height);  // positive: bottom-up
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
    for (std::uint32_t y = image.height; y-- > 0;) {
        Data row(stride, 0);
        for (std::uint32_t x = 0; x < image.width; ++x)
            if (!image.black(x, y)) row[x / 8] |= 0x80 >> (x % 8);
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

}  // namespace OrvikFramework
