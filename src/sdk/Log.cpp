#include <orvik/Log.h>

#include <cstdio>

#include "core/LogFormat.h"

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

std::string debugForm(std::string_view text) { return LogFormat::quoted(text); }

std::string debugForm(const std::optional<std::string>& text) {
    return text ? "Optional(" + LogFormat::quoted(*text) + ")" : "nil";
}

std::string debugForm(std::optional<bool> value) {
    if (!value) return "nil";
    return *value ? "Optional(true)" : "Optional(false)";
}

}  // namespace OrvikFramework::Log
