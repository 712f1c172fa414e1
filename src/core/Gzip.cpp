#include "core/Gzip.h"

#include <algorithm>
#include <climits>

#include <zlib.h>

namespace OrvikFramework::Gzip {
namespace {

// Window bits 15 plus 16 select zlib's gzip wrapper instead of the zlib one.
constexpr int gzipWindowBits = 15 + 16;
constexpr int defaultMemLevel = 8;
constexpr std::size_t outputStep = 64 * 1024;

}  // namespace

std::optional<Data> gzipped(const Data& data, int level) {
    if (data.empty()) return Data{};
    z_stream stream{};
    if (deflateInit2(&stream, level, Z_DEFLATED, gzipWindowBits, defaultMemLevel, Z_DEFAULT_STRATEGY) != Z_OK) {
        return std::nullopt;
    }
    Data out;
    std::size_t consumed = 0;
    int status = Z_OK;
    // zlib counts in 32-bit units, so very large buffers go in and come out in steps.
    while (status == Z_OK) {
        if (stream.avail_in == 0 && consumed < data.size()) {
            const std::size_t step = std::min<std::size_t>(data.size() - consumed, UINT_MAX);
            stream.next_in = const_cast<Bytef*>(data.data() + consumed);
            stream.avail_in = static_cast<uInt>(step);
            consumed += step;
        }
        const std::size_t before = out.size();
        out.resize(before + outputStep);
        stream.next_out = out.data() + before;
        stream.avail_out = static_cast<uInt>(outputStep);
        status = deflate(&stream, consumed == data.size() ? Z_FINISH : Z_NO_FLUSH);
        out.resize(out.size() - stream.avail_out);
        // Z_BUF_ERROR only says no progress was possible this round; more output room cures it.
        if (status == Z_BUF_ERROR) status = Z_OK;
    }
    deflateEnd(&stream);
    if (status != Z_STREAM_END) return std::nullopt;
    return out;
}

bool isGzipped(const Data& data) { return data.size() >= 2 && data[0] == 0x1F && data[1] == 0x8B; }

}  // namespace OrvikFramework::Gzip
