#pragma once

#include <string_view>

#include <orvik/Data.h>

namespace OrvikFramework::Testing {

// Expected byte streams written as readable sums: bytes({0x1b, '@'}) + text("Hi\r\n").
inline Data bytes(std::initializer_list<std::uint8_t> list) { return Data(list); }
inline Data text(std::string_view s) { return Data(s.begin(), s.end()); }
inline Data operator+(Data a, const Data& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

}  // namespace OrvikFramework::Testing
