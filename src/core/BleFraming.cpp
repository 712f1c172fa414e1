#include "core/BleFraming.h"

#include <algorithm>

#include "core/Graphemes.h"

namespace OrvikFramework::BleFraming {
namespace {

std::size_t pieceSize(std::int64_t mtu) { return mtu <= 0 ? 1 : static_cast<std::size_t>(mtu); }

}  // namespace

Data sizeAnnouncement(std::int64_t length) {
    Data frame = {0x1B, 0xFF, 0xFA};
    const auto bits = static_cast<std::uint64_t>(length);
    for (int i = 0; i < 8; ++i) frame.push_back(static_cast<std::uint8_t>(bits >> (8 * i)));
    return frame;
}

std::vector<Data> bytePieces(const Data& data, std::int64_t mtu) {
    const std::size_t size = pieceSize(mtu);
    std::vector<Data> pieces;
    for (std::size_t start = 0; start < data.size(); start += size) {
        const auto first = data.begin() + static_cast<std::ptrdiff_t>(start);
        pieces.emplace_back(first, first + static_cast<std::ptrdiff_t>(std::min(size, data.size() - start)));
    }
    return pieces;
}

std::vector<std::string_view> textPieces(std::string_view text, std::int64_t mtu) {
    const std::vector<std::size_t> ends = Graphemes::clusterEnds(text);
    // With MTU 0 an empty text still goes out once, as one empty write.
    if (mtu >= static_cast<std::int64_t>(ends.size())) return {text};
    const std::size_t size = pieceSize(mtu);
    std::vector<std::string_view> pieces;
    std::size_t start = 0;
    for (std::size_t i = size - 1; i < ends.size(); i += size) {
        pieces.push_back(text.substr(start, ends[i] - start));
        start = ends[i];
    }
    if (start < text.size()) pieces.push_back(text.substr(start));
    return pieces;
}

std::string hexDump(const Data& data) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(data.size() * 2);
    for (const std::uint8_t byte : data) {
        hex.push_back(digits[byte >> 4]);
        hex.push_back(digits[byte & 0x0F]);
    }
    return hex;
}

}  // namespace OrvikFramework::BleFraming
