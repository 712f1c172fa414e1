#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <orvik/Data.h>
#include <orvik/vprinter/Command.h>

namespace OrvikFramework::VirtualPrinter {

/// One printed receipt: 8-bit grey dots, row by row (0 black, 255 white), and the commands that made it.
struct Receipt {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<std::uint8_t> pixels;
    std::vector<Command> commands;
    /// Things that printed differently from what was asked (clipped image, unencodable barcode, ...).
    std::vector<std::string> warnings;
    /// The text printed, decoded from its code page to UTF-8; a line feed is "\n".
    std::string text;

    bool black(std::uint32_t x, std::uint32_t y) const { return pixels[std::size_t{y} * width + x] < 128; }
};

/// How receipts are drawn: paper width, fonts, the double-byte character set.
struct RenderOptions {
    /// Printable width in dots at 203 dpi: 384 for 58 mm paper, 576 for 80 mm.
    std::uint32_t paperDots = 384;
    std::string fontPath = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf";
    /// Characters the first font lacks (Chinese, Japanese) are drawn from this one, two cells wide.
    std::string fallbackFontPath = "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc";
    /// iconv name of the double-byte set that FS & switches to, as fixed by the printer model: "GB18030" for a
    /// Simplified Chinese printer, "BIG5" for a Traditional Chinese one. FS C picks JIS or Shift_JIS instead.
    std::string multiByteCharset = "GB18030";
    /// A receipt that grows longer than this without a cut is continued on the next one: 2 m of paper.
    std::uint32_t longestReceipt = 16000;
};

/// The receipt as PNG bytes; the same receipt always gives the same bytes.
Data encodePng(const Receipt& receipt);

/// The describe() lines of the receipt's commands, one per line.
std::string dumpText(const Receipt& receipt);

}  // namespace OrvikFramework::VirtualPrinter
