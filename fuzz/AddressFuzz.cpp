// libFuzzer entry: any text as a printer address; a parsed address is whole, and its password never shows.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include <orvik/PrinterAddress.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace OrvikFramework;
    const std::string text(reinterpret_cast<const char*>(data), size);
    const auto address = parsePrinterAddress(text);
    if (!address) {
        if (address.error().message.empty()) std::abort();
        return 0;
    }
    const bool hasPort = address->kind == PrinterAddress::Kind::Tcp || address->kind == PrinterAddress::Kind::Wifi;
    if (hasPort && (address->port < 1 || address->port > 65535)) std::abort();
    // Every password= value, in whatever part of the address, is shown as *** and nothing else.
    const std::string shown = maskPassword(text);
    for (auto at = shown.find("password="); at != std::string::npos; at = shown.find("password=", at + 1)) {
        const std::size_t value = at + 9, end = shown.find('&', value);
        if (shown.compare(value, (end == std::string::npos ? shown.size() : end) - value, "***") != 0) std::abort();
    }
    return 0;
}
