#include "support/LogCapture.h"

#include <algorithm>

namespace OrvikFramework::Testing {

bool LogCapture::contains(const std::string& line) const {
    return std::find(lines_.begin(), lines_.end(), line) != lines_.end();
}

}  // namespace OrvikFramework::Testing
