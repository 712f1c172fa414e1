#pragma once

// Pictures of any common format reduced to printer dots.
#include <cstdint>
#include <string>
#include <vector>

#include <orvik/BitImage.h>
#include <orvik/Data.h>
#include <orvik/Error.h>

namespace OrvikFramework {

/// How grey levels become black and white dots.
enum class Dither { FloydSteinberg, Atkinson, Threshold };

/// The widest picture a conversion produces, in dots.
inline constexpr int PictureMaxWidth = 4096;

/// How a picture is converted and printed.
struct PictureOptions {
    int width = 384;                        ///< dots, 1-PictureMaxWidth: 384 for 58 mm paper, 576 for 80 mm
    Dither dither = Dither::FloydSteinberg;
    std::uint8_t threshold = 128;           ///< the grey level below which a dot is black
    ImageMode mode = ImageMode::Raster;     ///< the command the picture is printed with
};

/// Decodes PNG, JPEG, GIF (first frame) or BMP, scales it to `options.width` keeping its aspect and dithers it;
/// InvalidArgument saying why for anything else, or a width or size out of range.
Result<MonoBitmap> convertPicture(const Data& encoded, const PictureOptions& options);
/// The same for a file; FileError when it cannot be read, and errors naming the file.
Result<MonoBitmap> convertPictureFile(const std::string& path, const PictureOptions& options);

/// A grey picture, one byte a dot from 0 black to 255 white, rows top first: a page as a print system renders it.
struct GreyPicture {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<std::uint8_t> pixels;
};

/// The picture reduced to dots at its own size with `options.dither` and `options.threshold`; InvalidArgument when
/// it is empty, wider than PictureMaxWidth, larger than a conversion holds, or its pixels do not match its size.
Result<MonoBitmap> ditherPicture(GreyPicture picture, const PictureOptions& options);

/// A standard 1-bit BMP of the picture, bottom-up rows, palette index 0 black.
Data encodeBmp(const MonoBitmap& picture);

}  // namespace OrvikFramework
