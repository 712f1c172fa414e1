#pragma once

#include <string_view>
#include <vector>

#include <orvik/Data.h>

namespace OrvikFramework::Testing {

// Expected byte streams written as readable sums: bytes({0x1b, '@'}) + text("Hi\r\n"). A NUL ends a literal,
// so NULs go in as Data{0}.
inline Data bytes(std::initializer_list<std::uint8_t> list) { return Data(list); }
inline Data text(std::string_view s) { return Data(s.begin(), s.end()); }
inline Data operator+(Data a, const Data& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The pieces one after another, as the printer sees them.
inline Data joined(const std::vector<Data>& pieces) {
    Data all;
    for (const Data& piece : pieces) all.insert(all.end(), piece.begin(), piece.end());
    return all;
}

}  // namespace OrvikFramework::Testing
