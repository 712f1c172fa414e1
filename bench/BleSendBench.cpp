// BLESend(data:) over the simulated Bluetooth stack, with its hex-dump log going to /dev/null, against a tight hex
// encoding of the same bytes written to /dev/null.
#include <benchmark/benchmark.h>

#include <orvik/OrvikFramework.h>
#include <orvik/sim/Simulator.h>

#include "NullLog.h"
#include "support/SimulatedLink.h"

namespace OrvikFramework::Bench {
namespace {

constexpr std::int64_t megabyte = 1 << 20;

Data payload(std::int64_t size) {
    Data bytes(static_cast<std::size_t>(size));
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 2654435761u >> 24);
    return bytes;
}

void SdkBleSend(benchmark::State& state) {
    const PlatformBackend previous = Platform::backend();
    auto bluetooth = std::make_shared<SimulatedBluetooth>();
    Platform::setBackend(simulatedBackend(bluetooth, std::make_shared<SimulatedHotspot>()));
    std::uint64_t received = 0;
    {
        SimulatedPrinter printer(*bluetooth, "Bench", -50, [&received](const Data& value) { received += value.size(); });
        NullLog log;
        Orvik sdk;
        sdk.InitSDK(WIRELESSS_INTERFACE::BLUETOOTH, 512, "Bench", "");
        Testing::drainMainLoop();
        sdk.Connect("", 0);
        Testing::drainMainLoop();
        if (!sdk.RXCharacteristic) state.SkipWithError("the simulated printer did not connect");
        const Data bytes = payload(state.range(0) * megabyte);
        for (auto _ : state) {
            sdk.BLESend(bytes);
            Testing::drainMainLoop();
        }
        if (received != state.iterations() * bytes.size()) state.SkipWithError("bytes lost on the simulated link");
        state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes.size()));
        sdk.Disconnect();
        Testing::drainMainLoop();
    }
    Platform::setBackend(previous);
}

void PlainHexToDevNull(benchmark::State& state) {
    static constexpr char digits[] = "0123456789abcdef";
    NullLog log;
    const Data bytes = payload(state.range(0) * megabyte);
    std::string hex(2 * bytes.size(), '\0');
    for (auto _ : state) {
        char* out = hex.data();
        for (const std::uint8_t byte : bytes) {
            *out++ = digits[byte >> 4];
            *out++ = digits[byte & 0x0F];
        }
        std::fwrite(hex.data(), 1, hex.size(), log.file());
        benchmark::DoNotOptimize(hex.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes.size()));
}

BENCHMARK(SdkBleSend)->Arg(1)->Arg(4)->Arg(16)->Unit(benchmark::kMillisecond);
BENCHMARK(PlainHexToDevNull)->Arg(1)->Arg(4)->Arg(16)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace OrvikFramework::Bench
