#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace OrvikFramework::Log {

/// Receives one finished log line, without its line break.
using Sink = std::function<void(std::string_view line)>;

/// Replaces the sink; an empty sink restores standard output. Returns the previous sink.
Sink setSink(Sink sink);

/// Writes the text unchanged as one line.
void plain(std::string_view text);

/// Writes the debug form of a text: in double quotes, with quotes, backslashes and control characters escaped.
void debug(std::string_view text);

/// Writes the debug form of an optional Bool: Optional(true), Optional(false) or nil.
void debug(std::optional<bool> value);

/// The debug form of a text, as `debug` writes it.
std::string debugForm(std::string_view text);

/// The debug form of an optional text: Optional("...") or nil.
std::string debugForm(const std::optional<std::string>& text);

/// The debug form of an optional Bool.
std::string debugForm(std::optional<bool> value);

}  // namespace OrvikFramework::Log
