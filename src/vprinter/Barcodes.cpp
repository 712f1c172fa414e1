#include "vprinter/Barcodes.h"

#include <array>
#include <string_view>

#include "core/EscPos.h"

namespace OrvikFramework::VirtualPrinter {
namespace {

constexpr std::size_t quietZone = 10;

void appendRuns(std::vector<bool>& out, std::string_view widths, bool startWithBar = true) {
    bool bar = startWithBar;
    for (char w : widths) {
        out.insert(out.end(), static_cast<std::size_t>(w - '0'), bar);
        bar = !bar;
    }
}

void appendBits(std::vector<bool>& out, std::string_view bits) {
    for (char b : bits) out.push_back(b == '1');
}

BarPattern failed(std::string problem) {
    BarPattern p;
    p.problem = std::move(problem);
    return p;
}

BarPattern code39(const Data& content) {
    static constexpr std::string_view alphabet = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-. $/+%";
    // Nine elements per character, bar first; a set bit is a wide element.
    static constexpr std::array<std::uint16_t, 43> patterns = {
        0x034, 0x121, 0x061, 0x160, 0x031, 0x130, 0x070, 0x025, 0x124, 0x064, 0x109, 0x049, 0x148, 0x019, 0x118,
        0x058, 0x00D, 0x10C, 0x04C, 0x01C, 0x103, 0x043, 0x142, 0x013, 0x112, 0x052, 0x007, 0x106, 0x046, 0x016,
        0x181, 0x0C1, 0x1C0, 0x091, 0x190, 0x0D0, 0x085, 0x184, 0x0C4, 0x0A8, 0x0A2, 0x08A, 0x02A};
    constexpr std::uint16_t startStop = 0x094;
    if (content.empty()) return failed("CODE39 content is empty");
    BarPattern p;
    p.modules.assign(quietZone, false);
    const auto put = [&p](std::uint16_t pattern) {
        for (int i = 8; i >= 0; --i) p.modules.insert(p.modules.end(), (pattern >> i) & 1 ? 3 : 1, (i % 2) == 0);
        p.modules.push_back(false);
    };
    put(startStop);
    for (std::uint8_t byte : content) {
        const std::size_t index = alphabet.find(static_cast<char>(byte));
        if (index == std::string_view::npos) return failed("CODE39 cannot encode byte " + std::to_string(byte));
        put(patterns[index]);
        p.hri += static_cast<char>(byte);
    }
    put(startStop);
    p.modules.insert(p.modules.end(), quietZone - 1, false);
    return p;
}

constexpr std::array<std::string_view, 107> code128Widths = {
    "212222", "222122", "222221", "121223", "121322", "131222", "122213", "122312", "132212", "221213", "221312",
    "231212", "112232", "122132", "122231", "113222", "123122", "123221", "223211", "221132", "221231", "213212",
    "223112", "312131", "311222", "321122", "321221", "312212", "322112", "322211", "212123", "212321", "232121",
    "111323", "131123", "131321", "112313", "132113", "132311", "211313", "231113", "231311", "112133", "112331",
    "132131", "113123", "113321", "133121", "313121", "211331", "231131", "213113", "213311", "213131", "311123",
    "311321", "331121", "312113", "312311", "332111", "314111", "221411", "431111", "111224", "111422", "121124",
    "121421", "141122", "141221", "112214", "112412", "122114", "122411", "142112", "142211", "241211", "221114",
    "413111", "241112", "134111", "111242", "121142", "121241", "114212", "124112", "124211", "411212", "421112",
    "421211", "212141", "214121", "412121", "111143", "111341", "131141", "114113", "114311", "411113", "411311",
    "113141", "114131", "311141", "411131", "211412", "211214", "211232", "2331112"};

BarPattern code128(const Data& content) {
    enum Set { A, B, C };
    constexpr int codeA = 101, codeB = 100, codeC = 99, fnc1 = 102, startA = 103, stop = 106;
    std::vector<int> values;
    BarPattern p;
    Set set = B;
    std::size_t i = 0;
    // Data may open with {A, {B or {C; without it the text is taken in code set B.
    if (content.size() >= 2 && content[0] == '{' && content[1] >= 'A' && content[1] <= 'C') {
        set = static_cast<Set>(content[1] - 'A');
        i = 2;
    }
    values.push_back(startA + set);
    for (; i < content.size(); ++i) {
        const std::uint8_t ch = content[i];
        if (ch == '{' && i + 1 < content.size()) {
            const std::uint8_t next = content[++i];
            if (next >= 'A' && next <= 'C') {
                const Set to = static_cast<Set>(next - 'A');
                if (to != set) values.push_back(to == A ? codeA : to == B ? codeB : codeC);
                set = to;
                continue;
            }
            if (next == '1') {
                values.push_back(fnc1);
                continue;
            }
            if (next != '{') return failed("CODE128 has unknown control {" + std::string(1, static_cast<char>(next)));
        }
        if (set == C) {
            if (i + 1 >= content.size() || ch < '0' || ch > '9' || content[i + 1] < '0' || content[i + 1] > '9')
                return failed("CODE128 code set C needs pairs of digits");
            values.push_back((ch - '0') * 10 + (content[i + 1] - '0'));
            p.hri += static_cast<char>(ch);
            p.hri += static_cast<char>(content[++i]);
            continue;
        }
        if (set == B && ch >= 32 && ch <= 127) values.push_back(ch - 32);
        else if (set == A && ch < 32) values.push_back(ch + 64);
        else if (set == A && ch < 96) values.push_back(ch - 32);
        else return failed("CODE128 cannot encode byte " + std::to_string(ch) + " in this code set");
        if (ch >= 32) p.hri += static_cast<char>(ch);
    }
    if (values.size() == 1) return failed("CODE128 content is empty");
    int sum = values[0];
    for (std::size_t k = 1; k < values.size(); ++k) sum += static_cast<int>(k) * values[k];
    values.push_back(sum % 103);
    values.push_back(stop);
    p.modules.assign(quietZone, false);
    for (int v : values) appendRuns(p.modules, code128Widths[static_cast<std::size_t>(v)]);
    p.modules.insert(p.modules.end(), quietZone, false);
    return p;
}

BarPattern ean13(std::string digits, bool upc) {
    static constexpr std::array<std::string_view, 10> left = {"0001101", "0011001", "0010011", "0111101", "0100011",
                                                               "0110001", "0101111", "0111011", "0110111", "0001011"};
    static constexpr std::array<std::string_view, 10> parity = {"LLLLLL", "LLGLGG", "LLGGLG", "LLGGGL", "LGLLGG",
                                                                 "LGGLLG", "LGGGLL", "LGLGLG", "LGLGGL", "LGGLGL"};
    const char* name = upc ? "UPC-A" : "EAN13";
    const std::size_t bare = upc ? 11 : 12;
    for (char d : digits)
        if (d < '0' || d > '9') return failed(std::string(name) + " content must be digits");
    if (digits.size() != bare && digits.size() != bare + 1)
        return failed(std::string(name) + " content must have " + std::to_string(bare) + " or " +
                      std::to_string(bare + 1) + " digits");
    if (upc) digits.insert(digits.begin(), '0');
    int sum = 0;
    for (std::size_t k = 0; k < 12; ++k) sum += (digits[k] - '0') * (k % 2 ? 3 : 1);
    const char check = static_cast<char>('0' + (10 - sum % 10) % 10);
    if (digits.size() == 13 && digits[12] != check) return failed(std::string(name) + " check digit is wrong");
    digits.resize(12);
    digits += check;
    BarPattern p;
    p.hri = upc ? digits.substr(1) : digits;
    p.modules.assign(quietZone, false);
    appendBits(p.modules, "101");
    const std::string_view pattern = parity[static_cast<std::size_t>(digits[0] - '0')];
    for (std::size_t k = 1; k <= 6; ++k) {
        std::string code(left[static_cast<std::size_t>(digits[k] - '0')]);
        if (pattern[k - 1] == 'G') {
            for (char& b : code) b = b == '1' ? '0' : '1';
            code.assign(code.rbegin(), code.rend());
        }
        appendBits(p.modules, code);
    }
    appendBits(p.modules, "01010");
    for (std::size_t k = 7; k <= 12; ++k) {
        std::string code(left[static_cast<std::size_t>(digits[k] - '0')]);
        for (char& b : code) b = b == '1' ? '0' : '1';
        appendBits(p.modules, code);
    }
    appendBits(p.modules, "101");
    p.modules.insert(p.modules.end(), quietZone, false);
    return p;
}

}  // namespace

BarPattern encodeBarcode(std::int64_t system, const Data& content) {
    const std::int64_t m = system >= EscPos::barcodeLengthPrefixed ? system - EscPos::barcodeLengthPrefixed : system;
    const std::string text(content.begin(), content.end());
    switch (m) {
        case EscPos::barcodeUpcA: return ean13(text, true);
        case EscPos::barcodeEan13: return ean13(text, false);
        case EscPos::barcodeCode39: return code39(content);
        case EscPos::barcodeCode128: return code128(content);
        default: return failed("barcode system " + std::to_string(system) + " is not drawn");
    }
}

}  // namespace OrvikFramework::VirtualPrinter
