#include <orvik/Orvik.h>

#include <algorithm>

#include "core/Barcodes.h"
#include "core/EverydayCommands.h"
#include "core/SymbolPicture.h"

namespace OrvikFramework {
namespace {

Error invalid(std::string message) { return Error{ErrorCode::InvalidArgument, std::move(message)}; }

Result<Data> barcodeBytes(Symbology symbology, std::string_view data, const BarcodeOptions& options) {
    auto settings = Barcodes::settingCommands(options);
    if (!settings) return settings;
    const auto checked = Barcodes::check(symbology, data);
    if (!checked) return checked.error();
    auto command = Barcodes::printCommand(*checked);
    if (!command) return command;
    settings.value().insert(settings.value().end(), command->begin(), command->end());
    return settings;
}

Result<Data> pictureBytes(const Result<MonoBitmap>& picture) {
    if (!picture) return picture.error();
    return Commands::rasterImage(*picture);
}

Status inRange(const char* what, int value, int lowest, int highest) {
    if (value >= lowest && value <= highest) return std::nullopt;
    return invalid(std::string(what) + " " + std::to_string(value) + " is outside " + std::to_string(lowest) + "-" +
                   std::to_string(highest));
}

}  // namespace

Status Orvik::sendChecked(const Result<Data>& bytes) {
    if (!bytes) return bytes.error();
    const auto route = chooseRoute();
    if (!route) return Error{ErrorCode::NotConnected, "no printer link is set up"};
    deliver(*route, *bytes);
    return std::nullopt;
}

Status Orvik::PrintBarcode(Symbology symbology, std::string_view data, const BarcodeOptions& options) {
    return sendChecked(barcodeBytes(symbology, data, options));
}

Status Orvik::PrintBarcodeImage(Symbology symbology, std::string_view data, const BarcodeOptions& options) {
    // Checked as the printer's command is, so both forms refuse the same data.
    const auto bytes = barcodeBytes(symbology, data, options);
    if (!bytes) return bytes.error();
    return sendChecked(pictureBytes(SymbolPicture::barcode(*Barcodes::check(symbology, data), options.moduleWidth,
                                                           options.height, options.hriPosition != HriPosition::None)));
}

Status Orvik::PrintPdf417(std::string_view data, const Pdf417Options& options) {
    // Drawn here first: a printer given data that fits no symbol prints nothing and says nothing.
    if (auto problem = checkPdf417(data, options)) return problem;
    return sendChecked(Commands::pdf417(data, options));
}

Status Orvik::PrintPdf417Image(std::string_view data, const Pdf417Options& options) {
    return sendChecked(pictureBytes(SymbolPicture::pdf417(data, options)));
}

Status Orvik::OpenCashDrawer(std::uint8_t pin, std::uint8_t onTime, std::uint8_t offTime) {
    if (pin != 2 && pin != 5) return invalid("cash drawer pin " + std::to_string(pin) + " is neither 2 nor 5");
    if (onTime == 0 || offTime < onTime) return invalid("cash drawer pulse needs an on time of 1-255 and an off time at least as long");
    return sendChecked(Commands::drawerKick(pin == 2 ? 0 : 1, onTime, offTime));
}

Status Orvik::Beep(std::uint8_t times, std::uint8_t duration) {
    if (auto problem = inRange("beep count", times, 1, 9)) return problem;
    if (auto problem = inRange("beep duration", duration, 1, 9)) return problem;
    return sendChecked(Commands::beep(times, duration));
}

Status Orvik::SetTextSize(std::uint8_t width, std::uint8_t height) {
    if (auto problem = inRange("text width", width, 1, 8)) return problem;
    if (auto problem = inRange("text height", height, 1, 8)) return problem;
    return sendChecked(Commands::characterSize(width, height));
}

Status Orvik::SetInvert(bool on) { return sendChecked(Commands::invert(on)); }
Status Orvik::SetUpsideDown(bool on) { return sendChecked(Commands::upsideDown(on)); }
Status Orvik::SetLineSpacing(std::optional<std::uint8_t> dots) { return sendChecked(Commands::lineSpacing(dots)); }
Status Orvik::Tab() { return sendChecked(Data{EscPos::HT}); }

Status Orvik::SetTabStops(const std::vector<std::uint8_t>& columns) {
    if (columns.size() > EscPos::mostTabStops) return invalid("at most 32 tab stops");
    // A zero would end the list early and the rest would print as text.
    if (std::find(columns.begin(), columns.end(), 0) != columns.end() ||
        std::adjacent_find(columns.begin(), columns.end(), std::greater_equal<>()) != columns.end())
        return invalid("tab stops must be 1-255 and ascending");
    return sendChecked(Commands::tabStops(columns));
}

Status Orvik::PrintBitmap(const MonoBitmap& picture, ImageMode mode) {
    if (picture.width == 0 || picture.height == 0 || picture.width > 0xFFFF || picture.height > 0xFFFF ||
        picture.rows.size() != std::size_t{picture.rowBytes()} * picture.height)
        return invalid("the picture is empty, larger than 65535 dots, or its rows do not match its size");
    switch (mode) {
        case ImageMode::Raster: return sendChecked(Commands::rasterImage(picture));
        case ImageMode::Graphics: return sendChecked(Commands::graphicsImage(picture));
        case ImageMode::Column: return sendChecked(Commands::columnImage(picture));
    }
    return invalid("unknown image mode");
}

Status checkBarcode(Symbology symbology, std::string_view data) {
    if (const auto bytes = barcodeBytes(symbology, data, {}); !bytes) return bytes.error();
    return std::nullopt;
}

Status checkPdf417(std::string_view data, const Pdf417Options& options) {
    if (const auto picture = SymbolPicture::pdf417(data, options); !picture) return picture.error();
    return std::nullopt;
}

}  // namespace OrvikFramework
