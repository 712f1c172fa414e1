// libFuzzer entry: any bytes, in two chunks, through the decoder and the renderer.
#include <cstddef>
#include <cstdint>

#include "vprinter/Decoder.h"
#include "vprinter/Renderer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace OrvikFramework::VirtualPrinter;
    Limits limits;
    limits.largestImage = 1 << 16;
    limits.largestJob = 1 << 20;
    RenderOptions options;
    options.longestReceipt = 4000;
    Decoder decoder(limits);
    Renderer renderer(options);
    const std::size_t half = size / 2;
    decoder.feed(data, half);
    renderer.apply(decoder.takeCommands());
    decoder.feed(data + half, size - half);
    decoder.finish();
    renderer.apply(decoder.takeCommands());
    renderer.finish();
    for (const Receipt& r : renderer.takeReceipts()) encodePng(r);
    return 0;
}
