#pragma once

#ifndef ZX_USE_UTF8
#define ZX_USE_UTF8
#endif
#include <ZXing/ReadBarcode.h>

#include <orvik/vprinter/Receipt.h>

namespace OrvikFramework::Testing {

// What an independent reader makes of the first code of `formats` (any when empty) on a printed receipt.
inline ZXing::Result readCode(const VirtualPrinter::Receipt& receipt, ZXing::BarcodeFormats formats = {}) {
    ZXing::DecodeHints hints;
    hints.setFormats(formats);
    return ZXing::ReadBarcode({receipt.pixels.data(), static_cast<int>(receipt.width), static_cast<int>(receipt.height),
                               ZXing::ImageFormat::Lum},
                              hints);
}

}  // namespace OrvikFramework::Testing
