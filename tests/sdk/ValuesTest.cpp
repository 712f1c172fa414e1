// The enums' raw values and the UUID text forms that printers and callers rely on.
#include <string>

#include <gtest/gtest.h>

#include <orvik/OrvikFramework.h>

namespace OrvikFramework {
namespace {

TEST(Enums, OnlyTheRawValueOfACaseMakesOne) {
    for (int raw = 0; raw < 256; ++raw) {
        const auto alignment = makeALIGNMENT(static_cast<std::uint8_t>(raw));
        const auto position = makeBARCODE_HRI_POS(static_cast<std::uint8_t>(raw));
        EXPECT_EQ(alignment ? rawValue(*alignment) : -1, raw >= 48 && raw <= 50 ? raw : -1);
        EXPECT_EQ(position ? rawValue(*position) : -1, raw <= 2 ? raw : -1);
    }
}

TEST(BluetoothUUID, ParsesLongAndShortFormsAndComparesAsValues) {
    const std::pair<std::string, std::string> good[] = {
        {"6e400001-b5a3-f393-e0a9-e50e24dcca9e", "6E400001-B5A3-F393-E0A9-E50E24DCCA9E"},
        {"180A", "0000180A-0000-1000-8000-00805F9B34FB"},
        {"12345678", "12345678-0000-1000-8000-00805F9B34FB"},
    };
    for (const auto& [text, written] : good) {
        const auto uuid = BluetoothUUID::parse(text);
        ASSERT_TRUE(uuid) << text;
        EXPECT_EQ(uuid->uuidString(), written);
        EXPECT_EQ(*uuid, *BluetoothUUID::parse(written));
    }
    EXPECT_NE(*BluetoothUUID::parse("180A"), *BluetoothUUID::parse("180B"));
    for (const std::string bad : {"", "18A", "180G", "6E400001B5A3-F393-E0A9-E50E24DCCA9E-", "6E400001-B5A3-F393-E0A9-E50E24DCCA9",
                                  "6E400001-B5A3-F393-E0A9-E50E24DCCA9EF", "6E400001-B5A3+F393-E0A9-E50E24DCCA9E",
                                  "6E40000 -B5A3-F393-E0A9-E50E24DCCA9E"}) {
        EXPECT_FALSE(BluetoothUUID::parse(bad)) << bad;
    }
}

}  // namespace
}  // namespace OrvikFramework
