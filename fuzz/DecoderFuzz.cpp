// libFuzzer entry: any bytes, in two chunks, through the decoder and the renderer, with small limits and with the
// server's defaults.
#include <cstddef>
#include <cstdint>

#include "vprinter/Decoder.h"
#include "vprinter/Renderer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace OrvikFramework::VirtualPrinter;
    Limits small;
    small.largestImage = 1 << 16;
    small.largestJob = 1 << 20;
    small.largestStream = 1 << 12;
    small.largestDump = 1 << 12;
    RenderOptions shortPaper;
    shortPaper.longestReceipt = 4000;
    for (const auto& [limits, options] : {std::pair{small, shortPaper}, std::pair{Limits{}, RenderOptions{}}}) {
        Decoder decoder(limits);
        Renderer renderer(options, limits);
        const std::size_t half = size / 2;
        decoder.feed(data, half);
        renderer.apply(decoder.takeCommands());
        decoder.feed(data + half, size - half);
        decoder.finish();
        renderer.apply(decoder.takeCommands());
        renderer.finish();
        for (const Receipt& r : renderer.takeReceipts()) encodePng(r);
    }
    return 0;
}
