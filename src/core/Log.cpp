#include <orvik/Log.h>

#include <cstdio>

namespace OrvikFramework::Log {
namespace {

Sink& currentSink() {
    static Sink sink;
    return sink;
}

void emit(std::string_view line) {
    if (const Sink& sink = currentSink()) {
        sink(line);
        return;
    }
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

}  // namespace

Sink setSink(Sink sink) {
    Sink previous = std::move(currentSink());
    currentSink() = std::move(sink);
    return previous;
}

void plain(std::string_view text) { emit(text); }
void debug(std::string_view text) { emit(debugForm(text)); }
void debug(std::optional<bool> value) { emit(debugForm(value)); }

std::string debugForm(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    out.push_back('"');
    // Runs that need no escape are appended whole: the SDK quotes a line for every Bluetooth piece it sends.
    std::size_t plainFrom = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte != 0x7F && c != '"' && c != '\\') continue;
        out.append(text, plainFrom, i - plainFrom);
        plainFrom = i + 1;
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            case '\0': out += "\\0"; break;
            default: {
                char escape[12];
                std::snprintf(escape, sizeof escape, "\\u{%X}", byte);
                out += escape;
            }
        }
    }
    out.append(text, plainFrom);
    out.push_back('"');
    return out;
}

std::string debugForm(const std::optional<std::string>& text) {
    return text ? "Optional(" + debugForm(std::string_view(*text)) + ")" : "nil";
}

std::string debugForm(std::optional<bool> value) {
    if (!value) return "nil";
    return *value ? "Optional(true)" : "Optional(false)";
}

}  // namespace OrvikFramework::Log
