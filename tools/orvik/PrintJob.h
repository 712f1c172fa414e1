#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include <orvik/CodePage.h>
#include <orvik/Enums.h>
#include <orvik/ImageConversion.h>
#include <orvik/Orvik.h>

namespace OrvikFramework::Cli {

/// One `print` option as given on the command line: its long name without dashes and its value (empty for flags).
using OrderedOption = std::pair<std::string, std::string>;

/// A receipt as an ordered list of printed items, built from the options in the order they were given.
/// --align and the text styles stay until changed, as on the printer (--plain clears the styles); --hri applies to
/// the next --barcode; --qr-size, --qr-ecc and --qr-raster to the next --qr; --codepage to every --text after it,
/// --image-mode to every --image after it; --profile to the whole job.
class PrintJob {
public:
    /// Checks and orders the options; throws CliError (usage) on a bad value or a style with nothing to apply to.
    static PrintJob fromOptions(const std::vector<OrderedOption>& options);

    /// Sends the whole job through the SDK, starting with printer initialisation, its pictures converted with
    /// `pictures` in each one's own mode; throws CliError (input) when a picture cannot be read or decoded.
    void play(Orvik& sdk, const PictureOptions& pictures = {}) const;

    /// One line for each --text with characters its code page lacks, which print as "?".
    std::vector<std::string> conversionWarnings() const;

    bool empty() const { return steps_.empty(); }
    /// The printer profile given with --profile.
    const std::optional<PrinterProfile>& profile() const { return profile_; }

private:
    struct Text {
        std::string text;
        ALIGNMENT align;
        std::uint8_t mode;
        std::optional<CodePage> codePage;  // none: UTF-8, or automatic
        bool automatic;  // the profile's pages, chosen per character
    };
    struct Barcode {
        std::string data;
        ALIGNMENT align;
        BARCODE_HRI_POS hri;
    };
    struct Image {
        std::string path;
        ALIGNMENT align;
        ImageMode mode;
    };
    struct Qr {
        std::string data;
        ALIGNMENT align;
        std::uint8_t moduleSize;
        QRErrorCorrection level;
        bool picture;
    };
    struct Feed {
        std::uint8_t units;
    };
    struct Cut {};
    struct Document {
        std::string path;
        std::string text;
    };
    /// One of the everyday operations, its values checked when the options were read.
    struct Operation {
        ALIGNMENT align;
        std::function<Status(Orvik&)> run;
    };
    using Step = std::variant<Text, Barcode, Image, Qr, Feed, Cut, Operation, Document>;

    std::vector<Step> steps_;
    std::optional<PrinterProfile> profile_;
};

}  // namespace OrvikFramework::Cli
