#include "platform/stb/Images.h"

#include <climits>
#include <memory>

#include "core/JpegTables.h"

// The decoder is compiled into this file alone, with internal linkage, so it cannot clash with another copy.
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#include <stb/stb_image.h>

namespace OrvikFramework {
namespace {

constexpr int rgba = 4;
static_assert(Images::renderedBitsPerPixel == 8 * rgba);

bool fitsDecoder(const Data& bytes) {
    return !bytes.empty() && bytes.size() <= static_cast<std::size_t>(INT_MAX) &&
           !JpegTables::hasOversizedHuffmanTable(bytes.data(), bytes.size());
}

}  // namespace

std::optional<DecodedImage> DecodedImage::decode(Data encoded) {
    if (!fitsDecoder(encoded)) return std::nullopt;
    int width = 0;
    int height = 0;
    int channels = 0;
    if (!stbi_info_from_memory(encoded.data(), static_cast<int>(encoded.size()), &width, &height, &channels)) {
        return std::nullopt;
    }
    return DecodedImage{width, height, std::move(encoded)};
}

std::optional<RenderedBitmap> Images::render(const DecodedImage& image) {
    if (!fitsDecoder(image.encoded)) return std::nullopt;
    int width = 0;
    int height = 0;
    int channels = 0;
    const std::unique_ptr<stbi_uc, void (*)(void*)> pixels(
        stbi_load_from_memory(image.encoded.data(), static_cast<int>(image.encoded.size()), &width, &height,
                              &channels, rgba),
        stbi_image_free);
    if (!pixels || width <= 0 || height <= 0) return std::nullopt;
    const std::size_t size = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * rgba;
    return RenderedBitmap{width, height, renderedBitsPerPixel, std::int64_t{width} * rgba,
                          Data(pixels.get(), pixels.get() + size)};
}

}  // namespace OrvikFramework
