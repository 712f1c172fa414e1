#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace OrvikFramework::Graphemes {

/// Byte offsets in `utf8` where its extended grapheme clusters end, in order.
std::vector<std::size_t> clusterEnds(std::string_view utf8);

}  // namespace OrvikFramework::Graphemes
