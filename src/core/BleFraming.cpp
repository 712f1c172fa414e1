#include "core/BleFraming.h"

#include <algorithm>

#include "core/EscPos.h"
#include "core/Graphemes.h"

namespace OrvikFramework::BleFraming {
namespace {

std::size_t pieceSize(std::int64_t mtu) { return mtu <= 0 ? 1 : static_cast<std::size_t>(mtu); }

}  // namespace

Data sizeAnnouncement(std::int64_t length) {
    Data frame = {EscPos::ESC, EscPos::sizeFrameCommand, EscPos::sizeFrameMark};
    const auto bits = static_cast<std::uint64_t>(length);
    for (int i = 0; i < 8; ++i) frame.push_back(static_cast<std::uint8_t>(bits >> (8 * i)));
    return frame;
}

std::int64_t announcedLength(const std::uint8_t* frame) {
    std::uint64_t bits = 0;
    for (int i = 7; i >= 0; --i) bits = (bits << 8) | frame[3 + i];
    return static_cast<std::int64_t>(bits);
}

void forEachPiece(const Data& data, std::int64_t mtu, const std::function<void(const Data& piece)>& take) {
    const std::size_t size = pieceSize(mtu);
    // One buffer for every piece: a large job is thousands of pieces, and each would otherwise be an allocation.
    Data piece;
    piece.reserve(std::min(size, data.size()));
    for (std::size_t start = 0; start < data.size(); start += size) {
        const auto first = data.begin() + static_cast<std::ptrdiff_t>(start);
        piece.assign(first, first + static_cast<std::ptrdiff_t>(std::min(size, data.size() - start)));
        take(piece);
    }
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
    // Sized once and filled through a pointer: every piece of a Bluetooth job is dumped, so this is a hot loop.
    std::string hex(data.size() * 2, '\0');
    char* out = hex.data();
    for (const std::uint8_t byte : data) {
        *out++ = digits[byte >> 4];
        *out++ = digits[byte & 0x0F];
    }
    return hex;
}

}  // namespace OrvikFramework::BleFraming
