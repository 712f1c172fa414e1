#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace OrvikFramework {

/// A 128-bit Bluetooth UUID, compared as a value and written in upper-case text form.
class BluetoothUUID {
public:
    using Bytes = std::array<std::uint8_t, 16>;

    explicit BluetoothUUID(const Bytes& bytes) : bytes_(bytes) {}

    /// Parses the 36-character form, or a 16- or 32-bit short form expanded onto the Bluetooth base UUID.
    static std::optional<BluetoothUUID> parse(std::string_view text);

    /// The upper-case 8-4-4-4-12 text form.
    std::string uuidString() const;
    const Bytes& bytes() const { return bytes_; }

    friend bool operator==(const BluetoothUUID&, const BluetoothUUID&) = default;

private:
    Bytes bytes_;
};

}  // namespace OrvikFramework
