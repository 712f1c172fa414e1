#include "core/Barcodes.h"

#include <algorithm>
#include <array>
#include <limits>
#include <optional>
#include <vector>

#include "core/EverydayCommands.h"

namespace OrvikFramework::Barcodes {
namespace {

using EscPos::GS;

constexpr std::size_t longestData = 255;  // n is one byte
constexpr int fnc1 = -1;                  // a CODE128 token that is no byte

struct Facts {
    Symbology symbology;
    const char* name;
    std::uint8_t system;  // GS k m, function B
};
constexpr std::array<Facts, 10> facts = {{
    {Symbology::UpcA, "UPC-A", 65},    {Symbology::UpcE, "UPC-E", 66},    {Symbology::Ean13, "EAN13", 67},
    {Symbology::Ean8, "EAN8", 68},     {Symbology::Code39, "CODE39", 69}, {Symbology::Itf, "ITF", 70},
    {Symbology::Codabar, "CODABAR", 71}, {Symbology::Code93, "CODE93", 72}, {Symbology::Code128, "CODE128", 73},
    {Symbology::Gs1_128, "GS1-128", 73},
}};

const Facts& factsOf(Symbology s) { return facts[static_cast<std::size_t>(s)]; }

Error refused(Symbology s, const std::string& why) {
    return Error{ErrorCode::InvalidArgument, std::string(factsOf(s).name) + " " + why};
}

bool digits(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The mod-10 check digit of EAN, UPC and GS1 keys: weights 3 and 1 from the right.
char checkDigit(std::string_view body) {
    int sum = 0;
    for (std::size_t i = 0; i < body.size(); ++i) sum += (body[body.size() - 1 - i] - '0') * (i % 2 == 0 ? 3 : 1);
    return static_cast<char>('0' + (10 - sum % 10) % 10);
}

// Digits without their check digit get it; with it, it must be right.
Result<Checked> withCheckDigit(Symbology s, std::string_view data, std::size_t bare) {
    if (!digits(data) || (data.size() != bare && data.size() != bare + 1))
        return refused(s, "takes " + std::to_string(bare) + " digits, or " + std::to_string(bare + 1) +
                              " with the check digit");
    const char check = checkDigit(data.substr(0, bare));
    if (data.size() == bare + 1 && data[bare] != check)
        return refused(s, "check digit of \"" + std::string(data) + "\" should be " + check);
    return Checked{s, std::string(data.substr(0, bare)) + check};
}

// UPC-E's check digit is that of the UPC-A number it stands for.
Result<Checked> upcE(std::string_view data) {
    const Symbology s = Symbology::UpcE;
    if (!digits(data) || data.size() < 6 || data.size() > 8)
        return refused(s, "takes 6 digits, 7 with the number system, or 8 with the check digit");
    const std::string full = data.size() == 6 ? "0" + std::string(data) : std::string(data);
    if (full[0] != '0' && full[0] != '1') return refused(s, "number system must be 0 or 1");
    const std::string_view d = std::string_view(full).substr(1, 6);
    std::string upcA(1, full[0]);
    if (d[5] <= '2') upcA += std::string(d.substr(0, 2)) + d[5] + "0000" + std::string(d.substr(2, 3));
    else if (d[5] == '3') upcA += std::string(d.substr(0, 3)) + "00000" + std::string(d.substr(3, 2));
    else if (d[5] == '4') upcA += std::string(d.substr(0, 4)) + "00000" + d[4];
    else upcA += std::string(d.substr(0, 5)) + "0000" + d[5];
    const char check = checkDigit(upcA);
    if (full.size() == 8 && full[7] != check)
        return refused(s, "check digit of \"" + full + "\" should be " + check);
    return Checked{s, full.substr(0, 7) + check};
}

Result<Checked> inAlphabet(Symbology s, std::string_view data, std::string_view alphabet, const char* allowed) {
    for (char c : data)
        if (alphabet.find(c) == std::string_view::npos)
            return refused(s, "cannot carry '" + std::string(1, c) + "'; it takes " + allowed);
    return Checked{s, std::string(data)};
}

bool ascii(std::string_view data) {
    return std::all_of(data.begin(), data.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// GS1 application identifiers by their first two digits: the identifier's length, and its data's exact length
// (the predefined-length ones, never followed by FNC1) or longest length.
struct AiFacts {
    int digits;
    std::size_t fixed;
    std::size_t longest;
};
std::optional<AiFacts> aiFacts(std::string_view ai) {
    if (ai.size() < 2 || !digits(ai.substr(0, 2))) return std::nullopt;
    const int p = (ai[0] - '0') * 10 + (ai[1] - '0');
    if (p <= 3) return AiFacts{2, p == 0 ? 18u : 14u, 0};
    if (p == 4) return AiFacts{2, 16, 0};
    if (p == 10 || p == 21 || p == 22) return AiFacts{2, 0, 20};
    if (p >= 11 && p <= 19) return AiFacts{2, 6, 0};
    if (p == 20) return AiFacts{2, 2, 0};
    if (p == 24 || p == 25 || p == 40 || p == 42) return AiFacts{3, 0, 30};
    if (p == 30 || p == 37) return AiFacts{2, 0, 8};
    if (p >= 31 && p <= 36) return AiFacts{4, 6, 0};
    if (p == 39) return AiFacts{4, 0, 18};
    if (p == 41) return AiFacts{3, 13, 0};
    if (p == 70 || p == 72 || p == 80 || p == 81 || p == 82) return AiFacts{4, 0, 70};
    if (p == 71) return AiFacts{3, 0, 20};
    if (p == 90) return AiFacts{2, 0, 30};
    if (p >= 91) return AiFacts{2, 0, 90};
    return std::nullopt;
}

// The characters GS1 allows in element values.
bool gs1Character(char c) {
    static constexpr std::string_view others = "!\"%&'()*+,-./:;<=>?_";
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
           others.find(c) != std::string_view::npos;
}

struct Element {
    std::string ai;
    std::string value;
};

std::optional<Error> checkElement(const Element& e) {
    const auto f = aiFacts(e.ai);
    const Symbology s = Symbology::Gs1_128;
    if (!f || static_cast<std::size_t>(f->digits) != e.ai.size() || !digits(e.ai))
        return refused(s, "application identifier (" + e.ai + ") is not known");
    if (e.value.empty() || !std::all_of(e.value.begin(), e.value.end(), gs1Character))
        return refused(s, "(" + e.ai + ") needs a value of GS1 characters");
    if (f->fixed && (e.value.size() != f->fixed || !digits(e.value)))
        return refused(s, "(" + e.ai + ") takes exactly " + std::to_string(f->fixed) + " digits");
    if (!f->fixed && e.value.size() > f->longest)
        return refused(s, "(" + e.ai + ") takes at most " + std::to_string(f->longest) + " characters");
    // GTIN, SSCC and the other keys of 00-02 end in a check digit.
    if (e.ai <= "02" && e.value.back() != checkDigit(std::string_view(e.value).substr(0, e.value.size() - 1)))
        return refused(s, "(" + e.ai + ") check digit should be " +
                              checkDigit(std::string_view(e.value).substr(0, e.value.size() - 1)));
    return std::nullopt;
}

Result<std::vector<Element>> gs1Elements(std::string_view data) {
    std::vector<Element> elements;
    std::size_t i = 0;
    while (i < data.size()) {
        const std::size_t close = data.find(')', i);
        if (data[i] != '(' || close == std::string_view::npos)
            return refused(Symbology::Gs1_128, "data must be application identifiers in parentheses, each followed "
                                               "by its value, e.g. (01)09501101530003(17)250101");
        const std::size_t next = std::min(data.find('(', close), data.size());
        Element e{std::string(data.substr(i + 1, close - i - 1)), std::string(data.substr(close + 1, next - close - 1))};
        if (auto problem = checkElement(e)) return *problem;
        elements.push_back(std::move(e));
        i = next;
    }
    if (elements.empty()) return refused(Symbology::Gs1_128, "needs at least one application identifier");
    return elements;
}

// CODE128 tokens (bytes, or fnc1) in the fewest symbol characters: for every position the cheapest way to finish
// from each code set, then the path through it. Set C takes digit pairs, A control characters, B lower case.
enum Set { A, B, C };

std::string code128Data(const std::vector<int>& tokens) {
    constexpr int never = std::numeric_limits<int>::max() / 4;
    const std::size_t n = tokens.size();
    std::vector<std::array<int, 3>> cost(n + 1, {0, 0, 0});
    const auto isDigit = [&](std::size_t i) { return i < n && tokens[i] >= '0' && tokens[i] <= '9'; };
    // The cost of taking token i in set s without switching, and how many tokens that takes.
    const auto take = [&](std::size_t i, int s) -> std::pair<int, std::size_t> {
        const int t = tokens[i];
        if (t == fnc1) return {1 + cost[i + 1][s], 1};
        if (s == C) return isDigit(i) && isDigit(i + 1) ? std::pair{1 + cost[i + 2][C], std::size_t{2}} : std::pair{never, std::size_t{1}};
        if ((s == A && t < 96) || (s == B && t >= 32)) return {1 + cost[i + 1][s], 1};
        return {never, 1};
    };
    for (std::size_t i = n; i-- > 0;) {
        std::array<int, 3> direct{};
        for (int s = A; s <= C; ++s) direct[s] = take(i, s).first;
        for (int s = A; s <= C; ++s)
            cost[i][s] = std::min(direct[s], 1 + std::min({direct[(s + 1) % 3], direct[(s + 2) % 3]}));
    }
    // Ties go to B, the set most readers of the data expect, then C.
    int set = B;
    if (cost[0][C] < cost[0][set]) set = C;
    if (cost[0][A] < cost[0][set]) set = A;
    std::string out = std::string("{") + static_cast<char>('A' + set);
    for (std::size_t i = 0; i < n;) {
        if (take(i, set).first != cost[i][set]) {
            int best = -1;
            for (int s : {B, C, A})
                if (s != set && (best < 0 || take(i, s).first < take(i, best).first)) best = s;
            set = best;
            out += std::string("{") + static_cast<char>('A' + set);
        }
        const int t = tokens[i];
        if (t == fnc1) {
            out += "{1";
            ++i;
        } else if (set == C) {
            out += static_cast<char>((t - '0') * 10 + (tokens[i + 1] - '0'));
            i += 2;
        } else {
            if (t == '{') out += '{';
            out += static_cast<char>(t);
            ++i;
        }
    }
    return out;
}

std::vector<int> gs1Tokens(const std::vector<Element>& elements) {
    std::vector<int> tokens{fnc1};
    for (std::size_t k = 0; k < elements.size(); ++k) {
        for (char c : elements[k].ai + elements[k].value) tokens.push_back(static_cast<unsigned char>(c));
        if (!aiFacts(elements[k].ai)->fixed && k + 1 < elements.size()) tokens.push_back(fnc1);
    }
    return tokens;
}

// The printer's CODE128 data back to tokens: {A {B {C switch sets, {1 is FNC1, {{ is '{', set C bytes are pairs.
Result<std::vector<int>> code128Tokens(const Data& bytes) {
    std::vector<int> tokens;
    int set = -1;
    const auto bad = [](const std::string& why) { return refused(Symbology::Code128, why); };
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const std::uint8_t b = bytes[i];
        if (b == '{' && i + 1 < bytes.size()) {
            const std::uint8_t code = bytes[++i];
            if (code >= 'A' && code <= 'C') set = code - 'A';
            else if (code == '1') tokens.push_back(fnc1);
            else if (code == '{' && set == B) tokens.push_back('{');
            else if (code != '2' && code != '3' && code != '4' && code != 'S') return bad("data has an unknown {" + std::string(1, static_cast<char>(code)));
            continue;
        }
        if (set < 0) return bad("data must begin with {A, {B or {C");
        if (set == C) {
            if (b > 99) return bad("code set C byte " + std::to_string(b) + " is not 0-99");
            tokens.push_back('0' + b / 10);
            tokens.push_back('0' + b % 10);
        } else if ((set == A && b < 96) || (set == B && b >= 32 && b < 128)) {
            tokens.push_back(b);
        } else {
            return bad("byte " + std::to_string(b) + " is not in code set " + static_cast<char>('A' + set));
        }
    }
    return tokens;
}

// FNC1-separated GS1 data back to identifiers in parentheses, by the identifiers' known lengths.
Result<Checked> gs1FromTokens(const std::vector<int>& tokens) {
    std::string text;
    std::size_t i = 1;
    const auto bad = refused(Symbology::Gs1_128, "data does not hold application identifiers");
    while (i < tokens.size()) {
        std::string ai;
        while (i < tokens.size() && tokens[i] != fnc1 && ai.size() < 2) ai += static_cast<char>(tokens[i++]);
        const auto f = aiFacts(ai);
        if (!f) return bad;
        while (i < tokens.size() && tokens[i] != fnc1 && ai.size() < static_cast<std::size_t>(f->digits)) ai += static_cast<char>(tokens[i++]);
        std::string value;
        while (i < tokens.size() && tokens[i] != fnc1 && (!f->fixed || value.size() < f->fixed)) value += static_cast<char>(tokens[i++]);
        if (i < tokens.size() && tokens[i] == fnc1) ++i;
        text += "(" + ai + ")" + value;
    }
    return check(Symbology::Gs1_128, text);
}

}  // namespace

Result<Checked> check(Symbology s, std::string_view data) {
    if (data.empty()) return refused(s, "needs data");
    if (data.size() > longestData) return refused(s, "data is longer than " + std::to_string(longestData) + " bytes");
    switch (s) {
        case Symbology::UpcA: return withCheckDigit(s, data, 11);
        case Symbology::UpcE: return upcE(data);
        case Symbology::Ean13: return withCheckDigit(s, data, 12);
        case Symbology::Ean8: return withCheckDigit(s, data, 7);
        case Symbology::Code39:
            return inAlphabet(s, data, "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ -.$/+%", "0-9, A-Z, space and - . $ / + %");
        case Symbology::Itf:
            if (!digits(data) || data.size() % 2) return refused(s, "takes an even number of digits");
            return Checked{s, std::string(data)};
        case Symbology::Codabar: {
            const auto startStop = [](char c) { return c >= 'A' && c <= 'D'; };
            if (data.size() < 3 || !startStop(data.front()) || !startStop(data.back()))
                return refused(s, "data must begin and end with a start/stop character A, B, C or D");
            const auto inner = inAlphabet(s, data.substr(1, data.size() - 2), "0123456789-$:/.+", "0-9 and - $ : / . + between its start and stop characters");
            if (!inner) return inner.error();
            return Checked{s, std::string(data)};
        }
        case Symbology::Code93:
        case Symbology::Code128:
            if (!ascii(data)) return refused(s, "carries ASCII only");
            return Checked{s, std::string(data)};
        case Symbology::Gs1_128: {
            const auto elements = gs1Elements(data);
            if (!elements) return elements.error();
            return Checked{s, std::string(data)};
        }
    }
    return refused(s, "is not known");
}

Result<Data> printCommand(const Checked& barcode) {
    std::string data = barcode.data;
    if (barcode.symbology == Symbology::Code128 || barcode.symbology == Symbology::Gs1_128) {
        std::vector<int> tokens;
        if (barcode.symbology == Symbology::Gs1_128) tokens = gs1Tokens(*gs1Elements(data));
        else for (char c : data) tokens.push_back(static_cast<unsigned char>(c));
        data = code128Data(tokens);
        if (data.size() > longestData)
            return refused(barcode.symbology, "data needs " + std::to_string(data.size()) + " bytes with its code set "
                                              "changes; at most " + std::to_string(longestData) + " fit");
    }
    Data out{GS, 'k', factsOf(barcode.symbology).system, static_cast<std::uint8_t>(data.size())};
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

Result<Data> settingCommands(const BarcodeOptions& o) {
    if (o.height == 0) return Error{ErrorCode::InvalidArgument, "barcode height must be 1-255 dots"};
    if (o.moduleWidth < 1 || o.moduleWidth > 6)
        return Error{ErrorCode::InvalidArgument, "barcode module width " + std::to_string(o.moduleWidth) + " is outside 1-6"};
    if (static_cast<std::uint8_t>(o.hriPosition) > 3 || static_cast<std::uint8_t>(o.hriFont) > 1)
        return Error{ErrorCode::InvalidArgument, "unknown HRI position or font"};
    return Data{GS, 'H', static_cast<std::uint8_t>(o.hriPosition), GS, 'f', static_cast<std::uint8_t>(o.hriFont),
                GS, 'h', o.height, GS, 'w', o.moduleWidth};
}

Result<Checked> fromPrintCommand(std::int64_t m, const Data& bytes) {
    const std::int64_t system = m < 65 ? m + 65 : m;
    if (system == 73) {
        const auto tokens = code128Tokens(bytes);
        if (!tokens) return tokens.error();
        if (!tokens->empty() && tokens->front() == fnc1) return gs1FromTokens(*tokens);
        if (std::find(tokens->begin(), tokens->end(), fnc1) != tokens->end())
            return refused(Symbology::Code128, "FNC1 inside the data is not drawn");
        return check(Symbology::Code128, std::string(tokens->begin(), tokens->end()));
    }
    for (const Facts& f : facts)
        if (f.system == system) {
            std::string data(bytes.begin(), bytes.end());
            // Function A's CODE39 and CODABAR may carry their start and stop characters.
            if (f.symbology == Symbology::Code39 && data.size() >= 2 && data.front() == '*' && data.back() == '*')
                data = data.substr(1, data.size() - 2);
            return check(f.symbology, data);
        }
    return Error{ErrorCode::InvalidArgument, "barcode system " + std::to_string(m) + " is not drawn"};
}

}  // namespace OrvikFramework::Barcodes

namespace OrvikFramework {

std::optional<Symbology> symbologyNamed(std::string_view name) {
    static constexpr std::array<std::string_view, 10> names = {"upca",    "upce",    "ean13",  "ean8",    "code39",
                                                               "itf",     "codabar", "code93", "code128", "gs1-128"};
    for (std::size_t i = 0; i < names.size(); ++i)
        if (names[i] == name) return static_cast<Symbology>(i);
    return std::nullopt;
}

}  // namespace OrvikFramework
