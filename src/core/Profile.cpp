#include <orvik/Profile.h>

#include <algorithm>
#include <charconv>

#include "core/BuiltInProfiles.h"

namespace OrvikFramework {
namespace {

// Profiles are small; anything larger is not one.
constexpr std::size_t largestProfile = 64 * 1024;
constexpr std::size_t mostFonts = 8;
constexpr std::size_t mostPages = 64;

struct Feature {
    std::string_view name;
    PrinterProfile::Feature bit;
};
constexpr Feature featureNames[] = {
    {"cutter", PrinterProfile::Cutter},       {"drawer", PrinterProfile::Drawer},   {"qr", PrinterProfile::QrCode},
    {"pdf417", PrinterProfile::Pdf417},       {"barcode", PrinterProfile::Barcodes}, {"raster", PrinterProfile::RasterImage},
    {"graphics", PrinterProfile::GraphicsImage}, {"column", PrinterProfile::ColumnImage}, {"status", PrinterProfile::Status},
};

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

std::vector<std::string_view> words(std::string_view text) {
    std::vector<std::string_view> out;
    for (std::size_t at = 0; at < text.size();) {
        const auto start = text.find_first_not_of(" \t", at);
        if (start == std::string_view::npos) break;
        const auto end = std::min(text.find_first_of(" \t", start), text.size());
        out.push_back(text.substr(start, end - start));
        at = end;
    }
    return out;
}

std::optional<unsigned> number(std::string_view text, unsigned low, unsigned high) {
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value < low || value > high) return std::nullopt;
    return value;
}

// Sets the key's value in `profile`; false when the value is not one the key takes.
bool apply(PrinterProfile& profile, std::string_view key, std::string_view value) {
    const auto parts = words(value);
    if (key == "name") {
        profile.name = value;
        return !value.empty();
    }
    if (key == "width" || key == "dots-per-mm") {
        const auto n = key == "width" ? number(value, 8, 4096) : number(value, 1, 64);
        if (n) (key == "width" ? profile.widthDots : profile.dotsPerMm) = *n;
        return n.has_value();
    }
    if (key == "font") {
        if (parts.size() != 2 || parts[0].size() != 1 || profile.fonts.size() >= mostFonts) return false;
        const auto x = parts[1].find('x');
        if (x == std::string_view::npos) return false;
        const auto w = number(parts[1].substr(0, x), 1, 255), h = number(parts[1].substr(x + 1), 1, 255);
        if (!w || !h) return false;
        profile.fonts.push_back({parts[0][0], static_cast<std::uint16_t>(*w), static_cast<std::uint16_t>(*h)});
        return true;
    }
    if (key == "codepage") {
        if (parts.size() != 2 || profile.codePages.size() >= mostPages) return false;
        const auto page = codePageNamed(parts[0]);
        if (!page) return false;
        const bool multiByte = !codePageInfo(*page).table;
        if (parts[1] == "&") {
            profile.codePages.push_back({*page, std::nullopt});
            return multiByte;
        }
        const auto n = number(parts[1], 0, 255);
        if (n) profile.codePages.push_back({*page, static_cast<std::uint8_t>(*n)});
        return n && !multiByte;
    }
    if (key == "features") {
        profile.features = 0;
        for (const std::string_view word : parts) {
            const auto* f = std::find_if(std::begin(featureNames), std::end(featureNames), [&](const Feature& f) { return f.name == word; });
            if (f == std::end(featureNames)) return false;
            profile.features |= f->bit;
        }
        return true;
    }
    return false;
}

}  // namespace

int PrinterProfile::columns(std::uint8_t size, char font) const {
    const auto f = std::find_if(fonts.begin(), fonts.end(), [&](const Font& f) { return f.name == font; });
    if (f == fonts.end() || size == 0) return 0;
    return static_cast<int>(widthDots / (f->cellWidth * size));
}

Result<PrinterProfile> parseProfile(std::string_view text) {
    const auto invalid = [](std::string message) { return Error{ErrorCode::InvalidArgument, std::move(message)}; };
    if (text.size() > largestProfile) return invalid("a printer profile is at most 64 KiB");
    PrinterProfile profile;
    int lineNumber = 0;
    for (std::size_t at = 0; at < text.size();) {
        const auto end = std::min(text.find('\n', at), text.size());
        std::string_view line = text.substr(at, end - at);
        at = end + 1;
        ++lineNumber;
        line = trimmed(line.substr(0, line.find('#')));
        if (line.empty()) continue;
        const auto equals = line.find('=');
        if (equals == std::string_view::npos || !apply(profile, trimmed(line.substr(0, equals)), trimmed(line.substr(equals + 1))))
            return invalid("printer profile line " + std::to_string(lineNumber) + " is not valid: " + std::string(line));
    }
    if (profile.name.empty() || profile.widthDots == 0 || profile.columns() == 0)
        return invalid("a printer profile needs a name, a width and font A");
    return profile;
}

Result<PrinterProfile> builtInProfile(std::string_view name) {
    for (const auto& [known, text] : BuiltInProfiles::all())
        if (known == name) return parseProfile(text);
    return Error{ErrorCode::InvalidArgument, "no printer profile is named \"" + std::string(name) + "\""};
}

std::vector<std::string> builtInProfileNames() {
    std::vector<std::string> names;
    for (const auto& entry : BuiltInProfiles::all()) names.emplace_back(entry.first);
    return names;
}

const PrinterProfile& defaultProfile() {
    static const PrinterProfile profile = *builtInProfile("80mm");
    return profile;
}

}  // namespace OrvikFramework
