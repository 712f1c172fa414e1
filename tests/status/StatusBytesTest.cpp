// Status requests on the wire and the decoding of the printer's answers.
#include <gtest/gtest.h>

#include "core/StatusBytes.h"

namespace OrvikFramework {
namespace {

TEST(StatusBytesTest, RequestsAreDleEotWithTheKind) {
    for (std::uint8_t kind = 1; kind <= 4; ++kind) EXPECT_EQ(StatusBytes::request(kind), (Data{0x10, 0x04, kind}));
}

TEST(StatusBytesTest, DecodesEachConditionFromItsBits) {
    const std::pair<Data, PrinterStatus> cases[] = {
        {{0x12, 0x12, 0x12, 0x12}, {}},
        {{0x1A, 0x16, 0x12, 0x12}, {.online = false, .coverOpen = true}},
        {{0x12, 0x12, 0x12, 0x16}, {.paperNearEnd = true}},  // either near-end bit counts
        {{0x12, 0x12, 0x12, 0x1A}, {.paperNearEnd = true}},
        {{0x12, 0x12, 0x12, 0x52}, {.paperEnd = true}},  // either paper-end bit, or the stop it caused
        {{0x1A, 0x32, 0x12, 0x12}, {.online = false, .paperEnd = true}},
        {{0x1A, 0x52, 0x12, 0x12}, {.online = false, .error = true}},
        {{0x12, 0x12, 0x1A, 0x12}, {.error = true}},  // cutter, unrecoverable, auto-recoverable
        {{0x12, 0x12, 0x32, 0x12}, {.error = true}},
        {{0x12, 0x12, 0x52, 0x12}, {.error = true}},
        {{0x16, 0x1A, 0x12, 0x12}, {}},  // drawer pin and feed button do not stop printing
    };
    for (auto [answers, expected] : cases) {
        expected.raw = answers;
        EXPECT_EQ(StatusBytes::decode(answers), expected) << testing::PrintToString(answers);
    }
}

TEST(StatusBytesTest, AnythingButFourStatusBytesIsNoStatus) {
    // Too few, too many, an echoed request, NUL, bit 7 set, bit 4 clear.
    const Data cases[] = {{}, {0x12, 0x12, 0x12}, {0x12, 0x12, 0x12, 0x12, 0x12}, {0x10, 0x12, 0x12, 0x12},
                          {0x12, 0x00, 0x12, 0x12}, {0x12, 0x12, 0x92, 0x12}, {0x12, 0x12, 0x12, 0x02}};
    for (const Data& answers : cases) EXPECT_EQ(StatusBytes::decode(answers), std::nullopt) << answers.size();
}

}  // namespace
}  // namespace OrvikFramework
