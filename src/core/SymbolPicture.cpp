#include "core/SymbolPicture.h"

#include <zint.h>

#include <memory>
#include <optional>
#include <string>

namespace OrvikFramework::SymbolPicture {
namespace {

using Symbol = std::unique_ptr<zint_symbol, decltype(&ZBarcode_Delete)>;

Symbol makeSymbol(int symbology) {
    Symbol s(ZBarcode_Create(), &ZBarcode_Delete);
    s->symbology = symbology;
    s->output_options = BARCODE_QUIET_ZONES;
    s->show_hrt = 0;
    return s;
}

int zintSymbology(Symbology s) {
    switch (s) {
        case Symbology::UpcA: return BARCODE_UPCA_CHK;
        case Symbology::UpcE: return BARCODE_UPCE_CHK;
        case Symbology::Ean13:
        case Symbology::Ean8: return BARCODE_EANX_CHK;
        case Symbology::Code39: return BARCODE_CODE39;
        case Symbology::Itf: return BARCODE_C25INTER;
        case Symbology::Codabar: return BARCODE_CODABAR;
        case Symbology::Code93: return BARCODE_CODE93;
        case Symbology::Code128: return BARCODE_CODE128;
        case Symbology::Gs1_128: return BARCODE_GS1_128;
    }
    return BARCODE_CODE128;
}

// Draws the encoded symbol at `scale` (half the dots per module) and turns the RGB drawing into dots.
Result<MonoBitmap> draw(zint_symbol& s, float scale) {
    s.scale = scale;
    if (ZBarcode_Buffer(&s, 0) >= ZINT_ERROR)
        return Error{ErrorCode::InvalidArgument, std::string("cannot draw the symbol: ") + s.errtxt};
    MonoBitmap picture;
    picture.width = static_cast<std::uint32_t>(s.bitmap_width);
    picture.height = static_cast<std::uint32_t>(s.bitmap_height);
    picture.rows.assign(std::size_t{picture.rowBytes()} * picture.height, 0);
    for (std::uint32_t y = 0; y < picture.height; ++y)
        for (std::uint32_t x = 0; x < picture.width; ++x)
            if (s.bitmap[(std::size_t{y} * picture.width + x) * 3] < 128)
                picture.rows[std::size_t{y} * picture.rowBytes() + x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
    return picture;
}

std::optional<Error> encode(zint_symbol& s, std::string_view data, const char* what) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
    if (ZBarcode_Encode(&s, bytes, static_cast<int>(data.size())) < ZINT_ERROR) return std::nullopt;
    return Error{ErrorCode::InvalidArgument, std::string(what) + " cannot carry the data: " + s.errtxt};
}

}  // namespace

Result<MonoBitmap> barcode(const Barcodes::Checked& barcode, std::uint8_t moduleWidth, std::uint8_t height,
                           bool withText) {
    Symbol s = makeSymbol(zintSymbology(barcode.symbology));
    s->show_hrt = withText ? 1 : 0;
    if (barcode.symbology == Symbology::Gs1_128) s->input_mode = GS1_MODE | GS1PARENS_MODE;
    else s->input_mode = DATA_MODE;
    // Heights are in modules; the drawing has `moduleWidth` dots a module.
    s->height = static_cast<float>(height) / static_cast<float>(moduleWidth);
    if (auto problem = encode(*s, barcode.data, "the barcode")) return *problem;
    return draw(*s, static_cast<float>(moduleWidth) / 2.0f);
}

Result<MonoBitmap> pdf417(std::string_view data, const Pdf417Options& o) {
    const auto outside = [](const char* what, int value, int lowest, int highest) {
        return Error{ErrorCode::InvalidArgument, std::string("PDF417 ") + what + " " + std::to_string(value) +
                                                     " is outside " + std::to_string(lowest) + "-" +
                                                     std::to_string(highest)};
    };
    if (o.columns > 30) return outside("columns", o.columns, 0, 30);
    if (o.rows != 0 && (o.rows < 3 || o.rows > 90)) return outside("rows", o.rows, 3, 90);
    if (o.moduleWidth < 2 || o.moduleWidth > 8) return outside("module width", o.moduleWidth, 2, 8);
    if (o.rowHeight < 2 || o.rowHeight > 8) return outside("row height", o.rowHeight, 2, 8);
    if (o.errorLevel > 8) return outside("error level", o.errorLevel, 0, 8);
    if (data.empty()) return Error{ErrorCode::InvalidArgument, "PDF417 needs data"};
    Symbol s = makeSymbol(BARCODE_PDF417);
    s->input_mode = DATA_MODE;
    s->option_1 = o.errorLevel;
    s->option_2 = o.columns;
    s->option_3 = o.rows;
    s->height = 0;
    if (auto problem = encode(*s, data, "PDF417")) return *problem;
    // Rows are `rowHeight` modules high, as the printer draws them.
    for (int row = 0; row < s->rows; ++row) s->row_height[row] = o.rowHeight;
    s->height = static_cast<float>(s->rows * o.rowHeight);
    return draw(*s, static_cast<float>(o.moduleWidth) / 2.0f);
}

}  // namespace OrvikFramework::SymbolPicture
