#include "core/QrSymbol.h"

#include <qrencode.h>

#include <memory>

namespace OrvikFramework::QrSymbol {

std::optional<Matrix> encode(const Data& bytes, std::uint8_t level, std::string& problem) {
    static constexpr QRecLevel levels[] = {QR_ECLEVEL_L, QR_ECLEVEL_M, QR_ECLEVEL_Q, QR_ECLEVEL_H};
    if (level < 48 || level > 51) {
        problem = "QR error-correction level " + std::to_string(level) + " is not 48-51 (L, M, Q, H)";
        return std::nullopt;
    }
    if (bytes.empty()) {
        problem = "QR code data is empty";
        return std::nullopt;
    }
    const std::unique_ptr<QRcode, decltype(&QRcode_free)> code(
        QRcode_encodeData(static_cast<int>(bytes.size()), bytes.data(), 0, levels[level - 48]), &QRcode_free);
    if (!code) {
        problem = "QR code data of " + std::to_string(bytes.size()) + " bytes does not fit a QR code at level " +
                  "LMQH"[level - 48];
        return std::nullopt;
    }
    Matrix matrix;
    matrix.size = code->width;
    const auto modules = static_cast<std::size_t>(code->width) * static_cast<std::size_t>(code->width);
    matrix.dark.resize(modules);
    // libqrencode marks a dark module with the lowest bit of its byte.
    for (std::size_t i = 0; i < modules; ++i) matrix.dark[i] = code->data[i] & 1;
    return matrix;
}

Raster toRaster(const Matrix& matrix, int moduleDots) {
    const int dots = (matrix.size + 2 * quietZone) * moduleDots;
    Raster raster;
    raster.rowBytes = (dots + 7) / 8;
    raster.rows = dots;
    raster.bits.assign(static_cast<std::size_t>(raster.rowBytes) * static_cast<std::size_t>(raster.rows), 0);
    for (int y = 0; y < dots; ++y) {
        const int my = y / moduleDots - quietZone;
        for (int x = 0; x < dots; ++x) {
            const int mx = x / moduleDots - quietZone;
            if (mx < 0 || my < 0 || mx >= matrix.size || my >= matrix.size || !matrix.at(mx, my)) continue;
            raster.bits[static_cast<std::size_t>(y * raster.rowBytes + x / 8)] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
        }
    }
    return raster;
}

}  // namespace OrvikFramework::QrSymbol
