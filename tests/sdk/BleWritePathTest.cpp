// What the SDK object's four Bluetooth write operations log and hand to the printer.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <orvik/OrvikFramework.h>

#include "support/Bytes.h"
#include "support/SdkFixtures.h"

namespace OrvikFramework {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

class BleWritePath : public Testing::SimulatedSdk {
protected:
    void SetUp() override { ASSERT_TRUE(connectPrinter()); }
};

TEST_F(BleWritePath, PiecesAndTheirLogLinesFollowMtuAndTheGzipAnnouncement) {
    const Data announce3{0x1B, 0xFF, 0xFA, 0x03, 0, 0, 0, 0, 0, 0, 0};
    std::string hex512;  // the log line of a whole 512-byte piece
    while (hex512.size() < 1024) hex512 += "ab";
    struct Case {
        std::int64_t mtu;
        Data buffer;
        std::vector<Data> writes;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {512, Data(1025, 0xAB), {Data(512, 0xAB), Data(512, 0xAB), {0xAB}},
         {hex512, "\"Send Size : 512\"", hex512, "\"Send Size : 512\"", "ab", "\"Send Size : 1\""}},
        {4, {1, 2, 3, 4}, {{1, 2, 3, 4}}, {"01020304", "\"Send Size : 4\""}},
        {3, {1, 2, 3, 4}, {{1, 2, 3}, {4}}, {"010203", "\"Send Size : 3\"", "04", "\"Send Size : 1\""}},
        {0, {0xAA, 0xBB}, {{0xAA}, {0xBB}}, {"aa", "\"Send Size : 1\"", "bb", "\"Send Size : 1\""}},
        {-3, {0xAA}, {{0xAA}}, {"aa", "\"Send Size : 1\""}},
        {512, {}, {}, {}},
        {512, {0x1F, 0x8B, 0x08}, {announce3, {0x1F, 0x8B, 0x08}}, {"\"Send Size : 11\"", "1f8b08", "\"Send Size : 3\""}},
        {2, {0x1F, 0x8B, 0x08}, {announce3, {0x1F, 0x8B}, {0x08}},
         {"\"Send Size : 11\"", "1f8b", "\"Send Size : 2\"", "08", "\"Send Size : 1\""}},
    };
    for (const Case& c : cases) {
        link.writes.clear();
        log.clear();
        sdk.MTU = c.mtu;
        sdk.BLESend(c.buffer);
        EXPECT_EQ(link.writes, c.writes) << "MTU " << c.mtu;
        EXPECT_EQ(log.lines(), c.lines) << "MTU " << c.mtu;
    }
}

// Text is cut by characters (the cutting is table-tested with the framing), single writes not at all; neither logs.
TEST_F(BleWritePath, TextAndSingleWritesNeedTheCharacteristicAndTheRecord) {
    const std::string thumbsUpDark = "\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBF";
    sdk.MTU = 1;
    sdk.BLESend(std::string_view(thumbsUpDark + "!"));
    sdk.BLESend(Data{1, 2, 3}, CharacteristicWriteType::withoutResponse);
    sdk.BLESend(Data{}, CharacteristicWriteType::withResponse);
    sdk.BLESend(std::string_view("xyz"), CharacteristicWriteType::withResponse);
    EXPECT_THAT(link.writes, ElementsAreArray({Testing::text(thumbsUpDark), Data{'!'}, Data{1, 2, 3}, Data{}, Data{'x', 'y', 'z'}}));
    EXPECT_TRUE(log.lines().empty());

    link.writes.clear();
    sdk.MTU = 512;
    sdk.BLEDevice.reset();
    sdk.BLESend(Data{0x1B, 0x40});
    sdk.BLESend(std::string_view("x"), CharacteristicWriteType::withoutResponse);
    EXPECT_TRUE(link.writes.empty());
    EXPECT_THAT(log.lines(), ElementsAre("1b40", "\"Send Size : 2\""));

    log.clear();
    sdk.RXCharacteristic.reset();
    sdk.BLESend(Data{0x1F, 0x8B});
    sdk.BLESend(std::string_view("x"));
    EXPECT_TRUE(log.lines().empty());
}

}  // namespace
}  // namespace OrvikFramework
