// Text in printer code pages other than UTF-8.
#include <orvik/Orvik.h>

#include "core/CodePage.h"

namespace OrvikFramework {

Status Orvik::SelectCodePage(CodePage page) {
    const auto route = chooseRoute();
    if (!route) return noInterface();
    const bool inMultiByte = SelectedCodePage && !codePageInfo(*SelectedCodePage).table;
    deliver(*route, CodePages::selectCommand(page, inMultiByte));
    SelectedCodePage = page;
    return std::nullopt;
}

Result<std::int64_t> Orvik::PrintCodePageText(std::string_view Text) {
    const auto route = chooseRoute();
    if (!route) return noInterface();
    EncodedText text = CodePages::encode(Text, SelectedCodePage);
    text.bytes.insert(text.bytes.end(), {'\r', '\n'});
    deliver(*route, text.bytes);
    return text.replaced;
}

EncodedText encodeText(std::string_view utf8, std::optional<CodePage> page) { return CodePages::encode(utf8, page); }

}  // namespace OrvikFramework
