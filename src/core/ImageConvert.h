#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <orvik/BitImage.h>
#include <orvik/Data.h>
#include <orvik/ImageConversion.h>

namespace OrvikFramework::ImageConvert {

/// A grey picture, one byte a pixel, 0 black to 255 white, rows top to bottom.
struct GreyImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;
};

using Dither = OrvikFramework::Dither;

/// The widest picture a conversion produces, in dots, and the most pixels it will hold in memory.
inline constexpr int maxWidth = PictureMaxWidth;
inline constexpr std::int64_t maxPixels = 64LL * 1024 * 1024;

/// Encoded picture bytes, read a part at a time so a large file is never held whole.
class Source {
public:
    virtual ~Source() = default;
    virtual std::uint64_t size() const = 0;
    /// Copies `count` bytes from `offset`; false when they cannot all be read.
    virtual bool read(std::uint64_t offset, std::uint8_t* out, std::size_t count) = 0;
};

/// Bytes already in memory.
class MemorySource final : public Source {
public:
    explicit MemorySource(const Data& bytes) : bytes_(bytes) {}
    std::uint64_t size() const override { return bytes_.size(); }
    bool read(std::uint64_t offset, std::uint8_t* out, std::size_t count) override;

private:
    const Data& bytes_;
};

/// Decodes PNG, JPEG, GIF (first frame) or BMP, transparent parts white, scales it to `options.width` keeping its
/// aspect (area averaging when shrinking, bilinear when enlarging) and reduces it to dots. Common PNGs stream a row
/// at a time from decoder to dots. Absent with `error` set when the picture cannot be decoded or a size is out of
/// range; sizes and lengths are checked before anything is allocated for the pixels.
std::optional<MonoBitmap> convert(Source& source, const PictureOptions& options, std::string& error);

/// Scales to `width` keeping the aspect ratio, as `convert` does. Absent with `error` set when the width is out of
/// range or the result would be too large.
std::optional<GreyImage> scaleToWidth(const GreyImage& image, int width, std::string& error);

/// Reduces to black and white; `threshold` is the grey level below which a pixel is black.
MonoBitmap dither(const GreyImage& image, Dither method, std::uint8_t threshold = 128);

}  // namespace OrvikFramework::ImageConvert
