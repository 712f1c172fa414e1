// QR codes: the printer's own GS ( k symbol, and a raster picture of it for printers without one.
#include <orvik/Orvik.h>

#include <string>

#include <orvik/Log.h>

#include "core/QrCommands.h"
#include "core/QrSymbol.h"

namespace OrvikFramework {
namespace {

bool moduleSizeFits(std::uint8_t size) {
    if (size >= 1 && size <= QR_LARGEST_MODULE_SIZE) return true;
    Log::plain("Orvik: QR module size " + std::to_string(size) + " is outside 1-" +
               std::to_string(QR_LARGEST_MODULE_SIZE) + " dots (QR code not sent)");
    return false;
}

}  // namespace

bool Orvik::PrintQRCode(std::string_view Content, std::uint8_t ModuleSize, QR_ERROR_CORRECTION Level) {
    if (!moduleSizeFits(ModuleSize)) return false;
    // The printer picks the encoding, so only what no QR code can hold is refused here.
    if (Content.empty() || Content.size() > Commands::qrLargestStore) {
        Log::plain("Orvik: QR code data must be 1-" + std::to_string(Commands::qrLargestStore) + " bytes, not " +
                   std::to_string(Content.size()) + " (QR code not sent)");
        return false;
    }
    const auto route = chooseRoute();
    if (!route) return false;
    for (const Data& piece : {Commands::qrSelectModel2(), Commands::qrModuleSize(ModuleSize),
                              Commands::qrErrorCorrection(rawValue(Level)), Commands::qrStore(Content),
                              Commands::qrPrint()})
        deliver(*route, piece);
    return true;
}

bool Orvik::PrintQRCodeRaster(std::string_view Content, std::uint8_t ModuleSize, QR_ERROR_CORRECTION Level) {
    if (!moduleSizeFits(ModuleSize)) return false;
    std::string problem;
    const auto matrix = QrSymbol::encode(Data(Content.begin(), Content.end()), rawValue(Level), problem);
    if (!matrix) {
        Log::plain("Orvik: " + problem + " (QR code not sent)");
        return false;
    }
    if (!chooseRoute()) return false;
    const QrSymbol::Raster raster = QrSymbol::toRaster(*matrix, ModuleSize);
    const auto low = [](int value) { return static_cast<std::uint8_t>(value & 0xFF); };
    const auto high = [](int value) { return static_cast<std::uint8_t>(value >> 8); };
    PrintRasterBitImage(0, low(raster.rowBytes), high(raster.rowBytes), low(raster.rows), high(raster.rows),
                        raster.bits);
    return true;
}

}  // namespace OrvikFramework
