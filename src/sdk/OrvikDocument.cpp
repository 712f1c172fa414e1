// Receipt documents and text in the profile's code pages.
#include <orvik/Orvik.h>

#include <orvik/Log.h>

#include <algorithm>
#include <set>

#include "core/CodePage.h"
#include "core/EverydayCommands.h"
#include "core/ImageConvert.h"
#include "core/Receiptline.h"
#include "core/StbImage.h"

namespace OrvikFramework {
namespace {

ALIGNMENT alignment(Layout::Align align) {
    return align == Layout::Align::Left ? ALIGNMENT::LEFT : align == Layout::Align::Right ? ALIGNMENT::RIGHT : ALIGNMENT::CENTER;
}

// The commands that change the text style from `from` to `to`.
Data styleCommands(std::uint32_t from, std::uint32_t to) {
    using namespace Receiptline;
    Data out;
    const auto mode = [](std::uint32_t s) {
        return static_cast<std::uint8_t>(((s & emphasis) ? PRINT_MODE__EMPHASIZED_SELECTED : 0) | ((s & underline) ? PRINT_MODE__UNDERLINE_SELECTED : 0));
    };
    if (mode(from) != mode(to)) out = {EscPos::ESC, '!', mode(to)};
    const auto append = [&out](const Data& bytes) { out.insert(out.end(), bytes.begin(), bytes.end()); };
    if ((from ^ to) & 0x770) append(Commands::characterSize(widthScale(to), heightScale(to)));
    if ((from ^ to) & invert) append(Commands::invert(to & invert));
    return out;
}

// The picture of a PNG at its own width, but no wider than the paper.
Result<MonoBitmap> picture(const Data& png, std::uint32_t widest) {
    std::string error;
    const auto header = StbImage::probe(png, error);
    PictureOptions options;
    if (header) options.width = std::min(header->width, static_cast<int>(widest));
    auto bits = header ? convertPicture(png, options) : Result<MonoBitmap>(Error{ErrorCode::InvalidArgument, error});
    if (!bits) return Error{ErrorCode::InvalidArgument, "a document picture cannot be used: " + bits.error().message};
    return bits;
}

// A code the printer would refuse or drop, found before anything is sent.
Status checkCode(const Receiptline::Code& code) {
    return code.qr ? checkQRCode(code.data, code.level) : checkBarcode(code.symbology, code.data);
}

}  // namespace

Result<std::int64_t> Orvik::PrintProfileText(std::string_view Text) {
    const auto route = chooseRoute();
    if (!route) return noInterface();
    EncodedText text = CodePages::encodeAuto(Text, Profile.codePages, SelectedCodePage);
    text.bytes.insert(text.bytes.end(), {'\r', '\n'});
    deliver(*route, text.bytes);
    return text.replaced;
}

EncodedText encodeProfileText(std::string_view utf8, const PrinterProfile& profile) {
    std::optional<CodePage> page;
    return CodePages::encodeAuto(utf8, profile.codePages, page);
}

Status Orvik::PrintDocument(std::string_view text, std::vector<std::string>* fallbacks) {
    using Block = Receiptline::Block;
    const auto blocks = Receiptline::layout(text, Profile.columns());
    if (!blocks) return blocks.error();
    std::vector<std::optional<MonoBitmap>> pictures;
    for (const Block& block : *blocks) {
        pictures.emplace_back();
        if (block.kind == Block::Kind::Code)
            if (auto problem = checkCode(block.code)) return problem;
        if (block.kind != Block::Kind::Image) continue;
        auto bitmap = picture(block.bytes, Profile.widthDots);
        if (!bitmap) return bitmap.error();
        pictures.back() = std::move(*bitmap);
    }
    if (!chooseRoute()) return noInterface();

    std::set<std::string> said;
    const auto note = [&](const std::string& what) {
        if (!said.insert(what).second) return;
        if (fallbacks) fallbacks->push_back(what);
        Log::plain("Orvik: " + what);
    };
    const auto lacks = [&](PrinterProfile::Feature feature, const std::string& what) {
        if (!Profile.has(feature)) note("printer profile " + Profile.name + " has no " + what + "; it is sent as a picture");
        return !Profile.has(feature);
    };
    std::int64_t replaced = 0;
    // The document starts left-aligned in plain text, whatever came before, and leaves the printer so.
    std::uint32_t style = 0;
    PrintData(styleCommands(0x777, 0));
    TextAlignment(ALIGNMENT::LEFT);
    for (std::size_t b = 0; b < blocks->size(); ++b) {
        const Block& block = (*blocks)[b];
        switch (block.kind) {
            case Block::Kind::Line: {
                Layout::Units line = block.line;
                while (!line.empty() && line.back().cp == ' ' && line.back().style == 0) line.pop_back();
                Data bytes;
                for (std::size_t i = 0; i < line.size();) {
                    std::size_t end = i;
                    while (end < line.size() && line[end].style == line[i].style) ++end;
                    const Data change = styleCommands(style, line[i].style);
                    bytes.insert(bytes.end(), change.begin(), change.end());
                    style = line[i].style;
                    const EncodedText run = CodePages::encodeAuto(Layout::text({line.begin() + static_cast<std::ptrdiff_t>(i), line.begin() + static_cast<std::ptrdiff_t>(end)}),
                                                                  Profile.codePages, SelectedCodePage);
                    bytes.insert(bytes.end(), run.bytes.begin(), run.bytes.end());
                    replaced += run.replaced;
                    i = end;
                }
                bytes.push_back('\n');
                PrintData(bytes);
                break;
            }
            case Block::Kind::Cut:
                if (Profile.has(PrinterProfile::Cutter)) {
                    CutPaper();
                } else {
                    note("printer profile " + Profile.name + " has no cutter; the paper is fed instead");
                    PrintNFeedPaper(120);
                }
                break;
            case Block::Kind::Code:
                TextAlignment(alignment(block.align));
                if (block.code.qr)
                    lacks(PrinterProfile::QrCode, "QR codes") ? PrintQRCodeImage(block.code.data, block.code.cellSize, block.code.level)
                                                              : PrintQRCode(block.code.data, block.code.cellSize, block.code.level);
                else
                    lacks(PrinterProfile::Barcodes, "barcodes") ? PrintBarcodeImage(block.code.symbology, block.code.data, block.code.barcode)
                                                                : PrintBarcode(block.code.symbology, block.code.data, block.code.barcode);
                TextAlignment(ALIGNMENT::LEFT);
                break;
            case Block::Kind::Image: {
                const ImageMode mode = Profile.has(PrinterProfile::RasterImage)     ? ImageMode::Raster
                                       : Profile.has(PrinterProfile::GraphicsImage) ? ImageMode::Graphics
                                                                                    : ImageMode::Column;
                TextAlignment(alignment(block.align));
                PrintBitmap(*pictures[b], mode);
                TextAlignment(ALIGNMENT::LEFT);
                break;
            }
            case Block::Kind::Command:
                PrintData(block.bytes);
                break;
        }
    }
    if (style != 0) PrintData(styleCommands(style, 0));
    TextAlignment(ALIGNMENT::LEFT);
    if (replaced > 0)
        note(std::to_string(replaced) + " character(s) are in no code page of printer profile " + Profile.name + "; printed as \"?\"");
    return std::nullopt;
}

}  // namespace OrvikFramework
