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
    const auto method = static_cast<ImageConvert::Dither>(data[1] % 3);
    std::string error;
    const auto decoded = ImageConvert::decode(Data(data + 2, data + size), error);
    if (!decoded) return 0;
    const auto scaled = ImageConvert::scaleToWidth(*decoded, width, error);
    if (!scaled) return 0;
    ImageConvert::encodeBmp(ImageConvert::dither(*scaled, method, data[0]));
    return 0;
}
