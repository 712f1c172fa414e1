#pragma once

// How buffers are cut for the printer's RX characteristic; pure functions.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include <orvik/Data.h>

namespace OrvikFramework::BleFraming {

/// The size frame (EscPos.h) announcing a compressed job of `length` bytes.
Data sizeAnnouncement(std::int64_t length);
/// The length a whole size frame announces.
std::int64_t announcedLength(const std::uint8_t* frame);
/// Hands `take` the pieces of `mtu` bytes in order (one byte each when `mtu` is 0 or below); no empty trailing
/// piece. The piece is valid only during the call.
void forEachPiece(const Data& data, std::int64_t mtu, const std::function<void(const Data& piece)>& take);
/// Pieces of `mtu` user-perceived characters (one each when `mtu` is 0 or below).
std::vector<std::string_view> textPieces(std::string_view text, std::int64_t mtu);
/// The bytes as lower-case hex digit pairs, no separators.
std::string hexDump(const Data& data);

}  // namespace OrvikFramework::BleFraming
