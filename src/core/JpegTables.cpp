#include "core/JpegTables.h"

namespace OrvikFramework::JpegTables {
namespace {

constexpr std::uint8_t markerPrefix = 0xFF;
constexpr std::uint8_t startOfImage = 0xD8;
constexpr std::uint8_t endOfImage = 0xD9;
constexpr std::uint8_t startOfScan = 0xDA;
constexpr std::uint8_t defineHuffmanTables = 0xC4;
constexpr std::size_t maxCodes = 256;

bool standalone(std::uint8_t marker) { return marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8); }

// One DHT segment body; it may hold several tables, each 1 class/id byte, 16 counts and the symbols.
bool oversized(const std::uint8_t* body, std::size_t length) {
    std::size_t at = 0;
    while (at < length) {
        std::size_t codes = 0;
        for (std::size_t i = 1; i <= 16 && at + i < length; ++i) codes += body[at + i];
        if (codes > maxCodes) return true;
        at += 17 + codes;
    }
    return false;
}

// Entropy-coded data ends at the first marker that is neither a stuffed zero nor a restart.
std::size_t skipScanData(const std::uint8_t* bytes, std::size_t size, std::size_t at) {
    while (at + 1 < size) {
        if (bytes[at] == markerPrefix && bytes[at + 1] != 0 && (bytes[at + 1] < 0xD0 || bytes[at + 1] > 0xD7)) return at;
        ++at;
    }
    return size;
}

}  // namespace

bool hasOversizedHuffmanTable(const std::uint8_t* bytes, std::size_t size) {
    if (size < 2 || bytes[0] != markerPrefix || bytes[1] != startOfImage) return false;
    std::size_t at = 2;
    // Progressive pictures define tables between scans, so the walk goes on past each scan.
    while (at + 1 < size) {
        if (bytes[at] != markerPrefix) {  // padding between segments, which the decoder skips byte by byte
            ++at;
            continue;
        }
        const std::uint8_t marker = bytes[at + 1];
        at += 2;
        if (marker == markerPrefix) {
            --at;  // fill byte before a marker
            continue;
        }
        if (marker == endOfImage) return false;
        if (standalone(marker)) continue;
        if (at + 2 > size) return false;
        const std::size_t length = (std::size_t{bytes[at]} << 8) | bytes[at + 1];
        if (length < 2) return false;
        // A segment cut short still reaches the decoder, which reads zeros past the end: judge what it will see.
        const std::size_t available = size - at - 2 < length - 2 ? size - at - 2 : length - 2;
        if (marker == defineHuffmanTables && oversized(bytes + at + 2, available)) return true;
        at += length;
        if (marker == startOfScan) at = skipScanData(bytes, size, at);
    }
    return false;
}

}  // namespace OrvikFramework::JpegTables
