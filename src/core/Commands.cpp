#include "core/Commands.h"

#include "core/EscPos.h"

namespace OrvikFramework::Commands {
namespace {

using namespace EscPos;

Data utf8(std::string_view text) { return Data(text.begin(), text.end()); }

}  // namespace

Data initPrinter() { return {ESC, '@'}; }
Data textAlignment(std::uint8_t alignment) { return {ESC, 'a', alignment}; }
Data printMode(std::uint8_t mode) { return {ESC, '!', mode}; }

Data textLine(std::string_view text) {
    Data line = utf8(text);
    line.push_back(CR);
    line.push_back(LF);
    return line;
}

Data withoutLastByte(const Data& data) { return data.empty() ? Data{} : Data(data.begin(), data.end() - 1); }

Data dataLine(const Data& data) {
    Data line = withoutLastByte(data);
    line.push_back(CR);
    line.push_back(LF);
    return line;
}

Data feedPaper(std::uint8_t units) { return {ESC, 'J', units}; }
Data cutPaper() { return {ESC, 'm'}; }

Data selectCutMode(std::uint8_t m, std::uint8_t n) {
    // Only this mode takes no feed parameter.
    if (m == cutWithoutParameter) return {GS, 'V', m};
    return {GS, 'V', m, n};
}

std::array<Data, 5> barcode(std::uint8_t hriPosition, std::uint8_t height, std::uint8_t width, std::string_view text) {
    Data content = utf8(text);
    content.push_back(0x00);
    content.push_back(CR);
    content.push_back(LF);
    return {Data{GS, 'H', hriPosition}, Data{GS, 'h', height}, Data{GS, 'w', width}, Data{GS, 'k', barcodeCode39},
            std::move(content)};
}

Data rasterHeader(std::uint8_t m, std::uint8_t xL, std::uint8_t xH, std::uint8_t yL, std::uint8_t yH) {
    return {GS, 'v', '0', m, xL, xH, yL, yH};
}

}  // namespace OrvikFramework::Commands
