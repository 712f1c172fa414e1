#pragma once

#include <string>
#include <string_view>

namespace OrvikFramework::LogFormat {

/// The text in double quotes with `"`, `\` and control characters escaped.
std::string quoted(std::string_view text);

}  // namespace OrvikFramework::LogFormat
