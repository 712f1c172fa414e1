#pragma once

// The profile files of profiles/, compiled in so that nothing depends on where the SDK is installed.
#include <span>
#include <string_view>
#include <utility>

namespace OrvikFramework::BuiltInProfiles {

/// Name and file text of each shipped profile.
std::span<const std::pair<std::string_view, std::string_view>> all();

}  // namespace OrvikFramework::BuiltInProfiles
