#include "vprinter/Renderer.h"

#include <orvik/Enums.h>

#include <ft2build.h>
#include FT_FREETYPE_H
#include <zlib.h>

#include <algorithm>
#include <map>
#include <optional>
#include <string>

#include "core/Barcodes.h"
#include "core/CodePage.h"
#include "core/EscPos.h"
#include "core/EverydayCommands.h"
#include "core/QrSymbol.h"
#include "core/SymbolPicture.h"

namespace OrvikFramework::VirtualPrinter {
namespace {

struct Font {
    int cellWidth;
    int cellHeight;
    int pixelSize;
};
constexpr Font fontA{12, 24, 20};
constexpr Font fontB{9, 17, 14};
constexpr int defaultLineSpacing = 30;
constexpr int defaultBarcodeHeight = 162;
constexpr int defaultModuleWidth = 3;
constexpr char32_t replacement = 0xFFFD;

// A one-bit glyph in its character cell.
struct Glyph {
    int width = 0;
    int height = 0;
    std::vector<bool> dots;
};

struct Style {
    bool fontB = false;
    bool emphasized = false;
    int underline = 0;
    int widthScale = 1;
    int heightScale = 1;
    bool inverted = false;
};

struct Placed {
    char32_t codepoint;  // 0: the blank a tab leaves, `gap` dots wide
    Style style;
    bool wide;
    int gap = 0;
};

constexpr int defaultTabColumns = 8;
constexpr int markSize = 8;

// East Asian wide characters take two cells, as on a printer's double-byte font.
bool wide(char32_t cp) {
    return (cp >= 0x1100 && cp <= 0x115F) || (cp >= 0x2E80 && cp <= 0xA4CF && cp != 0x303F) ||
           (cp >= 0xAC00 && cp <= 0xD7A3) || (cp >= 0xF900 && cp <= 0xFAFF) || (cp >= 0xFE30 && cp <= 0xFE4F) ||
           (cp >= 0xFF00 && cp <= 0xFF60) || (cp >= 0xFFE0 && cp <= 0xFFE6) || (cp >= 0x20000 && cp <= 0x3FFFD);
}

// JIS code is Shift_JIS's row-and-cell pairs without the high bits EUC-JP sets.
Data jisAsEucJp(const Data& bytes) {
    Data out(bytes);
    for (std::uint8_t& b : out) b |= 0x80;
    return out;
}

std::vector<char32_t> decodeUtf8(const Data& bytes) {
    std::vector<char32_t> out;
    for (std::size_t i = 0; i < bytes.size();) {
        const std::uint8_t b = bytes[i];
        const int extra = b < 0x80 ? 0 : (b >> 5) == 0x6 ? 1 : (b >> 4) == 0xE ? 2 : (b >> 3) == 0x1E ? 3 : -1;
        if (extra < 0) {
            out.push_back(replacement);
            ++i;
            continue;
        }
        char32_t cp = extra == 0 ? b : b & (0x3F >> extra);
        bool ok = true;
        for (int k = 1; k <= extra; ++k) {
            if (i + static_cast<std::size_t>(k) >= bytes.size() || (bytes[i + static_cast<std::size_t>(k)] & 0xC0) != 0x80) {
                ok = false;
                break;
            }
            cp = (cp << 6) | (bytes[i + static_cast<std::size_t>(k)] & 0x3F);
        }
        if (!ok) {
            out.push_back(replacement);
            ++i;
            continue;
        }
        out.push_back(cp);
        i += static_cast<std::size_t>(extra) + 1;
    }
    return out;
}

}  // namespace

struct Renderer::State {
    RenderOptions options;
    Limits limits;
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    FT_Face fallback = nullptr;
    std::map<std::pair<char32_t, bool>, Glyph> glyphs;

