// libFuzzer entry: any text as a printer address; a parsed address is whole, and its password never shows.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "Uri.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace OrvikFramework::Cli;
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string error;
    const auto address = parseUri(text, error);
    if (!address) {
        if (error.empty()) std::abort();
        return 0;
    }
    if (address->kind != PrinterUri::Kind::Ble && (address->port < 1 || address->port > 65535)) std::abort();
    const std::string& password = address->password;
    if (!password.empty() && !password.starts_with("***") &&
        maskPassword(text).find("password=" + password) != std::string::npos)
        std::abort();
    return 0;
}
