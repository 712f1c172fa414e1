#include "core/Bands.h"

#include <algorithm>

namespace OrvikFramework::Bands {

std::vector<Band> split(const Data& rows, std::int64_t rowBytes, std::int64_t bandRows) {
    std::vector<Band> result;
    if (rowBytes <= 0 || bandRows <= 0) return result;
    const std::int64_t height = static_cast<std::int64_t>(rows.size()) / rowBytes;
    for (std::int64_t top = 0; top < height; top += bandRows) {
        const std::int64_t count = std::min(bandRows, height - top);
        const auto begin = rows.begin() + top * rowBytes;
        result.push_back({count, Data(begin, begin + count * rowBytes)});
    }
    return result;
}

}  // namespace OrvikFramework::Bands