    Receipt receipt;
    std::size_t recorded = 0;  // bytes the receipt's dump holds
    bool dumpFull = false;
    bool used = false;
    int y = 0;
    Style style;
    int alignment = 0;
    int lineSpacing = defaultLineSpacing;
    int hriPosition = 0;
    bool hriFontB = false;
    bool upsideDown = false;
    std::vector<int> tabStops;  // character columns; none: every eighth
    int lineGraphicHeight = 0;  // column-mode images in the line being built
    Pdf417Options pdf417;
    std::string pdf417Data;
    Data graphicsData;  // GS ( L store parameters
    int barcodeHeight = defaultBarcodeHeight;
    int moduleWidth = defaultModuleWidth;
    std::optional<std::uint8_t> codeTable;  // none: text is read as UTF-8
    bool multiByte = false;
    int kanjiSystem = -1;  // FS C n; none: the model's own double-byte set
    int qrModel = 50;
    int qrModule = 3;
    QRErrorCorrection qrLevel = QRErrorCorrection::L;
    std::string qrData;
    std::vector<Placed> line;
    int lineWidth = 0;
    int lineAlignment = 0;
    std::vector<Receipt> done;

    State(RenderOptions o, Limits l) : options(std::move(o)), limits(l) {
        if (FT_Init_FreeType(&library) != 0) return;
        if (FT_New_Face(library, options.fontPath.c_str(), 0, &face) != 0) face = nullptr;
        if (FT_New_Face(library, options.fallbackFontPath.c_str(), 0, &fallback) != 0) fallback = nullptr;
        startReceipt();
    }
    ~State() {
        if (face) FT_Done_Face(face);
        if (fallback) FT_Done_Face(fallback);
        if (library) FT_Done_FreeType(library);
    }

    void startReceipt() {
        receipt = Receipt{};
        receipt.width = options.paperDots;
        recorded = 0;
        dumpFull = false;
        used = false;
        y = 0;
    }

    void endReceipt() {
        flushLine();
        // A receipt with reports or warnings is kept even when blank, so its dump shows what went wrong.
        const bool reported = std::any_of(receipt.commands.begin(), receipt.commands.end(), [](const Command& c) {
            return c.kind == Command::Kind::Error || c.kind == Command::Kind::Unknown;
        });
        if (!used && !reported && receipt.warnings.empty()) return;
        receipt.height = static_cast<std::uint32_t>(std::max(y, 1));
        receipt.pixels.resize(std::size_t{receipt.width} * receipt.height, 255);
        done.push_back(std::move(receipt));
        startReceipt();
    }

    // The dump keeps commands up to its limit and then says it stopped; printing goes on.
    void record(const Command& c) {
        if (dumpFull) return;
        recorded += sizeof c + c.data.size();
        if (recorded <= limits.largestDump) return receipt.commands.push_back(c);
        dumpFull = true;
        receipt.warnings.push_back("more than " + std::to_string(limits.largestDump) +
                                   " bytes of commands; the dump and the text stop here");
    }

    void resetModes() {
        style = Style{};
        alignment = 0;
        lineSpacing = defaultLineSpacing;
        hriPosition = 0;
        hriFontB = false;
        upsideDown = false;
        tabStops.clear();
        pdf417 = Pdf417Options{};
        pdf417Data.clear();
        graphicsData.clear();
        barcodeHeight = defaultBarcodeHeight;
        moduleWidth = defaultModuleWidth;
        codeTable.reset();
        multiByte = false;
        kanjiSystem = -1;
        qrModel = 50;
        qrModule = 3;
        qrLevel = QRErrorCorrection::L;
        qrData.clear();
    }

    // Makes room for dots down to row `bottom`, continuing on a new receipt when this one would grow too long.
    void reserve(int bottom) {
        if (bottom > static_cast<int>(options.longestReceipt) && y > 0) {
            receipt.warnings.push_back("receipt longer than " + std::to_string(options.longestReceipt) +
                                       " dots without a cut; continued on the next one");
            const int height = bottom - y;
            receipt.height = static_cast<std::uint32_t>(y);
            receipt.pixels.resize(std::size_t{receipt.width} * receipt.height, 255);
            done.push_back(std::move(receipt));
            startReceipt();
            bottom = height;
        }
        bottom = std::min(bottom, static_cast<int>(options.longestReceipt));
        const std::size_t need = std::size_t{receipt.width} * static_cast<std::size_t>(bottom);
        if (receipt.pixels.size() < need) receipt.pixels.resize(need, 255);
        used = true;
    }

