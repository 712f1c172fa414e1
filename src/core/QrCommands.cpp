#include "core/QrCommands.h"

namespace OrvikFramework::Commands {
namespace {

constexpr std::uint8_t qrSymbol = 0x31;  // cn: the QR code family of GS ( k

// GS ( k pL pH cn fn, followed by the parameters.
Data qrFunction(std::uint8_t fn, std::string_view parameters) {
    const std::size_t length = parameters.size() + 2;
    Data out{0x1D, '(', 'k', static_cast<std::uint8_t>(length & 0xFF), static_cast<std::uint8_t>(length >> 8),
             qrSymbol, fn};
    out.insert(out.end(), parameters.begin(), parameters.end());
    return out;
}

std::string_view one(const std::uint8_t& byte) { return {reinterpret_cast<const char*>(&byte), 1}; }

}  // namespace

Data qrSelectModel2() { return qrFunction(0x41, std::string_view("\x32\x00", 2)); }
Data qrModuleSize(std::uint8_t dots) { return qrFunction(0x43, one(dots)); }
Data qrErrorCorrection(std::uint8_t level) { return qrFunction(0x45, one(level)); }

Data qrStore(std::string_view data) {
    Data out = qrFunction(0x50, "0");
    out.insert(out.end(), data.begin(), data.end());
    // The length counts cn, fn and m as well as the data.
    const std::size_t length = data.size() + 3;
    out[3] = static_cast<std::uint8_t>(length & 0xFF);
    out[4] = static_cast<std::uint8_t>(length >> 8);
    return out;
}

Data qrPrint() { return qrFunction(0x51, "0"); }

}  // namespace OrvikFramework::Commands
