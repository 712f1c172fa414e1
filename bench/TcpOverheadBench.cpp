// A raster job through the SDK's TCP link against the same bytes written with a plain send() loop.
#include <benchmark/benchmark.h>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <orvik/OrvikFramework.h>

#include "examples/LoopbackReceiver.h"

namespace OrvikFramework::Bench {
namespace {

constexpr int widthBytes = 576 / 8;

Data rasterRows(std::int64_t rows) {
    Data image(static_cast<std::size_t>(widthBytes * rows));
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 2654435761u >> 24);
    return image;
}

// One job is 2000 rows per size step (x1, x4, x16), sent as bands the raster header can describe.
constexpr std::int64_t bandRows = 2000;

void SdkRasterOverTcp(benchmark::State& state) {
    Loopback::Receiver sink({.recordLimit = 0});
    // The no-space line would otherwise be timed along with the job.
    const auto previousSink = Log::setSink([](std::string_view) {});
    Orvik orvik;
    orvik.InterfaceType = WIRELESSS_INTERFACE::SOCKET;
    orvik.TCPDevice = std::make_shared<TcpSocket>();
    orvik.TCPDevice->connect("127.0.0.1", sink.port());
    const Data band = rasterRows(bandRows);
    const auto bands = state.range(0);
    for (auto _ : state) {
        for (std::int64_t i = 0; i < bands; ++i) {
            orvik.PrintRasterBitImage(0, widthBytes, 0, bandRows & 0xFF, bandRows >> 8, band);
        }
    }
    state.SetBytesProcessed(state.iterations() * bands * static_cast<std::int64_t>(band.size() + 8));
    orvik.TCPDevice->disconnect();
    Log::setSink(previousSink);
}

void PlainSendLoop(benchmark::State& state) {
    Loopback::Receiver sink({.recordLimit = 0});
    const int fd = Loopback::connect(sink.port());
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);  // as the SDK's link does
    const Data band = rasterRows(bandRows);
    const Data header = {0x1d, 'v', '0', 0, widthBytes & 0xFF, widthBytes >> 8, bandRows & 0xFF, bandRows >> 8};  // GS v 0
    const auto sendAll = [fd](const Data& bytes) {
        for (std::size_t done = 0; done < bytes.size();) {
            const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (n <= 0) return;
            done += static_cast<std::size_t>(n);
        }
    };
    const auto bands = state.range(0);
    for (auto _ : state) {
        for (std::int64_t i = 0; i < bands; ++i) {
            sendAll(header);
            sendAll(band);
        }
    }
    state.SetBytesProcessed(state.iterations() * bands * static_cast<std::int64_t>(band.size() + 8));
    ::close(fd);
}

BENCHMARK(SdkRasterOverTcp)->Arg(1)->Arg(4)->Arg(16)->Unit(benchmark::kMicrosecond);
BENCHMARK(PlainSendLoop)->Arg(1)->Arg(4)->Arg(16)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace OrvikFramework::Bench
