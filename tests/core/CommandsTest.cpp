#include <gtest/gtest.h>

#include "core/Commands.h"
#include "core/LogFormat.h"

namespace OrvikFramework {
namespace {

TEST(LogFormat, QuotesAndEscapes) {
    EXPECT_EQ(LogFormat::quoted(""), R"("")");
    EXPECT_EQ(LogFormat::quoted("Connect : printer"), R"("Connect : printer")");
    EXPECT_EQ(LogFormat::quoted("a\"b\\c"), R"("a\"b\\c")");
    EXPECT_EQ(LogFormat::quoted("l1\nl2\r\t"), R"("l1\nl2\r\t")");
    EXPECT_EQ(LogFormat::quoted(std::string_view("\0\x1b\x7f", 3)), R"("\0\u{1B}\u{7F}")");
    EXPECT_EQ(LogFormat::quoted("Caf\xC3\xA9"), "\"Caf\xC3\xA9\"");  // UTF-8 passes unchanged
}

}  // namespace
}  // namespace OrvikFramework
