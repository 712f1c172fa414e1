#include "core/QrSymbol.h"

#include <qrencode.h>

#include <cerrno>
#include <memory>

#include "core/EscPos.h"

namespace OrvikFramework::QrSymbol {
namespace {

QRecLevel encoderLevel(QRErrorCorrection level) {
    switch (level) {
        case QRErrorCorrection::L: return QR_ECLEVEL_L;
        case QRErrorCorrection::M: return QR_ECLEVEL_M;
        case QRErrorCorrection::Q: return QR_ECLEVEL_Q;
        case QRErrorCorrection::H: break;
    }
    return QR_ECLEVEL_H;
}

// GS ( k pL pH cn fn parameters: one function of the QR symbol.
void function(Data& out, std::uint8_t fn, std::string_view parameters) {
    const std::size_t length = parameters.size() + 2;
    out.insert(out.end(), {EscPos::GS, '(', 'k', static_cast<std::uint8_t>(length & 0xff), static_cast<std::uint8_t>(length >> 8),
                                EscPos::qrSymbol, fn});
    out.insert(out.end(), parameters.begin(), parameters.end());
}

}  // namespace

std::optional<Modules> encode(std::string_view data, QRErrorCorrection level, std::string& error) {
    if (data.empty()) {
        error = "a QR code needs data";
        return std::nullopt;
    }
    errno = 0;
    const std::unique_ptr<QRcode, void (*)(QRcode*)> symbol(
        QRcode_encodeData(static_cast<int>(data.size()), reinterpret_cast<const unsigned char*>(data.data()), 0,
                          encoderLevel(level)),
        QRcode_free);
    if (!symbol) {
        error = errno == ERANGE ? "QR code data of " + std::to_string(data.size()) + " bytes does not fit a symbol at this level"
                                : "the QR code cannot be encoded";
        return std::nullopt;
    }
    Modules modules;
    modules.size = symbol->width;
    modules.dark.resize(static_cast<std::size_t>(symbol->width) * symbol->width);
    for (std::size_t i = 0; i < modules.dark.size(); ++i) modules.dark[i] = symbol->data[i] & 1;
    return modules;
}

Data printCommands(std::string_view data, std::uint8_t moduleSize, QRErrorCorrection level) {
    Data out;
    function(out, EscPos::qrSelectModel, std::string{static_cast<char>(EscPos::qrModel2), '\0'});
    function(out, EscPos::qrModuleSize, std::string(1, static_cast<char>(moduleSize)));
    function(out, EscPos::qrErrorCorrection, std::string(1, static_cast<char>(level)));
    function(out, EscPos::qrStore, std::string("0") += data);
    function(out, EscPos::qrPrint, "0");
    return out;
}

Raster raster(const Modules& modules, int moduleSize) {
    Raster picture;
    const int dots = (modules.size + 2 * quietZone) * moduleSize;
    picture.rowBytes = (dots + 7) / 8;
    picture.rows = dots;
    picture.bits.assign(static_cast<std::size_t>(picture.rowBytes) * picture.rows, 0);
    for (int y = 0; y < modules.size; ++y)
        for (int x = 0; x < modules.size; ++x) {
            if (!modules.at(x, y)) continue;
            for (int dy = 0; dy < moduleSize; ++dy)
                for (int dx = 0; dx < moduleSize; ++dx) {
                    const int col = (x + quietZone) * moduleSize + dx, row = (y + quietZone) * moduleSize + dy;
                    picture.bits[static_cast<std::size_t>(row) * picture.rowBytes + col / 8] |= static_cast<std::uint8_t>(0x80 >> (col % 8));
                }
        }
    return picture;
}

}  // namespace OrvikFramework::QrSymbol
