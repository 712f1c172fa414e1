#include "PrintJob.h"

#include <cstdio>
#include <iostream>
#include <optional>

#include <orvik/Receiptline.h>

#include "CliError.h"
#include "ToolFiles.h"

namespace OrvikFramework::Cli {
namespace {

constexpr std::uint8_t barcodeHeight = 80;
constexpr std::uint8_t barcodeModule = 2;

[[noreturn]] void usage(const std::string& message) { throw CliError(Exit::Usage, message); }

ALIGNMENT parseAlign(const std::string& value) {
    if (value == "left") return ALIGNMENT::LEFT;
    if (value == "center") return ALIGNMENT::CENTER;
    if (value == "right") return ALIGNMENT::RIGHT;
    usage("--align must be left, center or right, not \"" + value + "\"");
}

BARCODE_HRI_POS parseHri(const std::string& value) {
    if (value == "none") return BARCODE_HRI_POS::NON;
    if (value == "above") return BARCODE_HRI_POS::ABOVE;
    if (value == "below") return BARCODE_HRI_POS::BENEATH;
    usage("--hri must be none, above or below, not \"" + value + "\"");
}

// CODE39 is the symbology the printer is asked for; anything else would print a wrong or no barcode.
void checkCode39(const std::string& data) {
    static constexpr std::string_view allowed = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ -.$/+%";
    if (data.empty()) usage("--barcode needs data");
    if (data.size() > 255) usage("--barcode data is longer than 255 characters");
    for (const char c : data)
        if (allowed.find(c) == std::string_view::npos)
            usage("--barcode \"" + data + "\": CODE39 allows only 0-9, A-Z, space and - . $ / + %");
}

// A whole number from `low` to `high`, or a usage error naming the option.
std::uint8_t parseNumber(const std::string& value, const std::string& option, int low, int high) {
    std::size_t used = 0;
    int number = low - 1;
    try {
        number = std::stoi(value, &used);
    } catch (const std::exception&) {
    }
    if (used != value.size() || number < low || number > high)
        usage(option + " must be a number from " + std::to_string(low) + " to " + std::to_string(high) + ", not \"" + value + "\"");
    return static_cast<std::uint8_t>(number);
}

// "WxH", each 1-8.
std::pair<std::uint8_t, std::uint8_t> parseSize(const std::string& value) {
    const std::size_t x = value.find('x');
    if (x == std::string::npos) usage("--size must be WIDTHxHEIGHT, e.g. 2x2, not \"" + value + "\"");
    return {parseNumber(value.substr(0, x), "--size width", 1, 8), parseNumber(value.substr(x + 1), "--size height", 1, 8)};
}

CodePage parseCodePage(const std::string& value) {
    if (const auto page = codePageNamed(value)) return *page;
    std::string names;
    for (const CodePageInfo& info : codePages()) names += (names.empty() ? "" : ", ") + std::string(info.name);
    usage("--codepage must be one of " + names + ", not \"" + value + "\"");
}

QRErrorCorrection parseQrLevel(const std::string& value) {
    if (value == "L") return QRErrorCorrection::L;
    if (value == "M") return QRErrorCorrection::M;
    if (value == "Q") return QRErrorCorrection::Q;
    if (value == "H") return QRErrorCorrection::H;
    usage("--qr-ecc must be L, M, Q or H, not \"" + value + "\"");
}

// A QR code, barcode or symbol the printer would silently drop is refused before anything is sent.
void check(const char* option, const Status& problem) {
    if (problem) usage(std::string(option) + ": " + problem->message);
}

ImageMode parseImageMode(const std::string& value) {
    if (value == "raster") return ImageMode::Raster;
    if (value == "graphics") return ImageMode::Graphics;
    if (value == "column") return ImageMode::Column;
    usage("--image-mode must be raster, graphics or column, not \"" + value + "\"");
}

std::uint8_t modeBit(const std::string& name) {
    if (name == "bold") return PRINT_MODE__EMPHASIZED_SELECTED;
    if (name == "underline") return PRINT_MODE__UNDERLINE_SELECTED;
    if (name == "double-width") return PRINT_MODE__DOUBLE_WIDTH_SELECTED;
    if (name == "double-height") return PRINT_MODE__DOUBLE_HEIGHT_SELECTED;
    if (name == "font-b") return PRINT_MODE__CHAR_FONT_B;
    return 0;
}

// A shipped profile by name, else a profile file.
PrinterProfile parseProfileOption(const std::string& value) {
    if (auto named = builtInProfile(value)) return std::move(*named);
    std::string names;
    for (const std::string& name : builtInProfileNames()) names += (names.empty() ? "" : ", ") + name;
    if (value.find('/') == std::string::npos && value.find('.') == std::string::npos)
        usage("--profile must be one of " + names + " or a profile file, not \"" + value + "\"");
    const Data bytes = readWholeFile(value);
    auto parsed = parseProfile(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    if (!parsed) throw CliError(Exit::Input, "--profile " + value + ": " + parsed.error().message);
    return std::move(*parsed);
}

// A document from a file, or from standard input for "-".
std::string readDocument(const std::string& path) {
    if (path != "-") {
        const Data bytes = readWholeFile(path);
        return std::string(bytes.begin(), bytes.end());
    }
    std::string text;
    char buffer[4096];
    while (text.size() <= DocumentMaxBytes && std::cin.read(buffer, sizeof buffer).gcount() > 0)
        text.append(buffer, static_cast<std::size_t>(std::cin.gcount()));
    return text;
}

}  // namespace

PrintJob PrintJob::fromOptions(const std::vector<OrderedOption>& options) {
    PrintJob job;
    // Plain values with flags: g++ 12 warns, wrongly, that optionals here may be read uninitialised.
    ALIGNMENT align = ALIGNMENT::LEFT;
    std::uint8_t mode = 0;
    BARCODE_HRI_POS hri = BARCODE_HRI_POS::BENEATH;
    bool hriGiven = false;
    std::optional<CodePage> codePage;
    bool automatic = false;
    bool codePageUsed = true;
    Qr qr{{}, ALIGNMENT::LEFT, 6, QRErrorCorrection::M, false};
    bool qrSettingGiven = false;
    Symbology symbology = Symbology::Code39;
    ImageMode imageMode = ImageMode::Raster;
    bool imageModeUsed = true;
    for (const auto& [name, value] : options) {
        if (name == "align") {
            align = parseAlign(value);
        } else if (const std::uint8_t bit = modeBit(name)) {
            mode |= bit;
        } else if (name == "plain") {
            mode = 0;
        } else if (name == "profile") {
            job.profile_ = parseProfileOption(value);
        } else if (name == "doc") {
            job.steps_.push_back(Document{value, readDocument(value)});
        } else if (name == "hri") {
            hri = parseHri(value);
            hriGiven = true;
        } else if (name == "codepage") {
            automatic = value == "auto";
            if (!automatic) codePage = parseCodePage(value);
            codePageUsed = false;
        } else if (name == "text") {
            job.steps_.push_back(Text{value, align, mode, automatic ? std::nullopt : codePage, automatic});
            codePageUsed = true;
        } else if (name == "symbology") {
            const auto named = symbologyNamed(value);
            if (!named) usage("--symbology must be upca, upce, ean13, ean8, code39, itf, codabar, code93, code128 or gs1-128, not \"" + value + "\"");
            symbology = *named;
        } else if (name == "barcode" && symbology != Symbology::Code39) {
            check("--barcode", checkBarcode(symbology, value));
            const BarcodeOptions options{barcodeHeight, barcodeModule, static_cast<HriPosition>(rawValue(hri)), HriFont::A};
            job.steps_.push_back(Operation{align, [s = symbology, data = value, options](Orvik& sdk) {
                return sdk.Profile.has(PrinterProfile::Barcodes) ? sdk.PrintBarcode(s, data, options) : sdk.PrintBarcodeImage(s, data, options);
            }});
            symbology = Symbology::Code39;
            hri = BARCODE_HRI_POS::BENEATH;
            hriGiven = false;
        } else if (name == "pdf417") {
            check("--pdf417", checkPdf417(value));
            job.steps_.push_back(Operation{align, [data = value](Orvik& sdk) {
                return sdk.Profile.has(PrinterProfile::Pdf417) ? sdk.PrintPdf417(data) : sdk.PrintPdf417Image(data);
            }});
        } else if (name == "drawer") {
            if (value != "2" && value != "5") usage("--drawer must be 2 or 5, not \"" + value + "\"");
            job.steps_.push_back(Operation{align, [pin = static_cast<std::uint8_t>(value[0] - '0')](Orvik& sdk) { return sdk.OpenCashDrawer(pin); }});
        } else if (name == "beep") {
            job.steps_.push_back(Operation{align, [](Orvik& sdk) { return sdk.Beep(); }});
        } else if (name == "size") {
            job.steps_.push_back(Operation{align, [size = parseSize(value)](Orvik& sdk) { return sdk.SetTextSize(size.first, size.second); }});
        } else if (name == "invert") {
            job.steps_.push_back(Operation{align, [](Orvik& sdk) { return sdk.SetInvert(true); }});
        } else if (name == "upside-down") {
            job.steps_.push_back(Operation{align, [](Orvik& sdk) { return sdk.SetUpsideDown(true); }});
        } else if (name == "barcode") {
            checkCode39(value);
            job.steps_.push_back(Barcode{value, align, hri});
            hri = BARCODE_HRI_POS::BENEATH;
            hriGiven = false;
        } else if (name == "qr-size" || name == "qr-ecc" || name == "qr-raster") {
            if (name == "qr-size") qr.moduleSize = parseNumber(value, "--qr-size", QRSmallestModule, QRLargestModule);
            if (name == "qr-ecc") qr.level = parseQrLevel(value);
            if (name == "qr-raster") qr.picture = true;
            qrSettingGiven = true;
        } else if (name == "qr") {
            check("--qr", checkQRCode(value, qr.level));
            qr.data = value;
            qr.align = align;
            job.steps_.push_back(qr);
            qr = Qr{{}, ALIGNMENT::LEFT, 6, QRErrorCorrection::M, false};
            qrSettingGiven = false;
        } else if (name == "image-mode") {
            imageMode = parseImageMode(value);
            imageModeUsed = false;
        } else if (name == "image") {
            job.steps_.push_back(Image{value, align, imageMode});
            imageModeUsed = true;
        } else if (name == "feed") {
            job.steps_.push_back(Feed{parseNumber(value, "--feed", 0, 255)});
        } else if (name == "cut") {
            job.steps_.push_back(Cut{});
        }
    }
    if (!codePageUsed) usage("--codepage must come before the --text it applies to");
    if (!imageModeUsed) usage("--image-mode must come before the --image it applies to");
    if (hriGiven) usage("--hri must come before the --barcode it applies to");
    if (qrSettingGiven) usage("--qr-size, --qr-ecc and --qr-raster must come before the --qr they apply to");
    if (job.steps_.empty()) usage("nothing to print: give --text, --barcode, --qr, --image, --doc, --feed or --cut");
    return job;
}

std::vector<std::string> PrintJob::conversionWarnings() const {
    std::vector<std::string> warnings;
    for (const Step& step : steps_) {
        const auto* text = std::get_if<Text>(&step);
        if (!text || (!text->codePage && !text->automatic)) continue;
        const PrinterProfile& profile = profile_ ? *profile_ : defaultProfile();
        const std::int64_t replaced = text->automatic ? encodeProfileText(text->text, profile).replaced
                                                      : encodeText(text->text, text->codePage).replaced;
        if (replaced > 0)
            warnings.push_back(std::to_string(replaced) + " character(s) of \"" + text->text + "\" are not in " +
                               (text->automatic ? "any code page of printer profile " + profile.name
                                                : std::string(codePageInfo(*text->codePage).name)) + "; printed as \"?\"");
    }
    return warnings;
}

void PrintJob::play(Orvik& sdk, const PictureOptions& pictures) const {
    // After initialisation the printer is left-aligned in the standard mode; only changes are sent.
    ALIGNMENT align = ALIGNMENT::LEFT;
    std::uint8_t mode = 0;
    std::optional<CodePage> page;
    const auto alignTo = [&](ALIGNMENT wanted) {
        if (wanted != align) sdk.TextAlignment(align = wanted);
    };
    if (profile_) sdk.Profile = *profile_;
    sdk.InitPrinter();
    for (const Step& step : steps_) {
        if (const auto* text = std::get_if<Text>(&step)) {
            alignTo(text->align);
            if (text->mode != mode) sdk.PrintMode(mode = text->mode);
            if (text->automatic) {
                sdk.PrintProfileText(text->text);
                page = sdk.SelectedCodePage;
            } else if (!text->codePage) {
                sdk.PrintText(text->text);
            } else {
                if (text->codePage != page) sdk.SelectCodePage(*(page = text->codePage));
                sdk.PrintCodePageText(text->text);
            }
        } else if (const auto* barcode = std::get_if<Barcode>(&step)) {
            alignTo(barcode->align);
            sdk.PrintBarcode(barcode->hri, barcodeHeight, barcodeModule, barcode->data);
        } else if (const auto* image = std::get_if<Image>(&step)) {
            alignTo(image->align);
            PictureOptions options = pictures;
            options.mode = image->mode;
            if (const Status failed = sdk.PrintPicture(image->path, options)) throw CliError(Exit::Input, failed->message);
        } else if (const auto* qr = std::get_if<Qr>(&step)) {
            alignTo(qr->align);
            if (qr->picture || !sdk.Profile.has(PrinterProfile::QrCode)) sdk.PrintQRCodeImage(qr->data, qr->moduleSize, qr->level);
            else sdk.PrintQRCode(qr->data, qr->moduleSize, qr->level);
        } else if (const auto* operation = std::get_if<Operation>(&step)) {
            alignTo(operation->align);
            operation->run(sdk);
        } else if (const auto* document = std::get_if<Document>(&step)) {
            std::vector<std::string> fallbacks;
            if (const Status problem = sdk.PrintDocument(document->text, &fallbacks))
                throw CliError(Exit::Input, "--doc " + document->path + ": " + problem->message);
            for (const std::string& fallback : fallbacks) std::fprintf(stderr, "orvik: warning: %s\n", fallback.c_str());
            // A document leaves the printer left-aligned in the standard mode.
            align = ALIGNMENT::LEFT;
            mode = 0;
            page = sdk.SelectedCodePage;
        } else if (const auto* feed = std::get_if<Feed>(&step)) {
            sdk.PrintNFeedPaper(feed->units);
        } else {
            sdk.CutPaper();
        }
    }
}

}  // namespace OrvikFramework::Cli
