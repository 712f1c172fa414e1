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
    const std::string& password = address->password;
    if (!password.empty() && !password.starts_with("***") &&
        maskPassword(text).find("password=" + password) != std::string::npos)
        std::abort();
    return 0;
}
