#include <orvik/Orvik.h>

#include <orvik/Log.h>

#include "core/QrSymbol.h"

namespace OrvikFramework {
namespace {

// The symbol, or why nothing is printed (also logged).
Result<QrSymbol::Modules> symbolFor(std::string_view content, std::uint8_t moduleSize, QRErrorCorrection level) {
    std::string error;
    std::optional<QrSymbol::Modules> modules;
    if (moduleSize < QRSmallestModule || moduleSize > QRLargestModule) {
        error = "QR module size " + std::to_string(moduleSize) + " is outside 1-16";
    } else {
        modules = QrSymbol::encode(content, level, error);
    }
    if (modules) return std::move(*modules);
    Log::plain("Orvik: " + error + " (QR code not sent)");
    return Error{ErrorCode::InvalidArgument, error};
}

}  // namespace

Status Orvik::PrintQRCode(std::string_view Content, std::uint8_t ModuleSize, QRErrorCorrection Level) {
    // Checked here, because a printer given data that fits no symbol prints nothing and says nothing.
    if (const auto symbol = symbolFor(Content, ModuleSize, Level); !symbol) return symbol.error();
    if (!routeCommand(QrSymbol::printCommands(Content, ModuleSize, Level))) return noInterface();
    return std::nullopt;
}

Status Orvik::PrintQRCodeImage(std::string_view Content, std::uint8_t ModuleSize, QRErrorCorrection Level) {
    const auto modules = symbolFor(Content, ModuleSize, Level);
    if (!modules) return modules.error();
    if (!chooseRoute()) return noInterface();
    const QrSymbol::Raster picture = QrSymbol::raster(*modules, ModuleSize);
    PrintRasterBitImage(0, static_cast<std::uint8_t>(picture.rowBytes & 0xff), static_cast<std::uint8_t>(picture.rowBytes >> 8),
                        static_cast<std::uint8_t>(picture.rows & 0xff), static_cast<std::uint8_t>(picture.rows >> 8), picture.bits);
    return std::nullopt;
}

Status checkQRCode(std::string_view data, QRErrorCorrection level) {
    std::string error;
    if (QrSymbol::encode(data, level, error)) return std::nullopt;
    return Error{ErrorCode::InvalidArgument, error};
}

}  // namespace OrvikFramework
