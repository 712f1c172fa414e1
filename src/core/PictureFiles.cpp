#include "core/PictureFiles.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace OrvikFramework::PictureFiles {
namespace {

std::uint64_t le(const std::uint8_t* p, int size) {
    std::uint64_t value = 0;
    for (int i = size - 1; i >= 0; --i) value = value << 8 | p[i];
    return value;
}

std::uint64_t bmp(const std::uint8_t* b, std::size_t size) {
    if (size < 18) return 18;
    const std::uint64_t headerSize = le(b + 14, 4);
    const bool core = headerSize == 12;
    if (size < 14 + std::min<std::uint64_t>(headerSize, 40)) return 14 + std::min<std::uint64_t>(headerSize, 40);
    const std::uint64_t width = core ? le(b + 18, 2) : le(b + 18, 4);
    const std::uint64_t height = core ? le(b + 20, 2) : std::llabs(static_cast<std::int32_t>(le(b + 22, 4)));
    const std::uint64_t bits = le(b + (core ? 24 : 28), 2);
    const std::uint64_t compression = core ? 0 : le(b + 30, 4);
    // Run-length data has no fixed size; the decoder checks it as it goes.
    if (compression != 0 && compression != 3) return size;
    const std::uint64_t rowBytes = (std::min<std::uint64_t>(width, 1u << 30) * bits + 31) / 32 * 4;
    return le(b + 10, 4) + rowBytes * std::min<std::uint64_t>(height, 1u << 30);
}

std::uint64_t gif(const std::uint8_t* b, std::size_t size) {
    const auto table = [&](std::uint64_t packed) -> std::uint64_t { return packed & 0x80 ? 3u << ((packed & 7) + 1) : 0; };
    if (size < 13) return 13;
    std::uint64_t at = 13 + table(b[10]);
    // Sub-blocks: a length byte and that many bytes, up to a zero length.
    const auto blocks = [&] {
        while (at < size && b[at] != 0) at += 1u + b[at];
        ++at;
    };
    while (at < size) {
        if (b[at] == 0x3B) return at + 1;
        if (b[at] == 0x21) {
            at += 2;
            blocks();
        } else if (b[at] == 0x2C) {
            if (at + 10 > size) return at + 10;
            at += 10 + table(b[at + 9]) + 1;
            blocks();
        } else {
            return size;  // not a block; the decoder reports what is wrong
        }
    }
    return at + 1;  // the trailer, at least, is missing
}

}  // namespace

std::uint64_t claimedLength(const std::uint8_t* bytes, std::size_t size) {
    if (size >= 2 && bytes[0] == 'B' && bytes[1] == 'M') return bmp(bytes, size);
    if (size >= 8 && std::memcmp(bytes, pngSignature, 8) == 0) {
        return pngClaimedLength(
            [&](std::uint64_t at, std::uint8_t* out, std::size_t count) {
                if (at + count > size) return false;
                std::memcpy(out, bytes + at, count);
                return true;
            },
            size);
    }
    if (size >= 6 && (std::memcmp(bytes, "GIF87a", 6) == 0 || std::memcmp(bytes, "GIF89a", 6) == 0)) return gif(bytes, size);
    return size;
}

std::uint64_t pngClaimedLength(const std::function<bool(std::uint64_t, std::uint8_t*, std::size_t)>& read,
                               std::uint64_t size) {
    std::uint64_t at = 8;
    std::uint8_t header[8];
    while (at + 8 <= size && read(at, header, 8)) {
        const std::uint64_t end = at + 12 + bigEndian32(header);
        if (std::memcmp(header + 4, "IEND", 4) == 0 || end > size) return end;
        at = end;
    }
    return at + 12;  // at least an end chunk is missing
}

}  // namespace OrvikFramework::PictureFiles
