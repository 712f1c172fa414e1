#include "support/BmpBuilder.h"

namespace OrvikFramework::Testing {
namespace {

void put(Data& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

int luminance(std::uint32_t rgb) { return 299 * (rgb >> 16 & 0xFF) + 587 * (rgb >> 8 & 0xFF) + 114 * (rgb & 0xFF); }

std::int64_t stride(const BmpSpec& spec) { return (spec.width * spec.bitCount + 31) / 32 * 4; }

}  // namespace

Data bmpFile(const BmpSpec& spec) {
    const int colours = spec.bitCount == 1 ? 2 + spec.extraColours : 0;
    const std::int64_t offset = 14 + 40 + 4 * colours;
    const std::int64_t rowBytes = stride(spec);
    Data out{'B', 'M'};
    put(out, static_cast<std::uint64_t>(offset + rowBytes * spec.height), 4);
    put(out, 0, 4);
    put(out, static_cast<std::uint64_t>(offset), 4);
    put(out, 40, 4);
    put(out, static_cast<std::uint64_t>(spec.width), 4);
    put(out, static_cast<std::uint64_t>(spec.topDown ? -spec.height : spec.height), 4);
    put(out, 1, 2);
    put(out, spec.bitCount, 2);
    put(out, 0, 4);  // uncompressed
    put(out, static_cast<std::uint64_t>(rowBytes * spec.height), 4);
    put(out, 2835, 4);
    put(out, 2835, 4);
    put(out, static_cast<std::uint64_t>(colours), 4);
    put(out, 0, 4);
    for (int c = 0; c < colours; ++c) put(out, c < 2 ? spec.palette[static_cast<std::size_t>(c)] : 0x808080, 4);
    for (std::int64_t row = 0; row < spec.height; ++row) {
        const std::int64_t y = spec.topDown ? row : spec.height - 1 - row;
        Data line(static_cast<std::size_t>(rowBytes), 0);
        if (spec.bitCount == 1) {
            for (std::int64_t x = 0; x < rowBytes * 8; ++x) {
                const int bit = x < spec.width ? spec.index(x, y) : spec.padding >> (7 - x % 8) & 1;
                if (bit) line[static_cast<std::size_t>(x / 8)] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
            }
        } else {
            for (std::int64_t x = 0; x < spec.width; ++x) {
                const std::uint32_t rgb = spec.palette[static_cast<std::size_t>(spec.index(x, y))];
                for (int c = 0; c < 3; ++c) line[static_cast<std::size_t>(3 * x + c)] = rgb >> (8 * c) & 0xFF;
            }
        }
        out.insert(out.end(), line.begin(), line.end());
    }
    out.insert(out.end(), spec.trailing.begin(), spec.trailing.end());
    return out;
}

Data expectedRows(const BmpSpec& spec) {
    const std::int64_t rowBytes = (spec.width + 31) / 32 * 4;
    const int dark = luminance(spec.palette[1]) < luminance(spec.palette[0]) ? 1 : 0;
    Data rows(static_cast<std::size_t>(rowBytes * spec.height), 0);
    for (std::int64_t y = 0; y < spec.height; ++y) {
        for (std::int64_t x = 0; x < spec.width; ++x) {
            if (spec.index(x, y) == dark) {
                rows[static_cast<std::size_t>(y * rowBytes + x / 8)] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
            }
        }
    }
    return rows;
}

}  // namespace OrvikFramework::Testing
