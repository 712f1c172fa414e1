// The floor for a whole-process picture job: the least code that sends the same bytes `orvik print --image` does for
// the benchmark's pictures (8-bit grey or RGB PNGs, unfiltered rows, at their own width): read the file whole,
// inflate it in one call, Floyd-Steinberg to dots, GS v 0 bands of 128 rows, the text lines, a cut.
//   orvik_floor PICTURE HOST PORT [LINE...]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <isa-l/igzip_lib.h>

namespace {

unsigned be32(const unsigned char* p) { return unsigned(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3]; }

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) return 2;
    std::FILE* file = std::fopen(argv[1], "rb");
    if (!file) return 1;
    std::vector<unsigned char> png;
    unsigned char piece[1 << 16];
    for (std::size_t n; (n = std::fread(piece, 1, sizeof piece, file)) > 0;) png.insert(png.end(), piece, piece + n);
    const int width = static_cast<int>(be32(&png[16])), height = static_cast<int>(be32(&png[20]));
    const int channels = png[25] == 2 ? 3 : 1;
    std::vector<unsigned char> compressed;
    for (std::size_t at = 8; at + 8 <= png.size(); at += 12 + be32(&png[at]))
        if (std::memcmp(&png[at + 4], "IDAT", 4) == 0)
            compressed.insert(compressed.end(), &png[at + 8], &png[at + 8] + be32(&png[at]));
    const std::size_t stride = 1 + static_cast<std::size_t>(width) * channels;
    std::vector<unsigned char> raw(stride * height);
    inflate_state inflater;
    isal_inflate_init(&inflater);
    inflater.crc_flag = ISAL_ZLIB;
    inflater.next_in = compressed.data();
    inflater.avail_in = static_cast<unsigned>(compressed.size());
    inflater.next_out = raw.data();
    inflater.avail_out = static_cast<unsigned>(raw.size());
    if (isal_inflate_stateless(&inflater) != ISAL_DECOMP_OK) return 1;

    std::string job = "\x1b@";
    const int rowBytes = (width + 7) / 8;
    std::vector<int> here(width + 2), below(width + 2);
    std::vector<unsigned char> dots(static_cast<std::size_t>(rowBytes) * height);
    for (int y = 0; y < height; ++y) {
        const unsigned char* p = &raw[y * stride + 1];
        for (int x = 0; x < width; ++x, p += channels) {
            const int grey = channels == 3 ? (p[0] * 77 + p[1] * 150 + p[2] * 29) >> 8 : p[0];
            const int old = grey + here[x + 1];
            const bool black = old < 128;
            if (black) dots[y * rowBytes + x / 8] |= 0x80 >> (x % 8);
            const int error = old - (black ? 0 : 255);
            here[x + 2] += error * 7 / 16;
            below[x] += error * 3 / 16;
            below[x + 1] += error * 5 / 16;
            below[x + 2] += error * 1 / 16;
        }
        here.swap(below);
        std::fill(below.begin(), below.end(), 0);
    }
    for (int y = 0; y < height; y += 128) {
        const int rows = std::min(128, height - y);
        const char header[] = {0x1d, 'v', '0', 0, char(rowBytes), char(rowBytes >> 8), char(rows), char(rows >> 8)};
        job.append(header, sizeof header);
        job.append(reinterpret_cast<const char*>(&dots[y * rowBytes]), static_cast<std::size_t>(rows) * rowBytes);
    }
    for (int i = 4; i < argc; ++i) job += std::string(argv[i]) + "\r\n";
    job += "\x1bm";

    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<unsigned short>(std::atoi(argv[3])));
    if (inet_pton(AF_INET, argv[2], &to.sin_addr) != 1) return 2;
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) return 1;
    for (std::size_t sent = 0; sent < job.size();) {
        const ssize_t n = send(fd, job.data() + sent, job.size() - sent, 0);
        if (n <= 0) return 1;
        sent += static_cast<std::size_t>(n);
    }
    return close(fd) != 0;
}
