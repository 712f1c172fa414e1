#pragma once

#ifndef ZX_USE_UTF8
#define ZX_USE_UTF8
#endif
#include <ZXing/ReadBarcode.h>

#include <orvik/vprinter/Receipt.h>

namespace OrvikFramework::Testing {

// A printed receipt as an independent code reader sees it.
inline ZXing::ImageView pictureOf(const VirtualPrinter::Receipt& receipt) {
    return {receipt.pixels.data(), static_cast<int>(receipt.width), static_cast<int>(receipt.height), ZXing::ImageFormat::Lum};
}

}  // namespace OrvikFramework::Testing
