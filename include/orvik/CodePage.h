#pragma once

// Printer code pages for non-ASCII text.
//
// name          iconv name    how the printer is switched to it
// CP437         CP437         ESC t 0
// CP850         CP850         ESC t 2
// CP852         CP852         ESC t 18
// CP858         CP858         ESC t 19
// CP866         CP866         ESC t 17
// CP1252        CP1252        ESC t 16
// ISO-8859-15   ISO-8859-15   ESC t 40
// GB18030       GB18030       FS &            (multi-byte mode; the character set of a Simplified Chinese model)
// BIG5          BIG5          FS &            (multi-byte mode; the character set of a Traditional Chinese model)
// SHIFT_JIS     SHIFT_JIS     FS C 1, FS &    (Shift_JIS code system, then multi-byte mode)
// CP737         CP737         ESC t 14        (Greek)
//
// A single-byte page selected after a multi-byte one is preceded by FS . (multi-byte mode off), since ESC t
// alone leaves the printer reading bytes above 0x7F as halves of double-byte characters.

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include <orvik/Data.h>

namespace OrvikFramework {

enum class CodePage { CP437, CP850, CP852, CP858, CP866, CP1252, ISO8859_15, GB18030, Big5, ShiftJIS, CP737 };

/// What the SDK and the virtual printer know about one code page.
struct CodePageInfo {
    CodePage page;
    /// The name `codePageNamed` and the command line take, e.g. "ISO-8859-15".
    std::string_view name;
    /// glibc iconv's name for the character set.
    const char* iconvName;
    /// ESC t n; absent for multi-byte pages, which are switched on with FS & instead.
    std::optional<std::uint8_t> table;
};

/// Every supported code page, in the order of the table above.
std::span<const CodePageInfo> codePages();
const CodePageInfo& codePageInfo(CodePage page);
/// The page of that name; case, '-' and '_' are not significant ("cp437", "iso8859-15", "ShiftJIS").
std::optional<CodePage> codePageNamed(std::string_view name);
/// The single-byte page a printer selects with ESC t n, if it is one of these.
std::optional<CodePage> codePageForTable(std::uint8_t n);

/// Text converted for the printer, and how many characters (or invalid UTF-8 bytes) became "?".
struct EncodedText {
    Data bytes;
    std::int64_t replaced = 0;
};

/// UTF-8 text converted to `page` (kept as UTF-8 when absent); characters the page lacks become "?".
EncodedText encodeText(std::string_view utf8, std::optional<CodePage> page);

}  // namespace OrvikFramework
