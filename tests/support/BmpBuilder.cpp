#include "support/BmpBuilder.h"

namespace OrvikFramework::Testing {
namespace {

void put(Data& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

int luminance(std::uint32_t rgb) { return 299 * (rgb >> 16 & 0xFF) + 587 * (rgb >> 8 & 0xFF) + 114 * (rgb & 0xFF); }

std::int64_t stride(const BmpLayout& layout) { return (layout.width * layout.bitCount + 31) / 32 * 4; }

}  // namespace

Data bmpFile(const BmpLayout& layout) {
    const int colours = layout.bitCount == 1 ? 2 + layout.extraColours : 0;
    const std::int64_t offset = 14 + 40 + 4 * colours;
    const std::int64_t rowBytes = stride(layout);
    Data out{'B', 'M'};
    put(out, static_cast<std::uint64_t>(offset + rowBytes * layout.height), 4);
    put(out, 0, 4);
    put(out, static_cast<std::uint64_t>(offset), 4);
    put(out, 40, 4);
    put(out, static_cast<std::uint64_t>(layout.width), 4);
    put(out, static_cast<std::uint64_t>(layout.topDown ? -layout.height : layout.height), 4);
    put(out, 1, 2);
    put(out, layout.bitCount, 2);
    put(out, 0, 4);  // uncompressed
    put(out, static_cast<std::uint64_t>(rowBytes * layout.height), 4);
    put(out, 2835, 4);
    put(out, 2835, 4);
    put(out, static_cast<std::uint64_t>(colours), 4);
    put(out, 0, 4);
    for (int c = 0; c < colours; ++c) put(out, c < 2 ? layout.palette[static_cast<std::size_t>(c)] : 0x808080, 4);
    for (std::int64_t row = 0; row < layout.height; ++row) {
        const std::int64_t y = layout.topDown ? row : layout.height - 1 - row;
        Data line(static_cast<std::size_t>(rowBytes), 0);
        if (layout.bitCount == 1) {
            for (std::int64_t x = 0; x < rowBytes * 8; ++x) {
                const int bit = x < layout.width ? layout.index(x, y) : layout.padding >> (7 - x % 8) & 1;
                if (bit) line[static_cast<std::size_t>(x / 8)] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
            }
        } else {
            for (std::int64_t x = 0; x < layout.width; ++x) {
                const std::uint32_t rgb = layout.palette[static_cast<std::size_t>(layout.index(x, y))];
                for (int c = 0; c < 3; ++c) line[static_cast<std::size_t>(3 * x + c)] = rgb >> (8 * c) & 0xFF;
            }
        }
        out.insert(out.end(), line.begin(), line.end());
    }
    out.insert(out.end(), layout.trailing.begin(), layout.trailing.end());
    return out;
}

Data expectedRows(const BmpLayout& layout) {
    const std::int64_t rowBytes = (layout.width + 31) / 32 * 4;
    const int dark = luminance(layout.palette[1]) < luminance(layout.palette[0]) ? 1 : 0;
    Data rows(static_cast<std::size_t>(rowBytes * layout.height), 0);
    for (std::int64_t y = 0; y < layout.height; ++y) {
        for (std::int64_t x = 0; x < layout.width; ++x) {
            if (layout.index(x, y) == dark) {
                rows[static_cast<std::size_t>(y * rowBytes + x / 8)] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
            }
        }
    }
    return rows;
}

}  // namespace OrvikFramework::Testing
