#pragma once

// Conversions between UTF-8 and printer code pages through iconv, and the commands that select a page; pure.
#include <optional>
#include <string>
#include <string_view>

#include <orvik/CodePage.h>
#include <orvik/Profile.h>

namespace OrvikFramework::CodePages {

/// UTF-8 to `page` (UTF-8 itself when absent). Unconvertible characters and invalid UTF-8 bytes become "?",
/// one each, and are counted.
EncodedText encode(std::string_view utf8, std::optional<CodePage> page);

/// Bytes in the iconv character set `charset` to UTF-8; bytes that decode to nothing become U+FFFD each.
std::string decode(const Data& bytes, const char* charset);

/// The commands that switch the printer to `page`; `leaveMultiByte` puts FS . before an ESC t.
Data selectCommand(CodePage page, bool leaveMultiByte);
/// The same with the ESC t number of a printer's profile.
Data selectCommand(const PrinterProfile::Page& page, bool leaveMultiByte);

/// UTF-8 for a printer that has `pages`: each character in the page the printer is in (`current`, updated) when
/// that page has it, else in the first of `pages` that has it, after the commands that switch to it. ASCII needs
/// no page. Characters no page has, and invalid UTF-8 bytes, become "?" and are counted.
EncodedText encodeAuto(std::string_view utf8, const std::vector<PrinterProfile::Page>& pages, std::optional<CodePage>& current);

}  // namespace OrvikFramework::CodePages
