// libFuzzer entry: any bytes through what `orvik convert` does with a picture, at a width and dithering the first
// two bytes choose.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/ImageConvert.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace OrvikFramework;
    if (size < 2) return 0;
    const int width = 1 + data[0] * 3;  // 1 to 766 dots
    const Data encoded(data + 2, data + size);
    ImageConvert::MemorySource source(encoded);
    std::string error;
    const PictureOptions options{width, static_cast<Dither>(data[1] % 3), data[0], ImageMode::Raster};
    const auto bits = ImageConvert::convert(source, options, error);
    if (bits) ImageConvert::encodeBmp(*bits);
    return 0;
}
