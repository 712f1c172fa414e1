// LoadBMPFile of a 576-dot-wide 1-bit BMP against reading the file's bytes and inverting them.
#include <benchmark/benchmark.h>

#include <cstring>

#include <orvik/Documents.h>
#include <orvik/Files.h>
#include <orvik/OrvikFramework.h>

#include "NullLog.h"
#include "support/BmpBuilder.h"
#include "support/TempDir.h"

namespace OrvikFramework::Bench {
namespace {

constexpr std::int64_t baseRows = 8000;

// Writes a 576 x (8000 x size) picture as picture.bmp into the directory.
void writePicture(const Testing::TempDir& directory, std::int64_t size) {
    Testing::BmpLayout layout;
    layout.width = 576;
    layout.height = baseRows * size;
    Testing::writeFile(directory.file("picture.bmp"), Testing::bmpFile(layout));
}

void SdkLoadBmp(benchmark::State& state) {
    Testing::TempDir documents;
    writePicture(documents, state.range(0));
    Documents::setDirectory(documents.path().string());
    NullLog log;
    Orvik sdk;
    std::int64_t bytes = 0;
    for (auto _ : state) {
        const BMPLoadResult picture = sdk.LoadBMPFile("picture.bmp");
        if (!picture.pixels) state.SkipWithError("the picture did not load");
        else bytes = static_cast<std::int64_t>(picture.pixels->size());
    }
    state.SetBytesProcessed(state.iterations() * bytes);
    Documents::setDirectory(std::nullopt);
}

void PlainReadAndInvert(benchmark::State& state) {
    Testing::TempDir directory;
    writePicture(directory, state.range(0));
    const std::string path = directory.file("picture.bmp");
    std::int64_t bytes = 0;
    for (auto _ : state) {
        Data file = readFile(path).value();
        // A word at a time, as tight as the compiler makes it without vector flags.
        std::size_t i = 0;
        for (; i + sizeof(std::uint64_t) <= file.size(); i += sizeof(std::uint64_t)) {
            std::uint64_t word;
            std::memcpy(&word, file.data() + i, sizeof word);
            word = ~word;
            std::memcpy(file.data() + i, &word, sizeof word);
        }
        for (; i < file.size(); ++i) file[i] = static_cast<std::uint8_t>(~file[i]);
        benchmark::DoNotOptimize(file.data());
        bytes = static_cast<std::int64_t>(file.size());
    }
    state.SetBytesProcessed(state.iterations() * bytes);
}

BENCHMARK(SdkLoadBmp)->Arg(1)->Arg(4)->Arg(16)->Unit(benchmark::kMillisecond);
BENCHMARK(PlainReadAndInvert)->Arg(1)->Arg(4)->Arg(16)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace OrvikFramework::Bench
