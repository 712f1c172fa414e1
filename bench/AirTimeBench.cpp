// Bytes written to the printer's RX characteristic for the demo receipt, sent live and spooled with gzip, over the
// simulated Bluetooth stack. Prints one JSON object for run.py.
//   orvik_airtime_bench DOCUMENTS      (DOCUMENTS holds the demo's logo.bmp)
#include <chrono>
#include <cstdio>

#include <orvik/Documents.h>
#include <orvik/OrvikFramework.h>

#include "NullLog.h"
#include "Receipt.h"
#include "support/SimulatedLink.h"

using namespace OrvikFramework;

namespace {

// The link settings the air-time estimate assumes: 250-byte writes, each with a response.
constexpr std::int64_t mtu = 250;

struct Sent {
    bool connected = false;
    std::size_t writes = 0;
    std::size_t bytes = 0;
};

Sent sendReceipt(bool spooled) {
    Testing::SimulatedLink link;
    link.addPrinter("Air time");
    Orvik sdk;
    sdk.MTU = mtu;
    Sent sent;
    sent.connected = link.bringUp(sdk, "Air time");
    if (!sent.connected) return sent;
    if (spooled) sdk.Zip(true);
    Demo::printReceipt(sdk);
    if (spooled) sdk.Zip(false);
    sdk.WaitUntilSent(std::chrono::seconds(10));
    sent.writes = link.writes.size();
    sent.bytes = link.received().size();
    sdk.Disconnect();
    Testing::drainMainLoop();
    return sent;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: orvik_airtime_bench DOCUMENTS\n");
        return 2;
    }
    Documents::setDirectory(argv[1]);
    Bench::NullLog log;
    const Sent live = sendReceipt(false);
    const Sent spooled = sendReceipt(true);
    std::printf("{\"mtu\": %lld, \"live_writes\": %zu, \"live_bytes\": %zu, \"spooled_writes\": %zu, "
                "\"spooled_bytes\": %zu}\n",
                static_cast<long long>(mtu), live.writes, live.bytes, spooled.writes, spooled.bytes);
    return live.connected && spooled.connected && live.bytes > 0 && spooled.bytes > 0 ? 0 : 1;
}
