#pragma once

// Conversions between UTF-8 and printer code pages through iconv, and the commands that select a page; pure.
#include <optional>
#include <string>
#include <string_view>

#include <orvik/CodePage.h>

namespace OrvikFramework::CodePages {

/// UTF-8 to `page` (UTF-8 itself when absent). Unconvertible characters and invalid UTF-8 bytes become "?",
/// one each, and are counted.
EncodedText encode(std::string_view utf8, std::optional<CodePage> page);

/// Bytes in the iconv character set `charset` to UTF-8; bytes that decode to nothing become U+FFFD each.
std::string decode(const Data& bytes, const char* charset);

/// The commands that switch the printer to `page`; `leaveMultiByte` puts FS . before an ESC t.
Data selectCommand(CodePage page, bool leaveMultiByte);

}  // namespace OrvikFramework::CodePages
