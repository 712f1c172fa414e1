// Zip(Enable: false) of a spool file against zlib's gzip deflate of the same bytes alone. No Bluetooth link is up,
// so the compressed job is made but not sent; sending is what the BLESend benchmark times.
#include <benchmark/benchmark.h>

#include <zlib.h>

#include <orvik/Documents.h>
#include <orvik/OrvikFramework.h>

#include "NullLog.h"
#include "support/TempDir.h"

namespace OrvikFramework::Bench {
namespace {

// A spool that compresses like a receipt job: text lines between raster bands of a dithered grey ramp.
Data spool(std::size_t size) {
    static constexpr std::string_view line = "Flat white x2              7.00\n";
    Data bytes;
    bytes.reserve(size);
    for (std::uint32_t band = 0; bytes.size() < size; ++band) {
        bytes.insert(bytes.end(), line.begin(), line.end());
        for (std::uint32_t i = 0; i < 72 * 24; ++i) {
            const std::uint32_t noise = (i + band * 7919u) * 2654435761u >> 24;
            bytes.push_back(static_cast<std::uint8_t>((i % 72) * 3 + (noise & 0x3F) > 150 ? 0xAA | noise : noise & 0x11));
        }
    }
    bytes.resize(size);
    return bytes;
}

void SdkZipDisable(benchmark::State& state) {
    Testing::TempDir documents;
    Documents::setDirectory(documents.path().string());
    NullLog log;
    const Data bytes = spool(static_cast<std::size_t>(state.range(0)) << 20);
    Orvik sdk;
    sdk.Zip(true);
    sdk.WriteToFile(bytes);
    for (auto _ : state) {
        sdk.bZip = true;  // as after Zip(true) and the job's writes; the file stays for the next round
        sdk.Zip(false);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes.size()));
    Documents::setDirectory(std::nullopt);
}

void PlainGzipDeflate(benchmark::State& state) {
    const Data bytes = spool(static_cast<std::size_t>(state.range(0)) << 20);
    Data out(compressBound(static_cast<uLong>(bytes.size())) + 64);
    for (auto _ : state) {
        z_stream stream{};
        deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
        stream.next_in = const_cast<Bytef*>(bytes.data());
        stream.avail_in = static_cast<uInt>(bytes.size());
        stream.next_out = out.data();
        stream.avail_out = static_cast<uInt>(out.size());
        if (deflate(&stream, Z_FINISH) != Z_STREAM_END) state.SkipWithError("deflate did not finish");
        deflateEnd(&stream);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes.size()));
}

BENCHMARK(SdkZipDisable)->Arg(1)->Arg(4)->Arg(16)->Unit(benchmark::kMillisecond);
BENCHMARK(PlainGzipDeflate)->Arg(1)->Arg(4)->Arg(16)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace OrvikFramework::Bench
