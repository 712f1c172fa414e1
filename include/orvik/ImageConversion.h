#pragma once

// Pictures of any common format reduced to printer dots.
#include <cstdint>
#include <string>

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

/// A standard 1-bit BMP of the picture, bottom-up rows, palette index 0 black.
Data encodeBmp(const MonoBitmap& picture);

}  // namespace OrvikFramework
