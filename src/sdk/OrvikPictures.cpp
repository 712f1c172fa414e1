// Pictures of any common format, converted here and printed in any image command.
#include <orvik/Files.h>
#include <orvik/ImageConversion.h>
#include <orvik/Orvik.h>

#include "core/Bands.h"
#include "core/EverydayCommands.h"
#include "core/ImageConvert.h"

namespace OrvikFramework {
namespace {

// Rows per raster or graphics command: keeps each command within what small printers buffer, and any height
// printable. Column mode is cut into 24-dot bands by its command already.
constexpr std::int64_t bandRows = 128;

Error invalid(std::string message) { return Error{ErrorCode::InvalidArgument, std::move(message)}; }

MonoBitmap monoBitmap(ImageConvert::BitImage bits) {
    return {static_cast<std::uint32_t>(bits.width), static_cast<std::uint32_t>(bits.height), std::move(bits.rows)};
}

Data commandsFor(const MonoBitmap& picture, ImageMode mode) {
    if (mode == ImageMode::Column) return Commands::columnImage(picture);
    Data out;
    for (Bands::Band& band : Bands::split(picture.rows, picture.rowBytes(), bandRows)) {
        const MonoBitmap part{picture.width, static_cast<std::uint32_t>(band.rows), std::move(band.bytes)};
        const Data command = mode == ImageMode::Graphics ? Commands::graphicsImage(part) : Commands::rasterImage(part);
        out.insert(out.end(), command.begin(), command.end());
    }
    return out;
}

}  // namespace

Result<MonoBitmap> convertPicture(const Data& encoded, const PictureOptions& options) {
    std::string error;
    const auto decoded = ImageConvert::decode(encoded, error);
    if (!decoded) return invalid(error);
    const auto scaled = ImageConvert::scaleToWidth(*decoded, options.width, error);
    if (!scaled) return invalid(error);
    return monoBitmap(ImageConvert::dither(*scaled, options.dither, options.threshold));
}

Result<MonoBitmap> convertPictureFile(const std::string& path, const PictureOptions& options) {
    const Result<Data> file = readFile(path);
    if (!file) return file.error();
    auto picture = convertPicture(*file, options);
    if (!picture) return invalid("cannot convert \"" + path + "\": " + picture.error().message);
    return picture;
}

Result<MonoBitmap> ditherPicture(GreyPicture picture, const PictureOptions& options) {
    if (picture.width == 0 || picture.height == 0 || picture.width > static_cast<std::uint32_t>(PictureMaxWidth) ||
        std::int64_t{picture.width} * picture.height > ImageConvert::maxPixels ||
        picture.pixels.size() != std::size_t{picture.width} * picture.height)
        return invalid("the grey picture is empty, too large, or its pixels do not match its size");
    const ImageConvert::GreyImage grey{static_cast<int>(picture.width), static_cast<int>(picture.height), std::move(picture.pixels)};
    return monoBitmap(ImageConvert::dither(grey, options.dither, options.threshold));
}

Data encodeBmp(const MonoBitmap& picture) {
    return ImageConvert::encodeBmp({static_cast<int>(picture.width), static_cast<int>(picture.height), picture.rows});
}

Status Orvik::PrintPicture(const std::string& path, const PictureOptions& options) {
    const auto picture = convertPictureFile(path, options);
    if (!picture) return picture.error();
    return sendChecked(commandsFor(*picture, options.mode));
}

Status Orvik::PrintPicture(const Data& encoded, const PictureOptions& options) {
    const auto picture = convertPicture(encoded, options);
    if (!picture) return picture.error();
    return sendChecked(commandsFor(*picture, options.mode));
}

Status Orvik::PrintPicture(const MonoBitmap& picture, ImageMode mode) {
    if (picture.width == 0 || picture.height == 0 || picture.width > 0xFFFF ||
        picture.rows.size() != std::size_t{picture.rowBytes()} * picture.height)
        return invalid("the picture is empty, wider than 65535 dots, or its rows do not match its size");
    return sendChecked(commandsFor(picture, mode));
}

}  // namespace OrvikFramework
