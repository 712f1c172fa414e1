#include "core/Receiptline.h"

#include <unicode/utf8.h>

#include <algorithm>
#include <cctype>
#include <optional>

namespace OrvikFramework::Receiptline {
namespace {

using Layout::Align;
using Layout::Unit;
using Layout::Units;

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && isSpace(s.front())) s.remove_prefix(1);
    while (!s.empty() && isSpace(s.back())) s.remove_suffix(1);
    return s;
}

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// "\xnn" at `at` (the backslash): the byte, or nothing.
std::optional<std::uint8_t> hexEscape(std::string_view s, std::size_t at) {
    if (at + 3 >= s.size()) return std::nullopt;
    const int high = hexDigit(s[at + 2]), low = hexDigit(s[at + 3]);
    if (high < 0 || low < 0) return std::nullopt;
    return static_cast<std::uint8_t>(high * 16 + low);
}

// Splits at `separator` where it is not escaped; the escapes stay for the part's own reading.
std::vector<std::string_view> split(std::string_view s, char separator) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\') ++i;
        else if (s[i] == separator) {
            parts.push_back(s.substr(start, i - start));
            start = i + 1;
        }
    }
    parts.push_back(s.substr(start));
    return parts;
}

// A property value with its escapes read: \n a line feed, \xnn that byte, other escaped characters themselves
// when special and dropped when not.
std::string propertyValue(std::string_view s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\') {
            out += s[i];
            continue;
        }
        if (i + 1 >= s.size()) break;
        const char next = s[i + 1];
        if (next == 'x') {
            if (const auto byte = hexEscape(s, i)) out += static_cast<char>(*byte), i += 2;
        } else if (next == 'n') {
            out += '\n';
        } else if (std::string_view("\\|{};").find(next) != std::string_view::npos) {
            out += next;
        }
        ++i;
    }
    return out;
}

std::optional<Data> base64(std::string_view text) {
    Data out;
    std::uint32_t bits = 0;
    int count = 0;
    for (const char c : text) {
        int v = -1;
        if (c >= 'A' && c <= 'Z') v = c - 'A';
        else if (c >= 'a' && c <= 'z') v = c - 'a' + 26;
        else if (c >= '0' && c <= '9') v = c - '0' + 52;
        else if (c == '+') v = 62;
        else if (c == '/') v = 63;
        else if (c == '=' || isSpace(c) || c == '\n') continue;
        else return std::nullopt;
        bits = (bits << 6) | static_cast<std::uint32_t>(v);
        if ((count += 6) >= 8) {
            count -= 8;
            out.push_back(static_cast<std::uint8_t>(bits >> count));
        }
    }
    return out;
}

// The size a run of n carets selects: width and height multipliers.
std::pair<int, int> caretSize(int n) {
    if (n == 1) return {2, 1};
    if (n == 2) return {1, 2};
    const int m = std::min(n - 1, 6);
    return {m, m};
}

// The characters of one column's text, decorations applied.
Units columnText(std::string_view s) {
    Units out;
    std::uint32_t decoration = 0;
    std::pair<int, int> size{1, 1};
    const auto add = [&](char32_t cp, bool breakable) {
        const std::uint32_t style = decoration | static_cast<std::uint32_t>(size.first - 1) << 4 | static_cast<std::uint32_t>(size.second - 1) << 8;
        const int width = Layout::charWidth(cp) * size.first;
        if (width > 0) out.push_back(Unit{cp, width, style, breakable, false});
    };
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(s.data());
    const auto length = static_cast<std::int32_t>(s.size());
    for (std::int32_t i = 0; i < length;) {
        const char c = s[static_cast<std::size_t>(i)];
        if (c == '\\') {
            if (i + 1 >= length) break;
            const char next = s[static_cast<std::size_t>(i) + 1];
            if (next == 'n') out.push_back(Unit{'\n', 0, 0, false, true});
            else if (next == 'x') {
                if (const auto byte = hexEscape(s, static_cast<std::size_t>(i))) add(*byte, *byte == ' '), i += 2;
            } else if (std::string_view("\\|{}-=~_\"`^").find(next) != std::string_view::npos) {
                add(static_cast<unsigned char>(next), false);
            }
            i += 2;
            continue;
        }
        if (c == '^') {
            int n = 0;
            while (i < length && s[static_cast<std::size_t>(i)] == '^') ++n, ++i;
            const auto wanted = caretSize(n);
            size = size == wanted ? std::pair{1, 1} : wanted;
            continue;
        }
        ++i;
        if (c == '_') decoration ^= underline;
        else if (c == '"') decoration ^= emphasis;
        else if (c == '`') decoration ^= invert;
        else if (c == '~') add(' ', false);
        else if (c == ' ' || c == '\t') add(' ', true);
        else if (static_cast<unsigned char>(c) < 0x80) add(static_cast<unsigned char>(c), false);
        else {
            UChar32 cp = 0;
            --i;
            U8_NEXT(bytes, i, length, cp);
            add(cp < 0 ? 0xFFFD : static_cast<char32_t>(cp), false);
        }
    }
    return out;
}

