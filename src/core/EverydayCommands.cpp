#include "core/EverydayCommands.h"

#include <algorithm>

namespace OrvikFramework::Commands {
namespace {

using namespace EscPos;

constexpr std::uint8_t LF = 0x0A;
constexpr std::uint32_t columnBand = 24;

void append(Data& out, const Data& more) { out.insert(out.end(), more.begin(), more.end()); }

Data pdf417Function(std::uint8_t fn, std::initializer_list<std::uint8_t> parameters) {
    const auto length = static_cast<std::uint8_t>(2 + parameters.size());
    Data out{GS, '(', 'k', length, 0, pdf417Symbol, fn};
    for (std::uint8_t p : parameters) out.push_back(p);
    return out;
}

}  // namespace

Data drawerKick(std::uint8_t m, std::uint8_t onTime, std::uint8_t offTime) { return {ESC, 'p', m, onTime, offTime}; }
Data beep(std::uint8_t times, std::uint8_t duration) { return {ESC, 'B', times, duration}; }

Data characterSize(std::uint8_t width, std::uint8_t height) {
    return {GS, '!', static_cast<std::uint8_t>(((width - 1) << 4) | (height - 1))};
}

Data invert(bool on) { return {GS, 'B', static_cast<std::uint8_t>(on)}; }
Data upsideDown(bool on) { return {ESC, '{', static_cast<std::uint8_t>(on)}; }
Data lineSpacing(std::optional<std::uint8_t> dots) { return dots ? Data{ESC, '3', *dots} : Data{ESC, '2'}; }

Data tabStops(const std::vector<std::uint8_t>& columns) {
    Data out{ESC, 'D'};
    out.insert(out.end(), columns.begin(), columns.end());
    out.push_back(NUL);
    return out;
}

Data pdf417(std::string_view data, const Pdf417Options& o) {
    Data out = pdf417Function(pdf417Columns, {o.columns});
    append(out, pdf417Function(pdf417Rows, {o.rows}));
    append(out, pdf417Function(pdf417ModuleWidth, {o.moduleWidth}));
    append(out, pdf417Function(pdf417RowHeight, {o.rowHeight}));
    append(out, pdf417Function(pdf417ErrorLevel, {48, static_cast<std::uint8_t>(48 + o.errorLevel)}));
    const std::size_t length = data.size() + 3;
    append(out, {GS, '(', 'k', static_cast<std::uint8_t>(length & 0xFF), static_cast<std::uint8_t>(length >> 8),
                 pdf417Symbol, pdf417Store, 48});
    out.insert(out.end(), data.begin(), data.end());
    append(out, pdf417Function(pdf417Print, {48}));
    return out;
}

Data rasterImage(const MonoBitmap& p) {
    const std::uint32_t x = p.rowBytes();
    Data out{GS, 'v', '0', 0, static_cast<std::uint8_t>(x & 0xFF), static_cast<std::uint8_t>(x >> 8),
             static_cast<std::uint8_t>(p.height & 0xFF), static_cast<std::uint8_t>(p.height >> 8)};
    append(out, p.rows);
    return out;
}

Data graphicsImage(const MonoBitmap& p) {
    // m 48, fn 112, monochrome (48), scale 1 x 1, colour 1 (49), width and height in dots.
    const Data header{48, graphicsStore, 48, 1, 1, 49, static_cast<std::uint8_t>(p.width & 0xFF),
                      static_cast<std::uint8_t>(p.width >> 8), static_cast<std::uint8_t>(p.height & 0xFF),
                      static_cast<std::uint8_t>(p.height >> 8)};
    const std::size_t length = header.size() + p.rows.size();
    Data out;
    if (length <= 0xFFFF) {
        out = {GS, '(', 'L', static_cast<std::uint8_t>(length & 0xFF), static_cast<std::uint8_t>(length >> 8)};
    } else {
        out = {GS, '8', 'L'};
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(length >> (8 * i)));
    }
    append(out, header);
    append(out, p.rows);
    append(out, {GS, '(', 'L', 2, 0, 48, graphicsPrint});
    return out;
}

Data columnImage(const MonoBitmap& p) {
    Data out = lineSpacing(columnBand);
    for (std::uint32_t top = 0; top < p.height; top += columnBand) {
        append(out, {ESC, '*', columnMode24, static_cast<std::uint8_t>(p.width & 0xFF),
                     static_cast<std::uint8_t>(p.width >> 8)});
        for (std::uint32_t x = 0; x < p.width; ++x)
            for (std::uint32_t byte = 0; byte < 3; ++byte) {
                std::uint8_t bits = 0;
                for (std::uint32_t bit = 0; bit < 8; ++bit) {
                    const std::uint32_t y = top + byte * 8 + bit;
                    if (y < p.height && p.black(x, y)) bits |= 0x80 >> bit;
                }
                out.push_back(bits);
            }
        out.push_back(LF);
    }
    append(out, lineSpacing(std::nullopt));
    return out;
}

}  // namespace OrvikFramework::Commands
