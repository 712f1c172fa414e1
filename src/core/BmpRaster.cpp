#include "core/BmpRaster.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>

namespace OrvikFramework::BmpRaster {
namespace {

constexpr std::int64_t fileHeaderSize = 14;
constexpr std::uint32_t coreHeaderSize = 12;
constexpr std::uint32_t infoHeaderSize = 40;

std::uint32_t le(const Data& file, std::size_t at, int size) {
    std::uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i) value = value << 8 | file[at + static_cast<std::size_t>(i)];
    return value;
}

struct Layout {
    std::int64_t dataOffset = 0;
    bool topDown = false;
    // Colour 0 lighter than colour 1: the 1 bits are the dark ones and print as they are.
    bool oneIsDark = false;
};

int luminance(const Data& file, std::size_t entry) {
    // Colour-table entries are stored blue, green, red.
    return 114 * file[entry] + 587 * file[entry + 1] + 299 * file[entry + 2];
}

std::variant<Layout, std::string> layout(const Data& file) {
    if (file.size() < static_cast<std::size_t>(fileHeaderSize + coreHeaderSize) || file[0] != 'B' || file[1] != 'M') return "not a BMP file";
    const std::uint32_t headerSize = le(file, 14, 4);
    const bool core = headerSize == coreHeaderSize;
    if (!core && (headerSize < infoHeaderSize || file.size() < std::size_t{fileHeaderSize} + headerSize)) {
        return "not a BMP file (header of " + std::to_string(headerSize) + " bytes)";
    }
    const std::uint32_t bitCount = le(file, core ? 24 : 28, 2);
    if (bitCount != 1) return std::to_string(bitCount) + " bits per pixel, only 1-bit pictures print";
    if (!core && le(file, 30, 4) != 0) return "compressed BMP, only uncompressed pictures print";
    Layout result;
    result.dataOffset = le(file, 10, 4);
    const std::int64_t table = fileHeaderSize + headerSize;
    if (result.dataOffset < table) return "pixel data offset " + std::to_string(result.dataOffset) + " inside the header";
    result.topDown = !core && static_cast<std::int32_t>(le(file, 22, 4)) < 0;
    const std::int64_t entrySize = core ? 3 : 4;
    // Read only when both entries are in the file: the offset may point past a file cut short.
    if (result.dataOffset - table >= 2 * entrySize && static_cast<std::int64_t>(file.size()) >= table + 2 * entrySize) {
        const auto first = static_cast<std::size_t>(table);
        result.oneIsDark = luminance(file, first) > luminance(file, first + static_cast<std::size_t>(entrySize));
    }
    return result;
}

// Eight bytes at a time: every picture whose colour 0 is the dark one is inverted row by row.
void invert(std::uint8_t* bytes, std::size_t count) {
    std::size_t i = 0;
    for (; i + sizeof(std::uint64_t) <= count; i += sizeof(std::uint64_t)) {
        std::uint64_t word;
        std::memcpy(&word, bytes + i, sizeof word);
        word = ~word;
        std::memcpy(bytes + i, &word, sizeof word);
    }
    for (; i < count; ++i) bytes[i] = static_cast<std::uint8_t>(~bytes[i]);
}

}  // namespace

std::int64_t bytesPerRow(std::int64_t width) { return (width / 32 + (width % 32 > 0 ? 1 : 0)) * 4; }

std::variant<Data, std::string> printerRows(const Data& file, std::int64_t width, std::int64_t height) {
    if (width <= 0 || height <= 0) return "empty picture";
    if (width > INT32_MAX || height > INT32_MAX) return "picture too large";
    auto parsed = layout(file);
    if (auto* why = std::get_if<std::string>(&parsed)) return std::move(*why);
    const Layout& bmp = std::get<Layout>(parsed);
    const std::int64_t rowBytes = bytesPerRow(width);
    const std::int64_t needed = bmp.dataOffset + height * rowBytes;
    if (static_cast<std::int64_t>(file.size()) < needed) {
        return "file is cut short: " + std::to_string(file.size()) + " of " + std::to_string(needed) + " bytes";
    }
    const auto usedBytes = static_cast<std::size_t>((width + 7) / 8);
    const auto lastMask = static_cast<std::uint8_t>(0xFF << ((8 - width % 8) % 8));
    const auto rowSize = static_cast<std::size_t>(rowBytes);
    // Rows are appended rather than written into a zeroed buffer: a tall picture is megabytes.
    Data rows;
    rows.reserve(static_cast<std::size_t>(height) * rowSize);
    for (std::int64_t y = 0; y < height; ++y) {
        const std::int64_t stored = bmp.topDown ? y : height - 1 - y;
        const auto* source = file.data() + bmp.dataOffset + stored * rowBytes;
        rows.insert(rows.end(), source, source + rowSize);
        std::uint8_t* target = rows.data() + rows.size() - rowSize;
        if (!bmp.oneIsDark) invert(target, usedBytes);
        target[usedBytes - 1] &= lastMask;
        std::fill(target + usedBytes, target + rowSize, 0x00);
    }
    return rows;
}

}  // namespace OrvikFramework::BmpRaster