    void dot(int x, int row) {
        if (x < 0 || row < 0 || x >= static_cast<int>(receipt.width)) return;
        const std::size_t index = static_cast<std::size_t>(row) * receipt.width + static_cast<std::size_t>(x);
        if (index < receipt.pixels.size()) receipt.pixels[index] = 0;
    }

    void feed(int dots) {
        if (dots <= 0) return;
        reserve(y + dots);
        y = std::min(y + dots, static_cast<int>(options.longestReceipt));
    }

    int startX(int width) const {
        const int room = static_cast<int>(receipt.width) - width;
        if (room <= 0) return 0;
        return lineAlignment == 1 ? room / 2 : lineAlignment == 2 ? room : 0;
    }

    const Glyph& glyph(char32_t cp, bool small) {
        const auto key = std::make_pair(cp, small);
        if (auto it = glyphs.find(key); it != glyphs.end()) return it->second;
        const Font& font = small ? fontB : fontA;
        Glyph g;
        g.width = font.cellWidth * (wide(cp) ? 2 : 1);
        g.height = font.cellHeight;
        g.dots.assign(static_cast<std::size_t>(g.width * g.height), false);
        const FT_Face chosen = faceFor(cp);
        if (chosen && cp != U' ' && FT_Set_Pixel_Sizes(chosen, 0, static_cast<FT_UInt>(font.pixelSize)) == 0 &&
            FT_Load_Char(chosen, cp, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO) == 0) {
            const FT_GlyphSlot slot = chosen->glyph;
            const FT_Bitmap& bm = slot->bitmap;
            const int ascender = static_cast<int>(chosen->size->metrics.ascender >> 6);
            const int descender = static_cast<int>(-chosen->size->metrics.descender >> 6);
            const int baseline = (font.cellHeight - ascender - descender) / 2 + ascender;
            for (unsigned row = 0; row < bm.rows; ++row) {
                for (unsigned col = 0; col < bm.width; ++col) {
                    const std::uint8_t byte = bm.buffer[static_cast<int>(row) * bm.pitch + static_cast<int>(col / 8)];
                    if (!(byte & (0x80 >> (col % 8)))) continue;
                    const int gx = slot->bitmap_left + static_cast<int>(col);
                    const int gy = baseline - slot->bitmap_top + static_cast<int>(row);
                    if (gx >= 0 && gx < g.width && gy >= 0 && gy < g.height)
                        g.dots[static_cast<std::size_t>(gy * g.width + gx)] = true;
                }
            }
        }
        return glyphs.emplace(key, std::move(g)).first->second;
    }

    FT_Face faceFor(char32_t cp) const {
        if (face && FT_Get_Char_Index(face, cp) != 0) return face;
        if (fallback && FT_Get_Char_Index(fallback, cp) != 0) return fallback;
        return face;
    }

    static int cellWidth(const Style& s) { return (s.fontB ? fontB : fontA).cellWidth * s.widthScale; }
    static int cellWidth(const Placed& p) { return p.codepoint == 0 ? p.gap : cellWidth(p.style) * (p.wide ? 2 : 1); }

    // The iconv set the text bytes are in now; none for UTF-8.
    std::optional<std::string> charset() const {
        if (multiByte) {
            if (kanjiSystem == 0) return "EUC-JP";
            if (kanjiSystem == 1) return "SHIFT_JIS";
            return options.multiByteCharset;
        }
        if (!codeTable) return std::nullopt;
        if (const auto page = codePageForTable(*codeTable)) return codePageInfo(*page).iconvName;
        return std::nullopt;
    }

