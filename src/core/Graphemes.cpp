#include "core/Graphemes.h"

#include <unicode/ubrk.h>
#include <unicode/utext.h>

namespace OrvikFramework::Graphemes {

std::vector<std::size_t> clusterEnds(std::string_view utf8) {
    std::vector<std::size_t> ends;
    if (utf8.empty()) return ends;
    UErrorCode status = U_ZERO_ERROR;
    UText* text = utext_openUTF8(nullptr, utf8.data(), static_cast<std::int64_t>(utf8.size()), &status);
    UBreakIterator* breaks = ubrk_open(UBRK_CHARACTER, "", nullptr, 0, &status);
    if (U_SUCCESS(status)) ubrk_setUText(breaks, text, &status);
    if (U_SUCCESS(status)) {
        // UTF-8 text gives native indexes that are byte offsets, so slices keep the caller's exact bytes.
        for (std::int32_t end = ubrk_next(breaks); end != UBRK_DONE; end = ubrk_next(breaks)) {
            ends.push_back(static_cast<std::size_t>(end));
        }
    } else {
        // Without the break rules every byte stands alone, which still sends every byte once.
        for (std::size_t i = 1; i <= utf8.size(); ++i) ends.push_back(i);
    }
    ubrk_close(breaks);
    utext_close(text);
    return ends;
}

}  // namespace OrvikFramework::Graphemes
