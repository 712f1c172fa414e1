#pragma once

// The ESC/POS bytes both the encoders and the virtual printer's decoder speak; one definition of each.
#include <cstddef>
#include <cstdint>

namespace OrvikFramework::EscPos {

// Command prefixes and line ends.
inline constexpr std::uint8_t NUL = 0x00;
inline constexpr std::uint8_t EOT = 0x04;
inline constexpr std::uint8_t HT = 0x09;
inline constexpr std::uint8_t LF = 0x0A;
inline constexpr std::uint8_t CR = 0x0D;
inline constexpr std::uint8_t DLE = 0x10;
inline constexpr std::uint8_t ESC = 0x1B;
inline constexpr std::uint8_t FS = 0x1C;
inline constexpr std::uint8_t GS = 0x1D;

// The size frame announcing a compressed job: ESC 0xFF 0xFA, then the job's length as eight little-endian bytes.
inline constexpr std::uint8_t sizeFrameCommand = 0xFF;
inline constexpr std::uint8_t sizeFrameMark = 0xFA;
inline constexpr std::size_t sizeFrameLength = 11;

// GS ( k pL pH cn fn: the symbol kind cn of a QR code and its functions fn.
inline constexpr std::uint8_t qrSymbol = 49;
inline constexpr std::uint8_t qrSelectModel = 65;
inline constexpr std::uint8_t qrModuleSize = 67;
inline constexpr std::uint8_t qrErrorCorrection = 69;
inline constexpr std::uint8_t qrStore = 80;
inline constexpr std::uint8_t qrPrint = 81;
/// The model parameter of QR model 2, the one printed.
inline constexpr std::uint8_t qrModel2 = 50;

// GS k m: barcode systems. 0-6 take NUL-ended data; 65-73 are the same systems (m - 65) with a length byte.
inline constexpr std::uint8_t barcodeUpcA = 0;
inline constexpr std::uint8_t barcodeEan13 = 2;
inline constexpr std::uint8_t barcodeCode39 = 4;
inline constexpr std::uint8_t barcodeLastNulEnded = 6;
inline constexpr std::uint8_t barcodeCode128 = 8;
inline constexpr std::uint8_t barcodeLengthPrefixed = 65;
inline constexpr std::uint8_t barcodeLastLengthPrefixed = 79;

// GS V m [n]: cut modes, without a feed (the n-less form is 102 only) and with a feed of n.
inline constexpr std::uint8_t cutFull = 0;
inline constexpr std::uint8_t cutPartial = 1;
inline constexpr std::uint8_t cutFullDigit = 48;
inline constexpr std::uint8_t cutPartialDigit = 49;
inline constexpr std::uint8_t cutWithoutParameter = 102;
inline constexpr std::uint8_t cutFeedFull = 65;
inline constexpr std::uint8_t cutFeedPartial = 66;
inline constexpr std::uint8_t cutAtPositionFull = 97;
inline constexpr std::uint8_t cutAtPositionPartial = 98;
inline constexpr std::uint8_t cutFeedReverseFull = 103;
inline constexpr std::uint8_t cutFeedReversePartial = 104;

// GS ( k pL pH cn fn: PDF417 is symbol 48.
inline constexpr std::uint8_t pdf417Symbol = 48;
inline constexpr std::uint8_t pdf417Columns = 65;
inline constexpr std::uint8_t pdf417Rows = 66;
inline constexpr std::uint8_t pdf417ModuleWidth = 67;
inline constexpr std::uint8_t pdf417RowHeight = 68;
inline constexpr std::uint8_t pdf417ErrorLevel = 69;
inline constexpr std::uint8_t pdf417Store = 80;
inline constexpr std::uint8_t pdf417Print = 81;

// GS ( L / GS 8 L pL pH [p3 p4] 48 fn: store a raster picture in the graphics buffer (112), print it (50).
inline constexpr std::uint8_t graphicsStore = 112;
inline constexpr std::uint8_t graphicsPrint = 50;
/// The 24-dot double-density column mode of ESC *.
inline constexpr std::uint8_t columnMode24 = 33;
/// Tab stops ESC D takes at most.
inline constexpr std::size_t mostTabStops = 32;

}  // namespace OrvikFramework::EscPos
