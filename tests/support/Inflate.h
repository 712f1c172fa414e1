#pragma once

#include <optional>

#include <zlib.h>

#include <orvik/Data.h>

namespace OrvikFramework::Testing {

// Decompresses exactly one gzip member with zlib; absent when the bytes are not one complete, intact member.
inline std::optional<Data> gunzip(const Data& compressed) {
    z_stream stream{};
    if (inflateInit2(&stream, 15 + 16) != Z_OK) return std::nullopt;
    stream.next_in = const_cast<Bytef*>(compressed.data());
    stream.avail_in = static_cast<uInt>(compressed.size());
    Data out;
    int status = Z_OK;
    while (status == Z_OK) {
        std::uint8_t chunk[16384];
        stream.next_out = chunk;
        stream.avail_out = sizeof chunk;
        status = inflate(&stream, Z_NO_FLUSH);
        out.insert(out.end(), chunk, chunk + (sizeof chunk - stream.avail_out));
    }
    const bool whole = status == Z_STREAM_END && stream.avail_in == 0;
    inflateEnd(&stream);
    if (!whole) return std::nullopt;
    return out;
}

}  // namespace OrvikFramework::Testing
