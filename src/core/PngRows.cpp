#include "core/PngRows.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <optional>

#include <isa-l/igzip_lib.h>

#include "core/PictureFiles.h"

namespace OrvikFramework::ImageConvert {
namespace {

constexpr std::size_t inputPiece = 64 * 1024;
using PictureFiles::bigEndian32;

struct ChunkHeader {
    std::uint32_t length = 0;
    char type[4] = {};
    bool is(const char* name) const { return std::memcmp(type, name, 4) == 0; }
};

// A chunk's length and type; absent when the file ends there or the length is out of the format's range.
std::optional<ChunkHeader> chunkAt(Source& source, std::uint64_t at) {
    std::uint8_t bytes[8];
    if (!source.read(at, bytes, sizeof bytes)) return std::nullopt;
    ChunkHeader header{bigEndian32(bytes), {}};
    if (header.length > INT_MAX) return std::nullopt;
    std::memcpy(header.type, bytes + 4, 4);
    return header;
}

int channelsOf(std::uint8_t colourType) {
    switch (colourType) {
        case 0: return 1;
        case 2: return 3;
        case 4: return 2;
        case 6: return 4;
        default: return 0;  // palette or invalid
    }
}

std::uint8_t paeth(int left, int up, int upLeft) {
    const int pa = std::abs(up - upLeft), pb = std::abs(left - upLeft), pc = std::abs(left + up - 2 * upLeft);
    return static_cast<std::uint8_t>(pa <= pb && pa <= pc ? left : pb <= pc ? up : upLeft);
}

// Undoes the row's filter in place against the row above (zeros above the first); false for an unknown filter.
bool unfilter(std::uint8_t* row, const std::uint8_t* above, std::size_t length, std::size_t step) {
    const std::uint8_t filter = row[0];
    std::uint8_t* r = row + 1;
    const std::uint8_t* u = above + 1;
    switch (filter) {
        case 0: return true;
        case 1:
            for (std::size_t i = step; i < length; ++i) r[i] = static_cast<std::uint8_t>(r[i] + r[i - step]);
            return true;
        case 2:
            for (std::size_t i = 0; i < length; ++i) r[i] = static_cast<std::uint8_t>(r[i] + u[i]);
            return true;
        case 3:
            for (std::size_t i = 0; i < step; ++i) r[i] = static_cast<std::uint8_t>(r[i] + (u[i] >> 1));
            for (std::size_t i = step; i < length; ++i) r[i] = static_cast<std::uint8_t>(r[i] + ((r[i - step] + u[i]) >> 1));
            return true;
        case 4:
            for (std::size_t i = 0; i < step; ++i) r[i] = static_cast<std::uint8_t>(r[i] + u[i]);
            for (std::size_t i = step; i < length; ++i)
                r[i] = static_cast<std::uint8_t>(r[i] + paeth(r[i - step], u[i], u[i - step]));
            return true;
        default: return false;
    }
}

}  // namespace

std::unique_ptr<PngRows> PngRows::open(Source& source) {
    // Signature, then the header chunk: length, type and 13 bytes of fields.
    std::uint8_t head[29];
    if (!source.read(0, head, sizeof head) || std::memcmp(head, PictureFiles::pngSignature, 8) != 0 || bigEndian32(head + 8) != 13 ||
        std::memcmp(head + 12, "IHDR", 4) != 0) {
        return nullptr;
    }
    const std::uint32_t width = bigEndian32(head + 16), height = bigEndian32(head + 20);
    const std::uint8_t depth = head[24], colourType = head[25], compression = head[26], filter = head[27],
                       interlace = head[28];
    const int channels = channelsOf(colourType);
    if (width == 0 || height == 0 || width > INT_MAX || height > INT_MAX || depth != 8 || channels == 0 ||
        compression != 0 || filter != 0 || interlace != 0) {
        return nullptr;
    }
    // Up to the first image data; a colour key (tRNS) needs the whole-picture decoder.
    for (std::uint64_t at = sizeof head + 4;;) {
        const std::optional<ChunkHeader> chunk = chunkAt(source, at);
        if (!chunk || chunk->is("tRNS") || chunk->is("IEND")) return nullptr;
        if (chunk->is("IDAT"))
            return std::unique_ptr<PngRows>(
                new PngRows(source, static_cast<int>(width), static_cast<int>(height), channels, at));
        at += 12 + std::uint64_t{chunk->length};
    }
}

PngRows::PngRows(Source& source, int width, int height, int channels, std::uint64_t firstChunk)
    : source_(source), width_(width), height_(height), channels_(channels), next_(firstChunk),
      inflater_(std::make_unique<inflate_state>()), input_(inputPiece),
      row_(1 + static_cast<std::size_t>(width) * channels), previous_(row_.size()) {
    isal_inflate_init(inflater_.get());
    inflater_->crc_flag = ISAL_ZLIB;
}

PngRows::~PngRows() = default;

// The next piece of image data into the inflater's input; false when the image-data chunks have ended.
bool PngRows::fillInput() {
    while (chunkLeft_ == 0) {
        const std::optional<ChunkHeader> chunk = chunkAt(source_, next_);
        if (!chunk || !chunk->is("IDAT")) return false;
        at_ = next_ + 8;
        chunkLeft_ = chunk->length;
        next_ = at_ + chunk->length + 4;
    }
    const std::size_t count = std::min<std::size_t>(chunkLeft_, input_.size());
    if (!source_.read(at_, input_.data(), count)) return false;
    at_ += count;
    chunkLeft_ -= static_cast<std::uint32_t>(count);
    inflater_->next_in = input_.data();
    inflater_->avail_in = static_cast<std::uint32_t>(count);
    return true;
}

const std::uint8_t* PngRows::next(std::string& error) {
    std::size_t filled = 0;
    for (;;) {
        inflater_->next_out = row_.data() + filled;
        inflater_->avail_out = static_cast<std::uint32_t>(row_.size() - filled);
        const std::uint32_t inputBefore = inflater_->avail_in;
        const int status = isal_inflate(inflater_.get());
        const std::size_t made = row_.size() - filled - inflater_->avail_out;
        filled += made;
        if (status != ISAL_DECOMP_OK) {
            error = "cannot decode picture (corrupt image data)";
            return nullptr;
        }
        if (filled == row_.size()) break;
        const bool stalled = made == 0 && inflater_->avail_in == inputBefore && inputBefore > 0;
        if (stalled || inflater_->block_state == ISAL_BLOCK_FINISH || (inflater_->avail_in == 0 && !fillInput())) {
            error = "cannot decode picture (image data ends early)";
            return nullptr;
        }
    }
    if (!unfilter(row_.data(), previous_.data(), row_.size() - 1, static_cast<std::size_t>(channels_))) {
        error = "cannot decode picture (unknown row filter)";
        return nullptr;
    }
    row_.swap(previous_);
    return previous_.data() + 1;
}

}  // namespace OrvikFramework::ImageConvert
