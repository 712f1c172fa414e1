// Status requests on the wire and the decoding of the printer's answers.
#include <gtest/gtest.h>

#include "core/StatusBytes.h"

namespace OrvikFramework {
namespace {

TEST(StatusBytesTest, RequestsAreDleEotWithTheKind) {
    for (std::uint8_t kind = 1; kind <= 4; ++kind) EXPECT_EQ(StatusBytes::request(kind), (Data{0x10, 0x04, kind}));
}

TEST(StatusBytesTest, DecodesEachConditionFromItsBits) {
    struct Case {
        const char* name;
        Data answers;
        bool online, coverOpen, paperNearEnd, paperEnd, error, canPrint;
    };
    const Case cases[] = {
        {"ready", {0x12, 0x12, 0x12, 0x12}, true, false, false, false, false, true},
        {"off-line", {0x1A, 0x12, 0x12, 0x12}, false, false, false, false, false, false},
        {"cover open", {0x1A, 0x16, 0x12, 0x12}, false, true, false, false, false, false},
        {"near end, one sensor bit", {0x12, 0x12, 0x12, 0x16}, true, false, true, false, false, true},
        {"near end, other sensor bit", {0x12, 0x12, 0x12, 0x1A}, true, false, true, false, false, true},
        {"paper out on the sensor", {0x1A, 0x12, 0x12, 0x52}, false, false, false, true, false, false},
        {"stopped by paper end", {0x1A, 0x32, 0x12, 0x12}, false, false, false, true, false, false},
        {"error occurred", {0x1A, 0x52, 0x12, 0x12}, false, false, false, false, true, false},
        {"cutter error", {0x12, 0x12, 0x1A, 0x12}, true, false, false, false, true, false},
        {"unrecoverable error", {0x12, 0x12, 0x32, 0x12}, true, false, false, false, true, false},
        {"auto-recoverable error", {0x12, 0x12, 0x52, 0x12}, true, false, false, false, true, false},
        // The drawer pin and the feed button say nothing about printing.
        {"drawer pin high, feed button", {0x16, 0x1A, 0x12, 0x12}, true, false, false, false, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto status = StatusBytes::decode(c.answers);
        ASSERT_TRUE(status.has_value());
        EXPECT_EQ(status->online, c.online);
        EXPECT_EQ(status->coverOpen, c.coverOpen);
        EXPECT_EQ(status->paperNearEnd, c.paperNearEnd);
        EXPECT_EQ(status->paperEnd, c.paperEnd);
        EXPECT_EQ(status->error, c.error);
        EXPECT_EQ(status->canPrint(), c.canPrint);
        EXPECT_EQ(status->raw, c.answers);
    }
}

TEST(StatusBytesTest, AnythingButFourStatusBytesIsNoStatus) {
    const Data notStatus[] = {{}, {0x12, 0x12, 0x12}, {0x12, 0x12, 0x12, 0x12, 0x12},
                              // an echoed request, a NUL, a byte with bit 7 set, one without bit 4
                              {0x10, 0x12, 0x12, 0x12}, {0x12, 0x00, 0x12, 0x12}, {0x12, 0x12, 0x92, 0x12},
                              {0x12, 0x12, 0x12, 0x02}};
    for (const Data& answers : notStatus) EXPECT_FALSE(StatusBytes::decode(answers).has_value()) << answers.size();
}

}  // namespace
}  // namespace OrvikFramework
