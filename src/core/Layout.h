#pragma once

// The layout of <orvik/Layout.h> on units that carry a style of the caller's, so documents lay out styled text
// with the same rules as plain strings.
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <orvik/Layout.h>

namespace OrvikFramework::Layout {

/// One character as laid out: its width in characters of the base size, and the caller's style.
struct Unit {
    char32_t cp = ' ';
    int width = 1;
    std::uint32_t style = 0;
    bool breakable = false;  ///< a space a line may break at (and drop)
    bool lineBreak = false;  ///< a forced break; takes no room
};
using Units = std::vector<Unit>;

/// Plain text as units of style 0; "\n" becomes a forced break.
Units units(std::string_view utf8);
/// The UTF-8 text of units.
std::string text(const Units& units);
/// The units in lines of at most `width`, broken as `wrap` describes.
std::vector<Units> wrapUnits(const Units& units, int width);
/// One line of `width`: `content` placed by `align`, padded with spaces of style 0.
Units aligned(const Units& content, int width, Align align);
/// Rows of the wrapped cells side by side; `separator` between columns, each cell as wide as its column.
std::vector<Units> table(const std::vector<Units>& cells, const std::vector<int>& widths, const std::vector<Align>& aligns,
                         const Units& separator);

}  // namespace OrvikFramework::Layout
