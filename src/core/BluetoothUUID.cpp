#include <orvik/BluetoothUUID.h>

#include <cstdio>

namespace OrvikFramework {
namespace {

// 0000xxxx-0000-1000-8000-00805F9B34FB: short UUIDs fill the first four bytes.
constexpr BluetoothUUID::Bytes baseUUID = {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                           0x80, 0x00, 0x00, 0x80, 0x5F, 0x9B, 0x34, 0xFB};

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads hex digit pairs into `out`, skipping the dashes of the long form at their fixed places.
bool readHex(std::string_view text, std::uint8_t* out, std::size_t count, bool dashed) {
    std::size_t pos = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (dashed && (i == 4 || i == 6 || i == 8 || i == 10)) {
            if (text[pos] != '-') return false;
            ++pos;
        }
        const int high = hexValue(text[pos]);
        const int low = hexValue(text[pos + 1]);
        if (high < 0 || low < 0) return false;
        out[i] = static_cast<std::uint8_t>(high << 4 | low);
        pos += 2;
    }
    return true;
}

}  // namespace

std::optional<BluetoothUUID> BluetoothUUID::parse(std::string_view text) {
    Bytes bytes = baseUUID;
    bool ok = false;
    switch (text.size()) {
        case 4: ok = readHex(text, bytes.data() + 2, 2, false); break;
        case 8: ok = readHex(text, bytes.data(), 4, false); break;
        case 36: ok = readHex(text, bytes.data(), 16, true); break;
        default: break;
    }
    if (!ok) return std::nullopt;
    return BluetoothUUID(bytes);
}

std::string BluetoothUUID::uuidString() const {
    char text[37];
    std::snprintf(text, sizeof text, "%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X", bytes_[0],
                  bytes_[1], bytes_[2], bytes_[3], bytes_[4], bytes_[5], bytes_[6], bytes_[7], bytes_[8], bytes_[9],
                  bytes_[10], bytes_[11], bytes_[12], bytes_[13], bytes_[14], bytes_[15]);
    return text;
}

}  // namespace OrvikFramework
