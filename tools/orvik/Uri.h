#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace OrvikFramework::Cli {

/// Where a job goes: tcp://HOST[:PORT] (9100 when left out), wifi://SSID?password=P&host=H&port=N or ble://NAME.
struct PrinterUri {
    enum class Kind { Tcp, Wifi, Ble };
    Kind kind = Kind::Tcp;
    std::string host;  // tcp, wifi
    std::int64_t port = 0;  // tcp, wifi
    std::string ssid;  // wifi
    std::string password;  // wifi; empty for an open access point
    std::string name;  // ble
};

/// The parsed address, or absent with `error` describing what is wrong.
std::optional<PrinterUri> parseUri(std::string_view text, std::string& error);

/// The address as it may be shown: every password= value replaced by ***.
std::string maskPassword(std::string_view address);

/// Decodes %XX escapes; absent when an escape is malformed or decodes to NUL.
std::optional<std::string> percentDecode(std::string_view text);

}  // namespace OrvikFramework::Cli
