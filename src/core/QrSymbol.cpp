#include "core/QrSymbol.h"

#include <qrencode.h>

#include <cerrno>
#include <memory>

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

// GS ( k pL pH cn=49 fn parameters: one function of the QR symbol.
void function(Data& out, std::uint8_t fn, std::string_view parameters) {
    const std::size_t length = parameters.size() + 2;
    out.insert(out.end(), {0x1d, '(', 'k', static_cast<std::uint8_t>(length & 0xff), static_cast<std::uint8_t>(length >> 8), 49, fn});
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
    function(out, 65, std::string_view("\x32\x00", 2));  // model 2
    function(out, 67, std::string(1, static_cast<char>(moduleSize)));
    function(out, 69, std::string(1, static_cast<char>(level)));
    std::string store(1, '0');  // store: m = 48, then the data
    store.append(data);
    function(out, 80, store);
    function(out, 81, "0");                                   // print
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
