// libFuzzer entry: any bytes, in two chunks, through one virtual-printer session (decoder and renderer), with small
// limits and with the server's defaults.
#include <cstddef>
#include <cstdint>

#include <orvik/vprinter/Server.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace OrvikFramework;
    using namespace OrvikFramework::VirtualPrinter;
    Limits small;
    small.largestImage = 1 << 16;
    small.largestJob = 1 << 20;
    small.largestStream = 1 << 12;
    small.largestDump = 1 << 12;
    RenderOptions shortPaper;
    shortPaper.longestReceipt = 4000;
    for (const auto& [limits, options] : {std::pair{small, shortPaper}, std::pair{Limits{}, RenderOptions{}}}) {
        PrintSession session(options, limits, [](Receipt receipt) { encodePng(receipt); }, [](const Data&) {});
        const std::size_t half = size / 2;
        session.feed(data, half);
        session.feed(data + half, size - half);
        session.finish();
    }
    return 0;
}