// What `{ }` lines set for the lines after them.
struct State {
    std::vector<int> widths;  // -1: a share of the rest; none: equal shares for however many columns a line has
    int border = 1;
    bool borderLine = false;
    Align align = Align::Center;
    bool wrap = true;
    Code code;
};

void applyOptions(Code& code, std::string_view options) {
    std::string list(options);
    std::replace(list.begin(), list.end(), ',', ' ');
    for (const std::string_view word : split(list, ' ')) {
        const std::string w = lower(trimmed(word));
        if (w.empty()) continue;
        const bool digits = std::all_of(w.begin(), w.end(), [](char c) { return c >= '0' && c <= '9'; });
        const int n = digits && w.size() <= 3 ? std::stoi(w) : -1;
        if (w == "qrcode") code.qr = true;
        else if (w == "hri") code.barcode.hriPosition = HriPosition::Below;
        else if (w == "nohri") code.barcode.hriPosition = HriPosition::None;
        else if (w == "l" || w == "m" || w == "q" || w == "h")
            code.level = w == "l" ? QRErrorCorrection::L : w == "m" ? QRErrorCorrection::M : w == "q" ? QRErrorCorrection::Q : QRErrorCorrection::H;
        else if (n >= 2 && n <= 8) code.barcode.moduleWidth = static_cast<std::uint8_t>(std::min(n, 4)), code.cellSize = static_cast<std::uint8_t>(std::max(n, 3));
        else if (n >= 24 && n <= 240) code.barcode.height = static_cast<std::uint8_t>(n);
        else if (const auto named = symbologyNamed(w == "jan" ? "ean13" : w == "nw7" ? "codabar" : w == "ean" ? "ean13" : w == "upc" ? "upca" : w)) {
            code.qr = false;
            code.symbology = *named;
        }
    }
}

// Short forms of UPC and EAN are the smaller symbols.
Code codeFor(Code code, std::string data) {
    if (!code.qr && data.size() <= 8 && code.symbology == Symbology::UpcA) code.symbology = Symbology::UpcE;
    if (!code.qr && data.size() <= 8 && code.symbology == Symbology::Ean13) code.symbology = Symbology::Ean8;
    code.data = std::move(data);
    return code;
}

// Applies a `{ }` line: settings for later lines, and any code, picture or command it holds.
Status property(std::string_view body, State& state, int columns, std::vector<Block>& out) {
    std::optional<Block> item;
    for (const std::string_view member : split(body, ';')) {
        const auto colon = split(member, ':');
        const std::string key = lower(trimmed(propertyValue(colon[0])));
        const std::string value(trimmed(propertyValue(member.substr(std::min(member.size(), colon[0].size() + 1)))));
        if (key == "width" || key == "w") {
            state.widths.clear();
            std::string list = value;
            std::replace(list.begin(), list.end(), ',', ' ');
            for (const std::string_view word : split(list, ' ')) {
                const std::string w(trimmed(word));
                if (w == "*") state.widths.push_back(-1);
                else if (!w.empty() && w.size() <= 4 && std::all_of(w.begin(), w.end(), ::isdigit))
                    state.widths.push_back(std::min(std::stoi(w), columns));
            }
        } else if (key == "border" || key == "b") {
            state.borderLine = value == "line";
            state.border = value == "none" || value == "0" ? 0 : value == "2" ? 2 : 1;
        } else if (key == "align" || key == "a") {
            state.align = value == "left" ? Align::Left : value == "right" ? Align::Right : Align::Center;
        } else if (key == "text" || key == "t") {
            state.wrap = value != "nowrap";
        } else if (key == "option" || key == "o") {
            state.code = Code{};
            applyOptions(state.code, value);
        } else if (key == "code" || key == "c") {
            item = Block{Block::Kind::Code, {}, state.align, codeFor(state.code, value), {}};
        } else if (key == "image" || key == "i") {
            const auto png = base64(value);
            if (!png) return Error{ErrorCode::InvalidArgument, "an image property is not base64"};
            item = Block{Block::Kind::Image, {}, state.align, {}, *png};
        } else if (key == "command" || key == "x") {
            item = Block{Block::Kind::Command, {}, state.align, {}, Data(value.begin(), value.end())};
        }
    }
    // The code takes the options of its own line, wherever they stand in it.
    if (item && item->kind == Block::Kind::Code) item->code = codeFor(state.code, item->code.data);
    if (item) out.push_back(std::move(*item));
    return std::nullopt;
}

