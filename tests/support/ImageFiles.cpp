#include "support/ImageFiles.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#define STBI_WRITE_NO_STDIO
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#include <stb/stb_image_write.h>
#pragma GCC diagnostic pop

namespace OrvikFramework::Testing {
namespace {

void append(void* context, void* bytes, int size) {
    auto* out = static_cast<Data*>(context);
    const auto* begin = static_cast<const std::uint8_t*>(bytes);
    out->insert(out->end(), begin, begin + size);
}

}  // namespace

Data encodePng(const ImageConvert::GreyImage& image) { return encodePng(image.width, image.height, 1, image.pixels); }

Data encodePng(int width, int height, int channels, const std::vector<std::uint8_t>& bytes, int filter) {
    Data out;
    stbi_write_force_png_filter = filter;
    stbi_write_png_to_func(append, &out, width, height, channels, bytes.data(), width * channels);
    return out;
}

Data encodeJpeg(const ImageConvert::GreyImage& image) {
    Data out;
    stbi_write_jpg_to_func(append, &out, image.width, image.height, 1, image.pixels.data(), 90);
    return out;
}

}  // namespace OrvikFramework::Testing
