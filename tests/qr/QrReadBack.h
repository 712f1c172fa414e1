#pragma once

// QR codes read back from receipt PNGs with a real scanner.
#define ZX_USE_UTF8
#include <ZXing/ReadBarcode.h>
#include <stb_image.h>

#include <algorithm>
#include <string>
#include <vector>

#include <orvik/Data.h>

namespace OrvikFramework::Testing {

struct ReadQr {
    std::string text;
    std::string level;  // "L", "M", "Q" or "H"
};

// Every QR code the scanner finds in the PNG, top to bottom.
inline std::vector<ReadQr> readQrCodes(const Data& png) {
    int w = 0, h = 0, channels = 0;
    stbi_uc* pixels = stbi_load_from_memory(png.data(), static_cast<int>(png.size()), &w, &h, &channels, 1);
    if (!pixels) return {};
    ZXing::DecodeHints hints;
    hints.setFormats(ZXing::BarcodeFormat::QRCode);
    const ZXing::Results results = ZXing::ReadBarcodes({pixels, w, h, ZXing::ImageFormat::Lum}, hints);
    stbi_image_free(pixels);
    std::vector<std::pair<int, ReadQr>> found;
    for (const ZXing::Result& r : results) found.push_back({r.position().topLeft().y, {r.text(), r.ecLevel()}});
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<ReadQr> ordered;
    for (auto& [y, qr] : found) ordered.push_back(std::move(qr));
    return ordered;
}

}  // namespace OrvikFramework::Testing
