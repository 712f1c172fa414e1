#include "core/Layout.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <cmath>

namespace OrvikFramework::Layout {
namespace {

Unit space() { return Unit{' ', 1, 0, false, false}; }

// Drops the breakable spaces at the end of a line.
void trimEnd(Units& line) {
    while (!line.empty() && line.back().breakable) line.pop_back();
}

int widthOf(const Units& units) {
    int total = 0;
    for (const Unit& u : units) total += u.width;
    return total;
}

}  // namespace

int charWidth(char32_t cp) {
    const auto c = static_cast<UChar32>(cp);
    if (u_iscntrl(c) || u_getCombiningClass(c) != 0 || u_charType(c) == U_NON_SPACING_MARK || u_charType(c) == U_ENCLOSING_MARK)
        return 0;
    const int ea = u_getIntPropertyValue(c, UCHAR_EAST_ASIAN_WIDTH);
    return ea == U_EA_WIDE || ea == U_EA_FULLWIDTH ? 2 : 1;
}

Units units(std::string_view utf8) {
    Units out;
    const auto* s = reinterpret_cast<const std::uint8_t*>(utf8.data());
    const auto length = static_cast<std::int32_t>(std::min<std::size_t>(utf8.size(), INT32_MAX));
    for (std::int32_t i = 0; i < length;) {
        UChar32 c = 0;
        U8_NEXT(s, i, length, c);
        if (c < 0) c = 0xFFFD;
        const auto cp = static_cast<char32_t>(c);
        if (cp == '\n') out.push_back(Unit{cp, 0, 0, false, true});
        else out.push_back(Unit{cp, charWidth(cp), 0, cp == ' ', false});
    }
    return out;
}

std::string text(const Units& units) {
    std::string out;
    for (const Unit& u : units) {
        if (u.lineBreak) continue;
        char buffer[4];
        std::int32_t length = 0;
        U8_APPEND_UNSAFE(buffer, length, static_cast<UChar32>(u.cp));
        out.append(buffer, static_cast<std::size_t>(length));
    }
    return out;
}

int textWidth(std::string_view utf8) { return widthOf(units(utf8)); }

std::vector<Units> wrapUnits(const Units& all, int width) {
    width = std::max(width, 1);
    std::vector<Units> lines;
    std::size_t i = 0;
    do {
        Units line;
        int used = 0;
        std::size_t lastSpace = 0;  // one past the last breakable space in `line`
        bool forced = false;
        while (i < all.size()) {
            const Unit& u = all[i];
            if (u.lineBreak) {
                forced = true;
                ++i;
                break;
            }
            if (used + u.width > width && !line.empty()) break;
            line.push_back(u);
            used += u.width;
            ++i;
            if (u.breakable) lastSpace = line.size();
        }
        // A word cut by the end of the line goes whole to the next one, unless it fills the line alone.
        if (!forced && i < all.size() && !all[i].breakable && !all[i].lineBreak && lastSpace > 0 && !line.back().breakable) {
            i -= line.size() - lastSpace;
            line.resize(lastSpace);
        }
        trimEnd(line);
        lines.push_back(std::move(line));
        if (!forced)
            while (i < all.size() && all[i].breakable) ++i;
    } while (i < all.size());
    return lines;
}

Units aligned(const Units& content, int width, Align align) {
    const int room = std::max(0, width - widthOf(content));
    const int before = align == Align::Left ? 0 : align == Align::Right ? room : room / 2;
    Units line(static_cast<std::size_t>(before), space());
    line.insert(line.end(), content.begin(), content.end());
    line.insert(line.end(), static_cast<std::size_t>(room - before), space());
    return line;
}

std::vector<Units> table(const std::vector<Units>& cells, const std::vector<int>& widths, const std::vector<Align>& aligns,
                         const Units& separator) {
    std::vector<std::vector<Units>> wrapped;
    std::size_t rows = 1;
    for (std::size_t c = 0; c < widths.size(); ++c) {
        wrapped.push_back(widths[c] > 0 && c < cells.size() ? wrapUnits(cells[c], widths[c]) : std::vector<Units>{});
        rows = std::max(rows, wrapped.back().size());
    }
    std::vector<Units> out(rows);
    for (std::size_t r = 0; r < rows; ++r)
        for (std::size_t c = 0; c < widths.size(); ++c) {
            if (widths[c] <= 0) continue;
            if (!out[r].empty() || c > 0) out[r].insert(out[r].end(), separator.begin(), separator.end());
            const Units cell = r < wrapped[c].size() ? wrapped[c][r] : Units{};
            const Units placed = aligned(cell, widths[c], c < aligns.size() ? aligns[c] : Align::Left);
            out[r].insert(out[r].end(), placed.begin(), placed.end());
        }
    return out;
}

std::vector<std::string> wrap(std::string_view utf8, int width) {
    std::vector<std::string> out;
    for (const Units& line : wrapUnits(units(utf8), width)) out.push_back(text(line));
    return out;
}

std::vector<int> columnWidths(const std::vector<ColumnSpec>& columns, int width, int gap) {
    std::vector<int> widths(columns.size(), 0);
    if (columns.empty()) return widths;
    const int room = std::max(0, width - gap * static_cast<int>(columns.size() - 1));
    int left = room;
    int rests = 0;
    for (std::size_t c = 0; c < columns.size(); ++c) {
        const ColumnSpec& column = columns[c];
        if (column.kind == ColumnSpec::Kind::Rest) {
            ++rests;
            continue;
        }
        const double wanted = column.kind == ColumnSpec::Kind::Fixed ? column.value : std::floor(column.value * room);
        widths[c] = std::clamp(static_cast<int>(std::isfinite(wanted) ? std::clamp(wanted, 0.0, 4096.0) : 0.0), 0, left);
        left -= widths[c];
    }
    // What is left is shared out; the first rest columns take the odd characters.
    for (std::size_t c = 0, seen = 0; c < columns.size() && rests > 0; ++c)
        if (columns[c].kind == ColumnSpec::Kind::Rest)
            widths[c] = left / rests + (static_cast<int>(seen++) < left % rests ? 1 : 0);
    return widths;
}

std::vector<std::string> columns(const std::vector<std::string>& cells, const std::vector<ColumnSpec>& specs, int width, int gap) {
    std::vector<Units> unitCells;
    std::vector<Align> aligns;
    for (const std::string& cell : cells) unitCells.push_back(units(cell));
    for (const ColumnSpec& column : specs) aligns.push_back(column.align);
    std::vector<std::string> out;
    for (Units row : table(unitCells, columnWidths(specs, width, gap), aligns, Units(static_cast<std::size_t>(std::max(gap, 0)), space()))) {
        while (!row.empty() && row.back().cp == ' ') row.pop_back();
        out.push_back(text(row));
    }
    return out;
}

std::vector<std::string> leftRight(std::string_view left, std::string_view right, int width) {
    const int l = textWidth(left), r = textWidth(right);
    if (l + 1 + r <= width) return {std::string(left) + std::string(static_cast<std::size_t>(width - l - r), ' ') + std::string(right)};
    std::vector<std::string> out = wrap(left, width);
    for (const std::string& line : wrap(right, width))
        out.push_back(std::string(static_cast<std::size_t>(std::max(0, width - textWidth(line))), ' ') + line);
    return out;
}

std::string rule(std::string_view c, int width) {
    const int each = std::max(1, textWidth(c));
    std::string out;
    for (int used = 0; used + each <= width; used += each) out += c;
    return out;
}

}  // namespace OrvikFramework::Layout
