// libFuzzer entry: any bytes through what `orvik convert` does with a picture, at a width and dithering the first
// two bytes choose.
#include <cstddef>
#include <cstdint>

#include <orvik/ImageConversion.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace OrvikFramework;
    if (size < 2) return 0;
    const int width = 1 + data[0] * 3;  // 1 to 766 dots
    const PictureOptions options{width, static_cast<Dither>(data[1] % 3), data[0], ImageMode::Raster};
    if (const Result<MonoBitmap> bits = convertPicture(Data(data + 2, data + size), options)) encodeBmp(*bits);
    return 0;
}
