#include "core/CodePage.h"

#include <iconv.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <memory>

#include "core/EscPos.h"

namespace OrvikFramework {
namespace {

using EscPos::ESC;
using EscPos::FS;
// Stands in for an invalid UTF-8 byte between the two conversion steps; no character has this value.
constexpr char32_t invalid = 0xFFFFFFFF;

constexpr std::array<CodePageInfo, 11> table{{
    {CodePage::CP437, "CP437", "CP437", 0},
    {CodePage::CP850, "CP850", "CP850", 2},
    {CodePage::CP852, "CP852", "CP852", 18},
    {CodePage::CP858, "CP858", "CP858", 19},
    {CodePage::CP866, "CP866", "CP866", 17},
    {CodePage::CP1252, "CP1252", "CP1252", 16},
    {CodePage::ISO8859_15, "ISO-8859-15", "ISO-8859-15", 40},
    {CodePage::GB18030, "GB18030", "GB18030", std::nullopt},
    {CodePage::Big5, "BIG5", "BIG5", std::nullopt},
    {CodePage::ShiftJIS, "SHIFT_JIS", "SHIFT_JIS", std::nullopt},
    {CodePage::CP737, "CP737", "CP737", 14},
}};

std::string folded(std::string_view name) {
    std::string out;
    for (char c : name)
        if (c != '-' && c != '_') out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter() {
        if (ok()) iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // Converts as much as it can; returns errno of the stop (0 when all input was used), the pointers advanced.
    int run(const char*& in, std::size_t& inLeft, std::string& out) {
        char buffer[1024];
        for (;;) {
            char* next = buffer;
            std::size_t room = sizeof buffer;
            const std::size_t rc = iconv(cd_, const_cast<char**>(&in), &inLeft, &next, &room);
            const int error = rc == static_cast<std::size_t>(-1) ? errno : 0;
            out.append(buffer, static_cast<std::size_t>(next - buffer));
            if (error != E2BIG) return error;
        }
    }

private:
    iconv_t cd_;
};

// UTF-8 to code points, an invalid byte becoming `invalid`.
std::u32string codePoints(std::string_view utf8) {
    Converter toUtf32("UTF-32LE", "UTF-8");
    std::u32string out;
    const char* in = utf8.data();
    std::size_t left = utf8.size();
    std::string raw;
    while (left > 0) {
        const int error = toUtf32.run(in, left, raw);
        for (std::size_t i = 0; i + 4 <= raw.size(); i += 4) {
            char32_t cp = 0;
            for (int k = 3; k >= 0; --k) cp = (cp << 8) | static_cast<unsigned char>(raw[i + static_cast<std::size_t>(k)]);
            out += cp;
        }
        raw.clear();
        if (error != 0) {
            out += invalid;
            ++in;
            --left;
        }
    }
    return out;
}

}  // namespace

std::span<const CodePageInfo> codePages() { return table; }

const CodePageInfo& codePageInfo(CodePage page) {
    return *std::find_if(table.begin(), table.end(), [&](const CodePageInfo& i) { return i.page == page; });
}

std::optional<CodePage> codePageNamed(std::string_view name) {
    const std::string wanted = folded(name);
    for (const CodePageInfo& info : table)
        if (folded(info.name) == wanted) return info.page;
    return std::nullopt;
}

std::optional<CodePage> codePageForTable(std::uint8_t n) {
    for (const CodePageInfo& info : table)
        if (info.table == n) return info.page;
    return std::nullopt;
}

namespace CodePages {

EncodedText encode(std::string_view utf8, std::optional<CodePage> page) {
    EncodedText result;
    Converter convert(page ? codePageInfo(*page).iconvName : "UTF-8", "UTF-32LE");
    const std::u32string points = codePoints(utf8);
    std::string out;
    // Runs of valid code points go to iconv together; each one it refuses is replaced and passed over.
    for (std::size_t start = 0; start < points.size();) {
        if (points[start] == invalid || !convert.ok()) {
            out += '?';
            ++result.replaced;
            ++start;
            continue;
        }
        std::size_t end = start;
        while (end < points.size() && points[end] != invalid) ++end;
        std::string raw;
        for (std::size_t i = start; i < end; ++i)
            for (int k = 0; k < 4; ++k) raw += static_cast<char>((points[i] >> (8 * k)) & 0xFF);
        const char* in = raw.data();
        std::size_t left = raw.size();
        while (left > 0) {
            if (convert.run(in, left, out) == 0) break;
            out += '?';
            ++result.replaced;
            in += 4;
            left -= std::min<std::size_t>(left, 4);
        }
        start = end;
    }
    result.bytes.assign(out.begin(), out.end());
    return result;
}

std::string decode(const Data& bytes, const char* charset) {
    Converter convert("UTF-8", charset);
    std::string out;
    const char* in = reinterpret_cast<const char*>(bytes.data());
    std::size_t left = bytes.size();
    while (left > 0) {
        if (convert.ok() && convert.run(in, left, out) == 0) break;
        out += "\xEF\xBF\xBD";
        ++in;
        --left;
    }
    return out;
}

Data selectCommand(CodePage page, bool leaveMultiByte) {
    return selectCommand(PrinterProfile::Page{page, codePageInfo(page).table}, leaveMultiByte);
}

Data selectCommand(const PrinterProfile::Page& page, bool leaveMultiByte) {
    if (!page.table) {
        if (page.page == CodePage::ShiftJIS) return {FS, 'C', 1, FS, '&'};
        return {FS, '&'};
    }
    Data command;
    if (leaveMultiByte) command = {FS, '.'};
    command.insert(command.end(), {ESC, 't', *page.table});
    return command;
}

EncodedText encodeAuto(std::string_view utf8, const std::vector<PrinterProfile::Page>& pages, std::optional<CodePage>& current) {
    EncodedText result;
    std::vector<std::unique_ptr<Converter>> converters(pages.size());
    // The character in page `p`, or nothing when the page lacks it.
    const auto inPage = [&](std::size_t p, char32_t cp) -> std::optional<std::string> {
        if (!converters[p]) converters[p] = std::make_unique<Converter>(codePageInfo(pages[p].page).iconvName, "UTF-32LE");
        if (!converters[p]->ok()) return std::nullopt;
        char raw[4];
        for (int k = 0; k < 4; ++k) raw[k] = static_cast<char>((cp >> (8 * k)) & 0xFF);
        const char* in = raw;
        std::size_t left = sizeof raw;
        std::string out;
        if (converters[p]->run(in, left, out) != 0 || out.empty()) return std::nullopt;
        return out;
    };
    for (const char32_t cp : codePoints(utf8)) {
        if (cp < 0x80) {
            result.bytes.push_back(static_cast<std::uint8_t>(cp));
            continue;
        }
        std::optional<std::string> bytes;
        std::size_t chosen = pages.size();
        for (std::size_t p = 0; p < pages.size() && cp != invalid; ++p)
            if (pages[p].page == current && (bytes = inPage(p, cp))) chosen = p;
        for (std::size_t p = 0; p < pages.size() && cp != invalid && !bytes; ++p)
            if ((bytes = inPage(p, cp))) chosen = p;
        if (!bytes) {
            result.bytes.push_back('?');
            ++result.replaced;
            continue;
        }
        if (pages[chosen].page != current) {
            const Data select = selectCommand(pages[chosen], current && !codePageInfo(*current).table);
            result.bytes.insert(result.bytes.end(), select.begin(), select.end());
            current = pages[chosen].page;
        }
        result.bytes.insert(result.bytes.end(), bytes->begin(), bytes->end());
    }
    return result;
}

}  // namespace CodePages
}  // namespace OrvikFramework
