// Printing 1-bit BMP pictures from the Documents directory.
#include <orvik/Orvik.h>

#include <cstdio>
#include <cstring>

#include <orvik/Documents.h>
#include <orvik/Log.h>

#include "core/Bands.h"
#include "core/BmpRaster.h"
#include "core/Commands.h"
#include "platform/posix/Files.h"
#include "platform/stb/Images.h"

namespace OrvikFramework {
namespace {

struct Picture {
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::int64_t rowBytes = 0;
    Data rows;
};

std::string dimensionLine(std::int64_t value) { return "Optional(" + std::to_string(value) + ")"; }

// Reads the picture into raster rows, or answers absent with one line saying why. The file is checked
// against its header, so a short or foreign file is never read past its end.
std::optional<Picture> readPicture(std::string_view imageFile, bool logDimensions) {
    const std::optional<std::string> documents = Documents::directory();
    if (!documents) return std::nullopt;
    const std::string path = *documents + "/" + std::string(imageFile);
    const auto refuse = [&path](const std::string& why) {
        Log::plain("Orvik: cannot use the image " + path + ": " + why);
        return std::nullopt;
    };
    Data file;
    if (const int error = Files::readAll(path, file)) return refuse(std::strerror(error));
    // Only a BMP can print from here; other formats never reach the decoder, whose JPEG reader misreads forged tables.
    if (!file.empty() && (file.size() < 2 || file[0] != 'B' || file[1] != 'M')) return refuse("not a BMP file");
    std::optional<DecodedImage> image = DecodedImage::decode(std::move(file));
    if (!image) return refuse("not a picture");
    auto rows = BmpRaster::printerRows(image->encoded, image->width, image->height);
    if (auto* why = std::get_if<std::string>(&rows)) return refuse(*why);
    // The header gives the figures a rendering would; rendering at four bytes a dot only to learn them would
    // cost 32 times the picture in memory.
    if (logDimensions) {
        Log::plain(dimensionLine(image->width));
        Log::plain(dimensionLine(image->height));
        Log::plain(dimensionLine(Images::renderedBitsPerPixel));
    }
    return Picture{image->width, image->height, BmpRaster::bytesPerRow(image->width), std::get<Data>(std::move(rows))};
}

// GS v 0 carries the row length in two bytes; a wider picture would print as noise.
bool fitsRasterCommand(std::int64_t rowBytes) {
    if (rowBytes <= BmpRaster::maxBytesPerRow) return true;
    Log::plain("Orvik: picture too wide for the raster command (" + std::to_string(rowBytes) + " bytes per row)");
    return false;
}

std::uint8_t low(std::int64_t value) { return static_cast<std::uint8_t>(value % 256); }
std::uint8_t high(std::int64_t value) { return static_cast<std::uint8_t>(value / 256 % 256); }

std::string hexPair(std::int64_t band, std::uint8_t value) {
    char text[48];
    std::snprintf(text, sizeof text, "%02llX : %02X", static_cast<unsigned long long>(band), value);
    return text;
}

}  // namespace

std::optional<RenderedBitmap> Orvik::convertCIImageToCGImage(const DecodedImage& inputImage) {
    return Images::render(inputImage);
}

BMPLoadResult Orvik::LoadBMPFile(std::string_view ImageFile) {
    std::optional<Picture> picture = readPicture(ImageFile, true);
    if (!picture) return {};
    return {picture->width, picture->height, Images::renderedBitsPerPixel, picture->rowBytes, std::move(picture->rows)};
}

bool Orvik::PrintBMPFile(std::string_view ImageFile) {
    const std::optional<Picture> picture = readPicture(ImageFile, false);
    if (!picture || !fitsRasterCommand(picture->rowBytes)) return false;
    const std::int64_t R = picture->rowBytes;
    constexpr std::int64_t bandRows = 5;
    const std::int64_t fullBands = picture->height / bandRows;
    std::int64_t index = 0;
    for (const Bands::Band& band : Bands::split(picture->rows, R, bandRows)) {
        Data command = Commands::rasterHeader(0x00, low(R), high(R), low(band.rows), high(band.rows));
        command.insert(command.end(), band.bytes.begin(), band.bytes.end());
        if (band.rows < bandRows) {
            for (const std::uint8_t value : band.bytes) Log::plain(hexPair(fullBands, value));
        }
        PrintData(command);
        if (band.rows == bandRows) Log::plain("nY Pos :  " + std::to_string(index++));
    }
    return true;
}

void Orvik::PrintReceiptImageFile(std::string_view ImageFileName) {
    const BMPLoadResult picture = LoadBMPFile(ImageFileName);
    Log::debug(std::string_view("Image : ImageFileName"));
    if (!picture.pixels || !fitsRasterCommand(picture.bytesPerRow)) return;
    const std::int64_t R = picture.bytesPerRow;
    constexpr std::int64_t bandRows = 64;
    for (const Bands::Band& band : Bands::split(*picture.pixels, R, bandRows)) {
        // The last, shorter band goes out with m = 48, which selects the same normal size as 0.
        const std::uint8_t m = band.rows == bandRows ? 0x00 : 0x30;
        PrintRasterBitImage(m, low(R), high(R), low(band.rows), high(band.rows), band.bytes);
    }
}

}  // namespace OrvikFramework
