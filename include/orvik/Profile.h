#pragma once

// What the SDK knows of a printer model, read from a profile file (see profiles/80mm.profile for the format).
// The shipped profiles are built into the library and installed to <prefix>/share/orvik/profiles.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <orvik/CodePage.h>
#include <orvik/Error.h>

namespace OrvikFramework {

/// A printer model's paper, fonts, code pages and the commands it carries out itself.
struct PrinterProfile {
    /// A font and its character cell in dots.
    struct Font {
        char name = 'A';
        std::uint16_t cellWidth = 12;
        std::uint16_t cellHeight = 24;
    };
    /// A code page the printer has and its ESC t number; absent for a multi-byte page, switched on with FS &.
    struct Page {
        CodePage page;
        std::optional<std::uint8_t> table;
    };
    enum Feature : std::uint32_t {
        Cutter = 1, Drawer = 2, QrCode = 4, Pdf417 = 8, Barcodes = 16, RasterImage = 32, GraphicsImage = 64,
        ColumnImage = 128, Status = 256,
    };

    std::string name;
    std::uint32_t widthDots = 0;
    std::uint32_t dotsPerMm = 8;
    std::vector<Font> fonts;
    /// In the order they are tried when text is encoded automatically.
    std::vector<Page> codePages;
    std::uint32_t features = 0;

    bool has(Feature feature) const { return (features & feature) != 0; }
    /// Characters per line in `font` with characters `size` times as wide (1-8); 0 for a font it lacks.
    int columns(std::uint8_t size = 1, char font = 'A') const;
};

/// A profile in the profile file format; InvalidArgument naming the line that is wrong.
Result<PrinterProfile> parseProfile(std::string_view text);
/// A profile shipped with the SDK by name ("80mm", "58mm", "80mm-42col", "58mm-basic"); InvalidArgument otherwise.
Result<PrinterProfile> builtInProfile(std::string_view name);
/// The names of the shipped profiles.
std::vector<std::string> builtInProfileNames();
/// The "80mm" profile, the SDK's default.
const PrinterProfile& defaultProfile();
/// UTF-8 in the profile's code pages as PrintProfileText sends it to a printer in no page yet: the switching
/// commands and the text, and how many characters no page has.
EncodedText encodeProfileText(std::string_view utf8, const PrinterProfile& profile);

}  // namespace OrvikFramework
