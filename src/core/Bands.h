#pragma once

// Raster rows cut into the bands a GS v 0 command each carries.
#include <cstdint>
#include <vector>

#include <orvik/Data.h>

namespace OrvikFramework::Bands {

/// A run of consecutive rows.
struct Band {
    std::int64_t rows = 0;
    Data bytes;
};

/// Cuts rows of `rowBytes` each into bands of `bandRows`, the last one shorter when the height asks for it.
std::vector<Band> split(const Data& rows, std::int64_t rowBytes, std::int64_t bandRows);

}  // namespace OrvikFramework::Bands
