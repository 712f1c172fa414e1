#include <orvik/Orvik.h>

#include <orvik/Log.h>

#include "core/QrSymbol.h"

namespace OrvikFramework {
namespace {

// The symbol, or absent with one line saying why nothing is printed.
std::optional<QrSymbol::Modules> symbolFor(std::string_view content, std::uint8_t moduleSize, QRErrorCorrection level) {
    if (moduleSize < QRSmallestModule || moduleSize > QRLargestModule) {
        Log::plain("Orvik: QR module size " + std::to_string(moduleSize) + " is outside 1-16 (QR code not sent)");
        return std::nullopt;
    }
    std::string error;
    auto modules = QrSymbol::encode(content, level, error);
    if (!modules) Log::plain("Orvik: " + error + " (QR code not sent)");
    return modules;
}

}  // namespace

bool Orvik::PrintQRCode(std::string_view Content, std::uint8_t ModuleSize, QRErrorCorrection Level) {
    // Checked here, because a printer given data that fits no symbol prints nothing and says nothing.
    if (!symbolFor(Content, ModuleSize, Level)) return false;
    routeCommand(QrSymbol::printCommands(Content, ModuleSize, Level));
    return true;
}

bool Orvik::PrintQRCodeImage(std::string_view Content, std::uint8_t ModuleSize, QRErrorCorrection Level) {
    const auto modules = symbolFor(Content, ModuleSize, Level);
    if (!modules) return false;
    const QrSymbol::Raster picture = QrSymbol::raster(*modules, ModuleSize);
    PrintRasterBitImage(0, static_cast<std::uint8_t>(picture.rowBytes & 0xff), static_cast<std::uint8_t>(picture.rowBytes >> 8),
                        static_cast<std::uint8_t>(picture.rows & 0xff), static_cast<std::uint8_t>(picture.rows >> 8), picture.bits);
    return true;
}

}  // namespace OrvikFramework
