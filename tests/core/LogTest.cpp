#include <gtest/gtest.h>

#include <orvik/Log.h>

namespace OrvikFramework {
namespace {

// Plain and quoted text are checked through the log lines of the operations that write them.
TEST(Log, DebugFormEscapesControlCharactersAndKeepsUtf8) {
    EXPECT_EQ(Log::debugForm(std::string_view("l1\nl2\r\t")), R"("l1\nl2\r\t")");
    EXPECT_EQ(Log::debugForm(std::string_view("\0\x1b\x7f", 3)), R"("\0\u{1B}\u{7F}")");
    EXPECT_EQ(Log::debugForm(std::string_view("Caf\xC3\xA9")), "\"Caf\xC3\xA9\"");
}

}  // namespace
}  // namespace OrvikFramework