    void selectTable(std::uint8_t n) {
        if (!codePageForTable(n)) {
            receipt.warnings.push_back("code table " + std::to_string(n) + " is not known; text is read as UTF-8");
            codeTable.reset();
            return;
        }
        codeTable = n;
    }
    static int cellHeight(const Style& s) { return (s.fontB ? fontB : fontA).cellHeight * s.heightScale; }

    void addText(const Data& bytes) {
        const std::optional<std::string> set = charset();
        const std::string utf8 = !set ? CodePages::decode(bytes, "UTF-8")
                                 : kanjiSystem == 0 && multiByte ? CodePages::decode(jisAsEucJp(bytes), set->c_str())
                                                                 : CodePages::decode(bytes, set->c_str());
        if (!dumpFull) receipt.text += utf8;
        for (char32_t cp : decodeUtf8(set ? Data(utf8.begin(), utf8.end()) : bytes)) {
            if (line.empty()) lineAlignment = alignment;
            const Placed placed{cp, style, wide(cp)};
            const int w = cellWidth(placed);
            if (lineWidth + w > static_cast<int>(receipt.width) && !line.empty()) {
                printLine(lineSpacing);
                lineAlignment = alignment;
            }
            line.push_back(placed);
            lineWidth += w;
        }
    }

    // Prints the line buffer and moves down by at least `advance`.
    void printLine(int advance) {
        int height = lineGraphicHeight;
        for (const Placed& p : line) height = std::max(height, cellHeight(p.style));
        if (!line.empty()) {
            reserve(y + height);
            int x = startX(lineWidth);
            for (const Placed& p : line) {
                drawGlyph(p, x, y + height - cellHeight(p.style));
                x += cellWidth(p);
            }
            // Upside-down, the printer turns the whole line half round.
            if (upsideDown) turnRows(y, y + height);
        }
        line.clear();
        lineWidth = 0;
        lineGraphicHeight = 0;
        feed(std::max(advance, height));
    }

    void turnRows(int top, int bottom) {
        const auto begin = receipt.pixels.begin() + static_cast<std::ptrdiff_t>(std::size_t{receipt.width} * static_cast<std::size_t>(top));
        std::reverse(begin, begin + static_cast<std::ptrdiff_t>(std::size_t{receipt.width} * static_cast<std::size_t>(bottom - top)));
    }

    void tab() {
        if (line.empty()) lineAlignment = alignment;
        const int cell = cellWidth(style);
        const int column = (lineWidth + cell - 1) / cell;
        int stop = 0;
        if (tabStops.empty()) stop = (column / defaultTabColumns + 1) * defaultTabColumns;
        else for (int s : tabStops) if (s > column) { stop = s; break; }
        // Past the last stop, or off the paper, a tab does nothing.
        if (stop == 0 || stop * cell > static_cast<int>(receipt.width)) return;
        line.push_back({0, style, false, stop * cell - lineWidth});
        lineWidth = stop * cell;
    }

    // The drawer kick and the buzzer leave a small mark at the right edge, never text.
    void eventMark(bool drawer) {
        reserve(y + markSize);
        const int right = static_cast<int>(receipt.width) - 1;
        for (int row = 0; row < markSize; ++row)
            for (int dx = 0; dx <= (drawer ? markSize / 2 : row / 2); ++dx) dot(right - dx, y + row);
    }

    void flushLine() {
        if (!line.empty()) printLine(lineSpacing);
    }

