#include "core/StbImage.h"

#include <climits>
#include <memory>

#include "core/JpegTables.h"
#include "core/PictureFiles.h"

// Internal linkage, with only the formats a receipt picture comes in.
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

namespace OrvikFramework::StbImage {

std::optional<Pixels> probe(const Data& encoded, std::string& error) {
    if (encoded.empty() || encoded.size() > static_cast<std::size_t>(INT_MAX)) {
        error = encoded.empty() ? "empty file" : "file too large";
        return std::nullopt;
    }
    if (JpegTables::hasOversizedHuffmanTable(encoded.data(), encoded.size())) {
        error = "corrupt JPEG (a Huffman table declares more than 256 codes)";
        return std::nullopt;
    }
    int width = 0, height = 0, channels = 0;
    if (!stbi_info_from_memory(encoded.data(), static_cast<int>(encoded.size()), &width, &height, &channels)) {
        error = std::string("not a PNG, JPEG, GIF or BMP picture (") + stbi_failure_reason() + ")";
        return std::nullopt;
    }
    // A BMP stored top row first gives its height negative.
    if (height < 0 && height != INT_MIN) height = -height;
    return Pixels{width, height, {}};
}

std::optional<Pixels> decode(const Data& encoded, int channels, std::int64_t maxPixels, std::string& error) {
    std::optional<Pixels> picture = probe(encoded, error);
    if (!picture) return std::nullopt;
    // The decoder would fill what is missing; a file shorter than its header claims is refused instead.
    if (const std::uint64_t claimed = PictureFiles::claimedLength(encoded.data(), encoded.size()); claimed > encoded.size()) {
        error = "file is cut short: " + std::to_string(encoded.size()) + " of " + std::to_string(claimed) + " bytes";
        return std::nullopt;
    }

    if (picture->width <= 0 || picture->height <= 0) {
        error = "picture has no pixels (" + std::to_string(picture->width) + "x" + std::to_string(picture->height) + ")";
        return std::nullopt;
    }
    if (static_cast<std::int64_t>(picture->width) * picture->height > maxPixels) {
        error = "picture too large (" + std::to_string(picture->width) + "x" + std::to_string(picture->height) + ")";
        return std::nullopt;
    }
    int found = 0;
    const std::unique_ptr<stbi_uc, void (*)(void*)> pixels(
        stbi_load_from_memory(encoded.data(), static_cast<int>(encoded.size()), &picture->width, &picture->height,
                              &found, channels),
        stbi_image_free);
    if (!pixels) {
        error = std::string("cannot decode picture (") + stbi_failure_reason() + ")";
        return std::nullopt;
    }
    const std::size_t size = static_cast<std::size_t>(picture->width) * static_cast<std::size_t>(picture->height) *
                             static_cast<std::size_t>(channels);
    picture->bytes.assign(pixels.get(), pixels.get() + size);
    return picture;
}

}  // namespace OrvikFramework::StbImage