// Laid-out lines of one table row.
void textLine(const std::vector<std::string_view>& raw, bool pipeFirst, bool pipeLast, const State& state, int columns,
              std::vector<Block>& out) {
    std::vector<Units> cells;
    std::vector<Align> aligns;
    for (std::size_t c = 0; c < raw.size(); ++c) {
        const std::string_view s = raw[c];
        // A column is drawn to the pipe it touches; the line's ends count as the side the other side is not.
        std::optional<bool> spaceBefore, spaceAfter;
        if (c > 0 || pipeFirst) spaceBefore = !s.empty() && isSpace(s.front());
        if (c + 1 < raw.size() || pipeLast) spaceAfter = !s.empty() && isSpace(s.back());
        if (!spaceBefore && spaceAfter) spaceBefore = !*spaceAfter;
        if (!spaceAfter && spaceBefore) spaceAfter = !*spaceBefore;
        const bool before = spaceBefore.value_or(true), after = spaceAfter.value_or(true);
        aligns.push_back(before == after ? Align::Center : before ? Align::Right : Align::Left);
        Units text = columnText(trimmed(s));
        cells.push_back(std::move(text));
    }
    std::vector<Layout::ColumnSpec> specs;
    if (state.widths.empty()) specs.assign(cells.size(), Layout::ColumnSpec{});
    for (const int w : state.widths)
        specs.push_back(w < 0 ? Layout::ColumnSpec{} : Layout::ColumnSpec{Layout::ColumnSpec::Kind::Fixed, static_cast<double>(w)});
    cells.resize(specs.size());
    const int gap = state.borderLine ? 1 : state.border;
    const std::vector<int> widths = Layout::columnWidths(specs, columns, gap);
    int used = gap * static_cast<int>(std::max<std::size_t>(widths.size(), 1) - 1);
    for (const int w : widths) used += w;
    if (!state.wrap)
        for (std::size_t c = 0; c < cells.size(); ++c) {
            Units& cell = cells[c];
            int room = widths[c];
            std::size_t keep = 0;
            while (keep < cell.size() && !cell[keep].lineBreak && (room -= cell[keep].width) >= 0) ++keep;
            cell.resize(keep);
        }
    const Units separator(static_cast<std::size_t>(gap), Unit{static_cast<char32_t>(state.borderLine ? '|' : ' '), 1, 0, false, false});
    for (const Units& row : Layout::table(cells, widths, aligns, separator))
        out.push_back(Block{Block::Kind::Line, Layout::aligned(row, columns, state.align), {}, {}, {}});
}

}  // namespace

Result<std::vector<Block>> layout(std::string_view document, int columns) {
    if (document.size() > DocumentMaxBytes) return Error{ErrorCode::InvalidArgument, "a document is at most 16 MiB"};
    columns = std::max(columns, 1);
    std::vector<Block> out;
    State state;
    std::vector<std::string_view> lines = split(document, '\n');
    // A file's last line feed ends its last line; it does not begin another.
    if (lines.size() > 1 && lines.back().empty()) lines.pop_back();
    for (std::string_view line : lines) {
        const std::string_view body = trimmed(line);
        if (!body.empty() && body.find_first_not_of('-') == std::string_view::npos) {
            out.push_back(Block{Block::Kind::Line, Units(static_cast<std::size_t>(columns), Unit{'-', 1, 0, false, false}), {}, {}, {}});
            continue;
        }
        if (!body.empty() && body.find_first_not_of('=') == std::string_view::npos) {
            out.push_back(Block{Block::Kind::Cut, {}, {}, {}, {}});
            continue;
        }
        std::vector<std::string_view> raw = split(line, '|');
        const bool pipeFirst = raw.size() > 1 && trimmed(raw.front()).empty();
        const bool pipeLast = raw.size() > 1 && trimmed(raw.back()).empty();
        if (pipeFirst) raw.erase(raw.begin());
        if (pipeLast && !raw.empty()) raw.pop_back();
        if (raw.size() == 1) {
            const std::string_view only = trimmed(raw[0]);
            if (only.size() >= 2 && only.front() == '{' && only.back() == '}' && only[only.size() - 2] != '\\') {
                if (auto problem = property(only.substr(1, only.size() - 2), state, columns, out)) return *problem;
                continue;
            }
        }
        textLine(raw, pipeFirst, pipeLast, state, columns, out);
    }
    return out;
}

}  // namespace OrvikFramework::Receiptline
