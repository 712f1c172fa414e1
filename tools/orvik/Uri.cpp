#include "Uri.h"

#include <cctype>
#include <charconv>
#include <map>

namespace OrvikFramework::Cli {
namespace {

constexpr const char* forms = "tcp://HOST[:PORT], wifi://SSID?password=P&host=H&port=N or ble://NAME";
constexpr std::int64_t defaultTcpPort = 9100;

std::string quoted(std::string_view text) { return "\"" + maskPassword(text) + "\""; }

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::optional<std::int64_t> parsePort(std::string_view text) {
    std::int64_t port = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), port);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || port < 1 || port > 65535)
        return std::nullopt;
    return port;
}

// HOST:PORT, with HOST possibly a bracketed IPv6 address.
bool parseHostPort(std::string_view authority, std::string_view whole, PrinterUri& uri, std::string& error) {
    std::string_view host, port;
    bool hasPort = false;
    if (authority.starts_with('[')) {
        const auto close = authority.find(']');
        if (close == std::string_view::npos) {
            error = "unclosed \"[\" in " + quoted(whole);
            return false;
        }
        host = authority.substr(1, close - 1);
        const std::string_view rest = authority.substr(close + 1);
        hasPort = rest.starts_with(':');
        if (!rest.empty() && !hasPort) {
            error = "unexpected " + quoted(rest) + " after the host in " + quoted(whole);
            return false;
        }
        if (hasPort) port = rest.substr(1);
    } else {
        const auto colon = authority.rfind(':');
        hasPort = colon != std::string_view::npos;
        host = authority.substr(0, colon);
        if (hasPort) port = authority.substr(colon + 1);
    }
    if (host.empty()) {
        error = "missing host in " + quoted(whole);
        return false;
    }
    const auto number = hasPort ? parsePort(port) : defaultTcpPort;
    if (!number) {
        error = "bad port " + quoted(port) + " in " + quoted(whole) + ": must be a number from 1 to 65535";
        return false;
    }
    uri.host = std::string(host);
    uri.port = *number;
    return true;
}

bool parseWifi(std::string_view rest, std::string_view whole, PrinterUri& uri, std::string& error) {
    const auto question = rest.find('?');
    const auto ssid = percentDecode(rest.substr(0, question));
    if (!ssid) {
        error = "bad percent-escape in " + quoted(whole);
        return false;
    }
    if (ssid->empty()) {
        error = "missing network name in " + quoted(whole) + ": expected wifi://SSID?password=P&host=H&port=N";
        return false;
    }
    uri.ssid = *ssid;
    std::map<std::string, std::string, std::less<>> params;
    std::string_view query = question == std::string_view::npos ? std::string_view() : rest.substr(question + 1);
    while (!query.empty()) {
        const auto amp = query.find('&');
        const std::string_view pair = query.substr(0, amp);
        query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
        const auto equals = pair.find('=');
        const std::string_view key = pair.substr(0, equals);
        if (key != "password" && key != "host" && key != "port") {
            error = "unknown parameter " + quoted(key) + " in " + quoted(whole) + ": use password, host and port";
            return false;
        }
        const auto value = percentDecode(equals == std::string_view::npos ? "" : pair.substr(equals + 1));
        if (!value) {
            error = "bad percent-escape in " + quoted(whole);
            return false;
        }
        if (!params.emplace(std::string(key), *value).second) {
            error = "parameter " + quoted(key) + " given twice in " + quoted(whole);
            return false;
        }
    }
    for (const char* required : {"host", "port"}) {
        if (!params.contains(required)) {
            error = std::string("missing parameter \"") + required + "\" in " + quoted(whole);
            return false;
        }
    }
    if (params["host"].empty()) {
        error = "missing host in " + quoted(whole);
        return false;
    }
    const auto port = parsePort(params["port"]);
    if (!port) {
        error = "bad port " + quoted(params["port"]) + " in " + quoted(whole) + ": must be a number from 1 to 65535";
        return false;
    }
    uri.host = params["host"];
    uri.port = *port;
    uri.password = params["password"];
    return true;
}

}  // namespace

std::string maskPassword(std::string_view address) {
    std::string masked(address);
    for (auto at = masked.find("password="); at != std::string::npos; at = masked.find("password=", at + 1)) {
        const auto begin = at + 9;
        const auto end = masked.find_first_of("&#", begin);
        masked.replace(begin, (end == std::string::npos ? masked.size() : end) - begin, "***");
    }
    return masked;
}

std::optional<std::string> percentDecode(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        const int high = i + 2 < text.size() ? hexDigit(text[i + 1]) : -1;
        const int low = i + 2 < text.size() ? hexDigit(text[i + 2]) : -1;
        // A NUL would cut the name short wherever it is handed on as a C string.
        if (high < 0 || low < 0 || (high == 0 && low == 0)) return std::nullopt;
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return out;
}

std::optional<PrinterUri> parseUri(std::string_view text, std::string& error) {
    const auto separator = text.find("://");
    if (separator == std::string_view::npos) {
        error = "bad printer address " + quoted(text) + ": expected " + forms;
        return std::nullopt;
    }
    const std::string_view rest = text.substr(separator + 3);
    std::string scheme(text.substr(0, separator));
    for (char& c : scheme) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    PrinterUri uri;
    if (scheme == "tcp") {
        uri.kind = PrinterUri::Kind::Tcp;
        if (rest.find_first_of("/?#") != std::string_view::npos) {
            error = "unexpected path or query in " + quoted(text) + ": expected tcp://HOST[:PORT]";
            return std::nullopt;
        }
        if (!parseHostPort(rest, text, uri, error)) return std::nullopt;
    } else if (scheme == "wifi") {
        uri.kind = PrinterUri::Kind::Wifi;
        if (!parseWifi(rest, text, uri, error)) return std::nullopt;
    } else if (scheme == "ble") {
        uri.kind = PrinterUri::Kind::Ble;
        if (rest.find('?') != std::string_view::npos) {
            error = "unexpected query in " + quoted(text) + ": expected ble://NAME";
            return std::nullopt;
        }
        const auto name = percentDecode(rest);
        if (!name) {
            error = "bad percent-escape in " + quoted(text);
            return std::nullopt;
        }
        if (name->empty()) {
            error = "missing printer name in " + quoted(text) + ": expected ble://NAME";
            return std::nullopt;
        }
        uri.name = *name;
    } else {
        error = "unknown link kind " + quoted(text.substr(0, separator)) + " in " + quoted(text) + ": use tcp, wifi or ble";
        return std::nullopt;
    }
    return uri;
}

}  // namespace OrvikFramework::Cli
