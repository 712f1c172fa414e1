#pragma once

// Receipt layout in characters of the current font and size: a line holds PrinterProfile::columns(size)
// characters, and East Asian wide and fullwidth characters take two of them.

#include <string>
#include <string_view>
#include <vector>

namespace OrvikFramework::Layout {

enum class Align { Left, Center, Right };

/// How wide a column is: `value` characters (Fixed), that share of the line (Fraction, 0-1), or an equal part
/// of what the other columns leave (Rest).
struct ColumnSpec {
    enum class Kind { Fixed, Fraction, Rest };
    Kind kind = Kind::Rest;
    double value = 0;
    Align align = Align::Left;
};

/// Characters the code point takes: 2 for East Asian wide and fullwidth, 0 for controls and combining marks.
int charWidth(char32_t cp);
/// Characters the UTF-8 text takes.
int textWidth(std::string_view utf8);
/// The text in lines of at most `width` characters, broken at spaces and "\n"; a word longer than a line is split.
std::vector<std::string> wrap(std::string_view utf8, int width);
/// The widths of the columns in a line of `width` characters with `gap` characters between columns.
std::vector<int> columnWidths(const std::vector<ColumnSpec>& columns, int width, int gap = 1);
/// The cells side by side, each wrapped within its column and aligned in it; trailing spaces dropped.
std::vector<std::string> columns(const std::vector<std::string>& cells, const std::vector<ColumnSpec>& columns, int width,
                                 int gap = 1);
/// `left` at the start and `right` at the end of a line of `width`; on two lines when both do not fit on one.
std::vector<std::string> leftRight(std::string_view left, std::string_view right, int width);
/// A line of `width` characters of `c` (UTF-8), as many as fit.
std::string rule(std::string_view c, int width);

}  // namespace OrvikFramework::Layout
