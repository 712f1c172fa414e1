#pragma once

#include <string_view>

#include <orvik/Data.h>

namespace OrvikFramework::Testing {

// The bytes of a literal; a NUL inside a literal ends it, so NULs are appended as Data{0}.
inline Data bytes(std::string_view text) { return Data(text.begin(), text.end()); }

inline Data operator+(Data a, const Data& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

}  // namespace OrvikFramework::Testing
