#include <orvik/PrinterAddress.h>

#include <cctype>
#include <charconv>
#include <algorithm>
#include <map>
#include <optional>

namespace OrvikFramework {
namespace {

constexpr const char* forms =
    "tcp://HOST[:PORT], wifi://SSID?password=P&host=H&port=N, ble://NAME, usb:///dev/usb/lpN, "
    "serial:///dev/ttyX?baud=N&flow=none|rtscts|xonxoff or file:PATH";
constexpr std::int64_t defaultTcpPort = 9100;
constexpr std::int64_t baudRates[] = {9600, 19200, 38400, 57600, 115200};

using Params = std::map<std::string, std::string, std::less<>>;

std::string quoted(std::string_view text) { return "\"" + maskPassword(text) + "\""; }
Error bad(std::string message) { return {ErrorCode::InvalidArgument, std::move(message)}; }

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Decodes %XX escapes; absent when an escape is malformed or decodes to NUL.
std::optional<std::string> percentDecode(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\0') return std::nullopt;
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

Result<std::string> decoded(std::string_view text, std::string_view whole) {
    if (auto value = percentDecode(text)) return std::move(*value);
    return bad("bad percent-escape in " + quoted(whole));
}

std::optional<std::int64_t> parseNumber(std::string_view text, std::int64_t low, std::int64_t high) {
    std::int64_t number = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || number < low || number > high)
        return std::nullopt;
    return number;
}

Result<std::int64_t> parsePort(std::string_view port, std::string_view whole) {
    if (const auto number = parseNumber(port, 1, 65535)) return *number;
    return bad("bad port " + quoted(port) + " in " + quoted(whole) + ": must be a number from 1 to 65535");
}

// KEY=VALUE pairs joined by &, each key one of `keys` and given at most once.
Result<Params> parseQuery(std::string_view query, std::initializer_list<std::string_view> keys, std::string_view use,
                          std::string_view whole) {
    Params params;
    while (!query.empty()) {
        const auto amp = query.find('&');
        const std::string_view pair = query.substr(0, amp);
        query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
        const auto equals = pair.find('=');
        const std::string_view key = pair.substr(0, equals);
        if (std::find(keys.begin(), keys.end(), key) == keys.end())
            return bad("unknown parameter " + quoted(key) + " in " + quoted(whole) + ": use " + std::string(use));
        auto value = decoded(equals == std::string_view::npos ? "" : pair.substr(equals + 1), whole);
        if (!value) return value.error();
        if (!params.emplace(std::string(key), std::move(value).value()).second)
            return bad("parameter " + quoted(key) + " given twice in " + quoted(whole));
    }
    return params;
}

// HOST:PORT, with HOST possibly a bracketed IPv6 address.
Status parseHostPort(std::string_view authority, std::string_view whole, PrinterAddress& address) {
    std::string_view host, port;
    bool hasPort = false;
    if (authority.starts_with('[')) {
        const auto close = authority.find(']');
        if (close == std::string_view::npos) return bad("unclosed \"[\" in " + quoted(whole));
        host = authority.substr(1, close - 1);
        const std::string_view rest = authority.substr(close + 1);
        hasPort = rest.starts_with(':');
        if (!rest.empty() && !hasPort) return bad("unexpected " + quoted(rest) + " after the host in " + quoted(whole));
        if (hasPort) port = rest.substr(1);
    } else {
        const auto colon = authority.rfind(':');
        hasPort = colon != std::string_view::npos;
        host = authority.substr(0, colon);
        if (hasPort) port = authority.substr(colon + 1);
    }
    if (host.empty()) return bad("missing host in " + quoted(whole));
    const auto number = hasPort ? parsePort(port, whole) : Result<std::int64_t>(defaultTcpPort);
    if (!number) return number.error();
    address.host = std::string(host);
    address.port = *number;
    return std::nullopt;
}

Status parseWifi(std::string_view rest, std::string_view whole, PrinterAddress& address) {
    const auto question = rest.find('?');
    const auto ssid = decoded(rest.substr(0, question), whole);
    if (!ssid) return ssid.error();
    if (ssid->empty()) return bad("missing network name in " + quoted(whole) + ": expected wifi://SSID?password=P&host=H&port=N");
    address.ssid = *ssid;
    auto params = parseQuery(question == std::string_view::npos ? std::string_view() : rest.substr(question + 1),
                             {"password", "host", "port"}, "password, host and port", whole);
    if (!params) return params.error();
    Params& found = params.value();
    for (const char* required : {"host", "port"})
        if (!found.contains(required)) return bad(std::string("missing parameter \"") + required + "\" in " + quoted(whole));
    if (found["host"].empty()) return bad("missing host in " + quoted(whole));
    const auto port = parsePort(found["port"], whole);
    if (!port) return port.error();
    address.host = found["host"];
    address.port = *port;
    address.password = found["password"];
    return std::nullopt;
}

// An absolute device path, for serial with its line settings.
Status parseDevice(std::string_view rest, std::string_view whole, std::string_view form, PrinterAddress& address) {
    const auto question = rest.find('?');
    const auto path = decoded(rest.substr(0, question), whole);
    if (!path) return path.error();
    if (!path->starts_with('/')) return bad("missing device path in " + quoted(whole) + ": expected " + std::string(form));
    address.path = *path;
    if (question == std::string_view::npos) return std::nullopt;
    if (address.kind != PrinterAddress::Kind::Serial)
        return bad("unexpected query in " + quoted(whole) + ": expected " + std::string(form));
    const auto params = parseQuery(rest.substr(question + 1), {"baud", "flow"}, "baud and flow", whole);
    if (!params) return params.error();
    if (const auto baud = params->find("baud"); baud != params->end()) {
        const auto rate = parseNumber(baud->second, 1, baudRates[std::size(baudRates) - 1]);
        if (!rate || std::find(std::begin(baudRates), std::end(baudRates), *rate) == std::end(baudRates))
            return bad("bad baud rate " + quoted(baud->second) + " in " + quoted(whole) +
                       ": use 9600, 19200, 38400, 57600 or 115200");
        address.baud = *rate;
    }
    if (const auto flow = params->find("flow"); flow != params->end()) {
        const std::map<std::string_view, PrinterAddress::Flow> flows{
            {"none", PrinterAddress::Flow::None}, {"rtscts", PrinterAddress::Flow::RtsCts}, {"xonxoff", PrinterAddress::Flow::XonXoff}};
        const auto chosen = flows.find(flow->second);
        if (chosen == flows.end())
            return bad("bad flow control " + quoted(flow->second) + " in " + quoted(whole) + ": use none, rtscts or xonxoff");
        address.flow = chosen->second;
    }
    return std::nullopt;
}

// file:PATH, or file:///ABSOLUTE/PATH with an empty host.
Status parseFile(std::string_view rest, std::string_view whole, PrinterAddress& address) {
    if (rest.starts_with("//")) {
        rest.remove_prefix(2);
        if (!rest.starts_with('/'))
            return bad("a file address names no host: expected file:PATH or file:///ABSOLUTE/PATH, not " + quoted(whole));
    }
    const auto path = decoded(rest, whole);
    if (!path) return path.error();
    if (path->empty()) return bad("missing file name in " + quoted(whole) + ": expected file:PATH");
    address.path = *path;
    return std::nullopt;
}

}  // namespace

std::string maskPassword(std::string_view address) {
    std::string masked(address);
    for (auto at = masked.find("password="); at != std::string::npos; at = masked.find("password=", at + 1)) {
        const auto begin = at + 9;
        // The value ends where the parser ends it: at the next parameter, never inside (a '#' is part of it).
        const auto end = masked.find('&', begin);
        masked.replace(begin, (end == std::string::npos ? masked.size() : end) - begin, "***");
    }
    return masked;
}

Result<PrinterAddress> parsePrinterAddress(std::string_view text) {
    const auto colon = text.find(':');
    std::string scheme(text.substr(0, colon));
    for (char& c : scheme) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    PrinterAddress address;
    Status failure;
    if (colon != std::string_view::npos && scheme == "file") {
        address.kind = PrinterAddress::Kind::File;
        failure = parseFile(text.substr(colon + 1), text, address);
        if (failure) return *failure;
        return address;
    }
    if (colon == std::string_view::npos || text.substr(colon, 3) != "://")
        return bad("bad printer address " + quoted(text) + ": expected " + forms);
    const std::string_view rest = text.substr(colon + 3);
    if (scheme == "tcp") {
        address.kind = PrinterAddress::Kind::Tcp;
        if (rest.find_first_of("/?#") != std::string_view::npos)
            return bad("unexpected path or query in " + quoted(text) + ": expected tcp://HOST[:PORT]");
        failure = parseHostPort(rest, text, address);
    } else if (scheme == "wifi") {
        address.kind = PrinterAddress::Kind::Wifi;
        failure = parseWifi(rest, text, address);
    } else if (scheme == "ble") {
        address.kind = PrinterAddress::Kind::Ble;
        if (rest.find('?') != std::string_view::npos) return bad("unexpected query in " + quoted(text) + ": expected ble://NAME");
        const auto name = decoded(rest, text);
        if (!name) return name.error();
        if (name->empty()) return bad("missing printer name in " + quoted(text) + ": expected ble://NAME");
        address.name = *name;
    } else if (scheme == "usb") {
        address.kind = PrinterAddress::Kind::Usb;
        failure = parseDevice(rest, text, "usb:///dev/usb/lpN", address);
    } else if (scheme == "serial") {
        address.kind = PrinterAddress::Kind::Serial;
        failure = parseDevice(rest, text, "serial:///dev/ttyX?baud=N&flow=none|rtscts|xonxoff", address);
    } else {
        return bad("unknown link kind " + quoted(text.substr(0, colon)) + " in " + quoted(text) +
                   ": use tcp, wifi, ble, usb, serial or file");
    }
    if (failure) return *failure;
    return address;
}

}  // namespace OrvikFramework