    void drawGlyph(const Placed& p, int x, int top) {
        if (p.codepoint == 0) return;
        const Glyph& g = glyph(p.codepoint, p.style.fontB);
        const int sx = p.style.widthScale, sy = p.style.heightScale;
        const auto block = [&](int gx, int gy) {
            for (int dy = 0; dy < sy; ++dy)
                for (int dx = 0; dx < sx; ++dx) dot(x + gx * sx + dx, top + gy * sy + dy);
        };
        // Inverted, the cell is black and the glyph's dots stay white.
        if (p.style.inverted) {
            for (int gy = 0; gy < g.height; ++gy)
                for (int gx = 0; gx < g.width; ++gx)
                    if (!g.dots[static_cast<std::size_t>(gy * g.width + gx)]) block(gx, gy);
            return;
        }
        for (int gy = 0; gy < g.height; ++gy) {
            for (int gx = 0; gx < g.width; ++gx) {
                const bool on = g.dots[static_cast<std::size_t>(gy * g.width + gx)] ||
                                (p.style.emphasized && gx > 0 && g.dots[static_cast<std::size_t>(gy * g.width + gx - 1)]);
                const bool under = p.style.underline > 0 && gy >= g.height - p.style.underline;
                if (on || under) block(gx, gy);
            }
        }
    }

    void drawHri(const std::string& text, int center) {
        Style saved = style;
        style = Style{};
        style.fontB = hriFontB;
        const Font& font = hriFontB ? fontB : fontA;
        const int savedAlignment = lineAlignment;
        for (char32_t cp : decodeUtf8(Data(text.begin(), text.end()))) line.push_back({cp, style, false});
        lineWidth = static_cast<int>(line.size()) * font.cellWidth;
        reserve(y + font.cellHeight);
        int x = std::max(0, center - lineWidth / 2);
        for (const Placed& p : line) {
            drawGlyph(p, x, y);
            x += font.cellWidth;
        }
        line.clear();
        lineWidth = 0;
        y += font.cellHeight;
        style = saved;
        lineAlignment = savedAlignment;
    }

    void barcode(const Command& c) {
        flushLine();
        const auto checked = Barcodes::fromPrintCommand(c.value, c.data);
        const auto picture = checked ? SymbolPicture::barcode(*checked, static_cast<std::uint8_t>(moduleWidth),
                                                              static_cast<std::uint8_t>(std::clamp(barcodeHeight, 1, 255)), false)
                                     : Result<MonoBitmap>(checked.error());
        if (!picture) {
            receipt.warnings.push_back(picture.error().message);
            return;
        }
        lineAlignment = alignment;
        const int center = startX(static_cast<int>(picture->width)) + static_cast<int>(picture->width) / 2;
        if (hriPosition == 1 || hriPosition == 3) drawHri(checked->data, center);
        drawPicture(*picture, 1, 1, "barcode " + checked->data);
        if (hriPosition == 2 || hriPosition == 3) drawHri(checked->data, center);
    }

    // GS ( k for PDF417: settings and data are kept until the print function draws the symbol.
    void pdf417Symbol(const Command& c) {
        const auto parameter = [&c](std::size_t i) { return i < c.data.size() ? c.data[i] : std::uint8_t{0}; };
        switch (c.value) {
            case EscPos::pdf417Columns: pdf417.columns = parameter(0); break;
            case EscPos::pdf417Rows: pdf417.rows = parameter(0); break;
            case EscPos::pdf417ModuleWidth: pdf417.moduleWidth = parameter(0); break;
            case EscPos::pdf417RowHeight: pdf417.rowHeight = parameter(0); break;
            case EscPos::pdf417ErrorLevel:
                if (parameter(0) == 48) pdf417.errorLevel = static_cast<std::uint8_t>(parameter(1) - 48);
                break;
            case EscPos::pdf417Store:
                pdf417Data.assign(c.data.begin() + std::min<std::size_t>(1, c.data.size()), c.data.end());
                break;
            case EscPos::pdf417Print: {
                flushLine();
                const auto picture = SymbolPicture::pdf417(pdf417Data, pdf417);
                if (!picture) receipt.warnings.push_back(picture.error().message);
                else drawPicture(*picture, 1, 1, "PDF417");
                break;
            }
            default: break;
        }
    }

