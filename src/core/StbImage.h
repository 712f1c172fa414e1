#pragma once

// The one copy of the picture decoder, kept behind these calls so its symbols never meet an application's own copy.
#include <cstdint>
#include <optional>
#include <string>

#include <orvik/Data.h>

namespace OrvikFramework::StbImage {

struct Pixels {
    int width = 0;
    int height = 0;
    /// `channels` bytes per pixel, top row first.
    Data bytes;
};

/// Width and height (either may be 0) of a PNG, JPEG, GIF or BMP picture in memory, read from its header; nullopt
/// with `error` set when it is none of these.
std::optional<Pixels> probe(const Data& encoded, std::string& error);

/// The picture decoded to `channels` (1-4) bytes per pixel; nullopt with `error` set when it cannot be decoded, has
/// no pixels or more than `maxPixels` (checked before decoding, so a forged header cannot make it allocate).
std::optional<Pixels> decode(const Data& encoded, int channels, std::int64_t maxPixels, std::string& error);

}  // namespace OrvikFramework::StbImage
