// Pictures of any common format, converted here and printed in any image command.
#include <cstring>

#include <orvik/ImageConversion.h>
#include <orvik/Orvik.h>

#include "core/Bands.h"
#include "core/EverydayCommands.h"
#include "core/ImageConvert.h"
#include "platform/posix/Files.h"

namespace OrvikFramework {
namespace {

// Rows per raster or graphics command: keeps each command within what small printers buffer, and any height
// printable. Column mode is cut into 24-dot bands by its command already.
constexpr std::int64_t bandRows = 128;

Error invalid(std::string message) { return Error{ErrorCode::InvalidArgument, std::move(message)}; }

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

// A picture file read a part at a time; a read that fails midway ends the conversion.
class FileSource final : public ImageConvert::Source {
public:
    explicit FileSource(const Files::ReadOnlyFile& file) : file_(file) {}
    std::uint64_t size() const override { return file_.size(); }
    bool read(std::uint64_t offset, std::uint8_t* out, std::size_t count) override {
        return file_.readAt(offset, out, count) == 0;
    }

private:
    const Files::ReadOnlyFile& file_;
};

Result<MonoBitmap> converted(ImageConvert::Source& source, const PictureOptions& options) {
    std::string error;
    auto bits = ImageConvert::convert(source, options, error);
    if (!bits) return invalid(error);
    return std::move(*bits);
}

}  // namespace

Result<MonoBitmap> convertPicture(const Data& encoded, const PictureOptions& options) {
    ImageConvert::MemorySource source(encoded);
    return converted(source, options);
}

Result<MonoBitmap> convertPictureFile(const std::string& path, const PictureOptions& options) {
    Files::ReadOnlyFile file;
    if (const int error = file.open(path))
        return Error{ErrorCode::FileError, "cannot read \"" + path + "\": " + std::strerror(error)};
    FileSource source(file);
    auto picture = converted(source, options);
    if (!picture) return invalid("cannot convert \"" + path + "\": " + picture.error().message);
    return picture;
}

Result<MonoBitmap> ditherPicture(GreyPicture picture, const PictureOptions& options) {
    if (picture.width == 0 || picture.height == 0 || picture.width > static_cast<std::uint32_t>(PictureMaxWidth) ||
        std::int64_t{picture.width} * picture.height > ImageConvert::maxPixels ||
        picture.pixels.size() != std::size_t{picture.width} * picture.height)
        return invalid("the grey picture is empty, too large, or its pixels do not match its size");
    const ImageConvert::GreyImage grey{static_cast<int>(picture.width), static_cast<int>(picture.height), std::move(picture.pixels)};
    return ImageConvert::dither(grey, options.dither, options.threshold);
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