    // GS ( L / GS 8 L: the picture stored by function 112 (a bx by c xL xH yL yH d...) prints at function 50.
    void graphics(const Command& c) {
        if (c.value == EscPos::graphicsStore) {
            graphicsData = c.data;
            return;
        }
        if (c.value != EscPos::graphicsPrint) return;
        flushLine();
        const Data& d = graphicsData;
        if (d.size() < 8 || d[0] != 48) {
            receipt.warnings.push_back("graphics print without a stored monochrome picture");
            return;
        }
        MonoBitmap picture;
        picture.width = d[4] + 256u * d[5];
        picture.height = d[6] + 256u * d[7];
        picture.rows.assign(d.begin() + 8, d.end());
        if (picture.rows.size() != std::size_t{picture.rowBytes()} * picture.height) {
            receipt.warnings.push_back("stored graphics data does not match its size");
            return;
        }
        lineAlignment = alignment;
        drawPicture(picture, std::clamp<int>(d[1], 1, 2), std::clamp<int>(d[2], 1, 2), "graphics");
    }

    // ESC *: one band in the line being built; the line feed after it moves down by at least its height.
    void columnImage(const Command& c) {
        flushLine();
        const bool tall = c.value >= 32;
        const int sx = (c.value == 0 || c.value == 32) ? 2 : 1, sy = tall ? 1 : 3;
        const int bytes = tall ? 3 : 1;
        MonoBitmap picture;
        picture.width = c.width;
        picture.height = static_cast<std::uint32_t>(bytes * 8);
        picture.rows.assign(std::size_t{picture.rowBytes()} * picture.height, 0);
        for (std::uint32_t x = 0; x < c.width; ++x)
            for (int row = 0; row < bytes * 8; ++row)
                if (c.data[x * static_cast<std::size_t>(bytes) + static_cast<std::size_t>(row / 8)] & (0x80 >> (row % 8)))
                    picture.rows[static_cast<std::size_t>(row) * picture.rowBytes() + x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
        lineAlignment = alignment;
        const int top = y;
        drawPicture(picture, sx, sy, "column image");
        lineGraphicHeight = y - top;
        y = top;
    }

    void drawPicture(const MonoBitmap& picture, int sx, int sy, const std::string& what) {
        const int width = static_cast<int>(picture.width) * sx;
        if (width > static_cast<int>(receipt.width))
            receipt.warnings.push_back(what + " " + std::to_string(width) + " dots wide is clipped to the paper");
        const int left = startX(width);
        for (std::uint32_t row = 0; row < picture.height; ++row) {
            reserve(y + sy);
            for (std::uint32_t col = 0; col < picture.width; ++col) {
                if (!picture.black(col, row)) continue;
                for (int dy = 0; dy < sy; ++dy)
                    for (int dx = 0; dx < sx; ++dx) dot(left + static_cast<int>(col) * sx + dx, y + dy);
            }
            y += sy;
        }
    }

    bool qrSettingFits(const std::string& name, int value, int lowest, int highest) {
        if (value >= lowest && value <= highest) return true;
        receipt.warnings.push_back("QR " + name + " " + std::to_string(value) + " is outside " + std::to_string(lowest) +
                                   "-" + std::to_string(highest) + "; ignored");
        return false;
    }

    // GS ( k for QR: settings and data are kept until the print function draws the symbol, quiet zone included.
    void qrCode(const Command& c) {
        const auto parameter = [&c](std::size_t i) { return i < c.data.size() ? int{c.data[i]} : -1; };
        switch (c.value) {
            case EscPos::qrSelectModel: qrModel = parameter(0); break;
            // A printer ignores a setting out of range, keeping the one before.
            case EscPos::qrModuleSize:
                if (qrSettingFits("module size", parameter(0), QRSmallestModule, QRLargestModule)) qrModule = parameter(0);
                break;
            case EscPos::qrErrorCorrection:
                if (qrSettingFits("error correction", parameter(0), 48, 51))
                    qrLevel = static_cast<QRErrorCorrection>(parameter(0));
                break;
            case EscPos::qrStore: qrData.assign(c.data.begin() + std::min<std::size_t>(1, c.data.size()), c.data.end()); break;
            case EscPos::qrPrint: {
                if (qrModel != EscPos::qrModel2) {
                    receipt.warnings.push_back("QR model " + std::to_string(qrModel) + " is not drawn; only model 2 is");
                    break;
                }
                std::string problem;
                const auto modules = QrSymbol::encode(qrData, qrLevel, problem);
                if (!modules) {
                    receipt.warnings.push_back(problem);
                    break;
                }
                const QrSymbol::Raster picture = QrSymbol::raster(*modules, qrModule);
                Command image;
                image.width = static_cast<std::uint32_t>(picture.rowBytes);
                image.height = static_cast<std::uint32_t>(picture.rows);
                image.data = picture.bits;
                raster(image);
                break;
            }
            default: break;
        }
    }

    void raster(const Command& c) {
        flushLine();
        lineAlignment = alignment;
        const int mode = static_cast<int>(c.value) % 48;
        MonoBitmap picture{c.width * 8, c.height, c.data};
        drawPicture(picture, (mode & 1) ? 2 : 1, (mode & 2) ? 2 : 1, "raster image");
    }

    void apply(const Command& c) {
        using K = Command::Kind;
        const int n = static_cast<int>(c.value);
        record(c);
        switch (c.kind) {
            case K::Initialize: flushLine(); resetModes(); break;
            case K::Alignment: alignment = (n == 1 || n == 49) ? 1 : (n == 2 || n == 50) ? 2 : 0; break;
            case K::PrintMode:
                style.fontB = n & PRINT_MODE__CHAR_FONT_B;
                style.emphasized = n & PRINT_MODE__EMPHASIZED_SELECTED;
                style.heightScale = (n & PRINT_MODE__DOUBLE_HEIGHT_SELECTED) ? 2 : 1;
                style.widthScale = (n & PRINT_MODE__DOUBLE_WIDTH_SELECTED) ? 2 : 1;
                style.underline = (n & PRINT_MODE__UNDERLINE_SELECTED) ? 1 : 0;
                break;
            case K::Emphasized: style.emphasized = n & 1; break;
            case K::Underline: style.underline = (n == 1 || n == 49) ? 1 : (n == 2 || n == 50) ? 2 : 0; break;
            case K::CharacterSize:
                style.widthScale = ((n >> 4) & 7) + 1;
                style.heightScale = (n & 7) + 1;
                break;
            case K::LineSpacing: lineSpacing = n < 0 ? defaultLineSpacing : n; break;
            case K::Text: addText(c.data); break;
            case K::LineFeed:
                printLine(lineSpacing);
                receipt.text += '\n';
                break;
            case K::CodeTable: selectTable(static_cast<std::uint8_t>(n)); break;
            case K::MultiByteOn: multiByte = true; break;
            case K::MultiByteOff: multiByte = false; break;
            case K::KanjiSystem: kanjiSystem = (n == 0 || n == 48) ? 0 : (n == 1 || n == 49) ? 1 : kanjiSystem; break;
            case K::FeedDots:
                if (!line.empty()) printLine(0);
                feed(n);
                used = true;
                break;
            case K::FeedLines:
                flushLine();
                feed(n * lineSpacing);
                used = true;
                break;
            case K::PartialCut: endReceipt(); break;
            case K::Cut:
                flushLine();
                if (c.feed > 0) feed(static_cast<int>(c.feed));
                endReceipt();
                break;
            case K::HriPosition: hriPosition = n % 48; break;
            case K::BarcodeHeight: barcodeHeight = n; break;
            case K::BarcodeWidth: moduleWidth = std::clamp(n, 1, 6); break;
            case K::Barcode: barcode(c); break;
            case K::RasterImage: raster(c); break;
            case K::QrCode: qrCode(c); break;
            case K::Pdf417: pdf417Symbol(c); break;
            case K::HriFont: hriFontB = n == 1 || n == 49; break;
            case K::DrawerKick: eventMark(true); break;
            case K::Beep: eventMark(false); break;
            case K::Invert: style.inverted = n & 1; break;
            case K::UpsideDown: upsideDown = n & 1; break;
            case K::TabStops: tabStops.assign(c.data.begin(), c.data.end()); break;
            case K::Tab: tab(); break;
            case K::ColumnImage: columnImage(c); break;
            case K::Graphics: graphics(c); break;
            default: break;  // nothing to print: status, reports
        }
    }
};

Renderer::Renderer(RenderOptions options, Limits limits)
    : state_(std::make_unique<State>(std::move(options), limits)) {}
Renderer::~Renderer() = default;

bool Renderer::fontLoaded() const { return state_->face != nullptr; }
void Renderer::apply(const Command& command) { state_->apply(command); }
void Renderer::finish() { state_->endReceipt(); }

std::vector<Receipt> Renderer::takeReceipts() {
    std::vector<Receipt> taken;
    taken.swap(state_->done);
    return taken;
}

namespace {

void putBig32(Data& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(value >> shift));
}

void pngChunk(Data& out, const char (&kind)[5], const Data& body) {
    putBig32(out, static_cast<std::uint32_t>(body.size()));
    const std::size_t start = out.size();
    out.insert(out.end(), kind, kind + 4);
    out.insert(out.end(), body.begin(), body.end());
    putBig32(out, static_cast<std::uint32_t>(crc32(0, out.data() + start, static_cast<uInt>(out.size() - start))));
}

}  // namespace

// An 8-bit grey PNG. Each row is stored as its difference from the row above ("up" filter), so the blank and
// repeated rows that make up most of a receipt are zeros, and zlib's fastest level takes them in stride: a 2 m
// receipt encodes in a few milliseconds, which the server's loop needs.
Data encodePng(const Receipt& receipt) {
    Data png;
    if (receipt.width == 0 || receipt.height == 0) return png;
    z_stream zs{};
    if (deflateInit(&zs, Z_BEST_SPEED) != Z_OK) return png;
    Data compressed, row(receipt.width + 1);
    row[0] = 2;  // filter: up
    std::uint8_t chunk[64 * 1024];
    const auto deflateRow = [&](int flush) {
        zs.next_in = row.data();
        zs.avail_in = static_cast<uInt>(flush == Z_FINISH ? 0 : row.size());
        int result = Z_OK;
        do {
            zs.next_out = chunk;
            zs.avail_out = sizeof chunk;
            result = deflate(&zs, flush);
            compressed.insert(compressed.end(), chunk, chunk + (sizeof chunk - zs.avail_out));
        } while (zs.avail_out == 0 || (flush == Z_FINISH && result == Z_OK));
    };
    for (std::uint32_t y = 0; y < receipt.height; ++y) {
        const std::uint8_t* line = receipt.pixels.data() + std::size_t{y} * receipt.width;
        const std::uint8_t* above = y ? line - receipt.width : nullptr;
        for (std::uint32_t x = 0; x < receipt.width; ++x)
            row[x + 1] = static_cast<std::uint8_t>(line[x] - (above ? above[x] : 0));
        deflateRow(Z_NO_FLUSH);
    }
    deflateRow(Z_FINISH);
    deflateEnd(&zs);

    png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    Data header;
    putBig32(header, receipt.width);
    putBig32(header, receipt.height);
    header.insert(header.end(), {8, 0, 0, 0, 0});  // 8-bit grey, deflate, adaptive filtering, no interlace
    pngChunk(png, "IHDR", header);
    pngChunk(png, "IDAT", compressed);
    pngChunk(png, "IEND", {});
    return png;
}

std::string dumpText(const Receipt& receipt) {
    std::string text;
    for (const Command& c : receipt.commands) text += describe(c) + "\n";
    for (const std::string& w : receipt.warnings) text += "warning: " + w + "\n";
    return text;
}

}  // namespace OrvikFramework::VirtualPrinter
