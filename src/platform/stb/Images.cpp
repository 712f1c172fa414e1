#include "platform/stb/Images.h"

#include "core/ImageConvert.h"
#include "core/StbImage.h"

namespace OrvikFramework {
namespace {

constexpr int rgba = 4;
static_assert(Images::renderedBitsPerPixel == 8 * rgba);

}  // namespace

std::optional<DecodedImage> DecodedImage::decode(Data encoded) {
    std::string error;
    const std::optional<StbImage::Pixels> header = StbImage::probe(encoded, error);
    if (!header) return std::nullopt;
    return DecodedImage{header->width, header->height, std::move(encoded)};
}

std::optional<RenderedBitmap> Images::render(const DecodedImage& image) {
    std::string error;
    std::optional<StbImage::Pixels> pixels = StbImage::decode(image.encoded, rgba, ImageConvert::maxPixels, error);
    if (!pixels) return std::nullopt;
    return RenderedBitmap{pixels->width, pixels->height, renderedBitsPerPixel, std::int64_t{pixels->width} * rgba,
                          std::move(pixels->bytes)};
}

}  // namespace OrvikFramework
