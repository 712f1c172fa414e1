#pragma once

// The PNGs most pictures are (8 bits a sample, not interlaced, grey or colour, with or without alpha, no colour key)
// read a row at a time: the file in bounded pieces, the image data inflated with ISA-L and unfiltered into one row.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/ImageConvert.h"

struct inflate_state;

namespace OrvikFramework::ImageConvert {

class PngRows {
public:
    /// Absent when `source` is not such a PNG; the caller decodes it whole then.
    static std::unique_ptr<PngRows> open(Source& source);
    ~PngRows();

    int width() const { return width_; }
    int height() const { return height_; }
    /// Samples a pixel: 1 grey, 2 grey and alpha, 3 red, green and blue, 4 with alpha.
    int channels() const { return channels_; }

    /// The next row's samples, or null with `error` set when the image data is corrupt or ends early.
    const std::uint8_t* next(std::string& error);

private:
    PngRows(Source& source, int width, int height, int channels, std::uint64_t firstChunk);
    bool fillInput();

    Source& source_;
    int width_, height_, channels_;
    std::uint64_t next_;           // the chunk after the one being read, at its length field
    std::uint64_t at_ = 0;         // the next byte of image data to read
    std::uint32_t chunkLeft_ = 0;  // bytes of the current image-data chunk not yet read
    std::unique_ptr<inflate_state> inflater_;
    std::vector<std::uint8_t> input_;
    std::vector<std::uint8_t> row_, previous_;  // each with the filter-type byte first
};

}  // namespace OrvikFramework::ImageConvert
