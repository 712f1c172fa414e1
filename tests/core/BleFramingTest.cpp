// Character cutting of the Bluetooth write path.
#include <gtest/gtest.h>

#include <tuple>

#include "core/BleFraming.h"

namespace OrvikFramework {
namespace {

TEST(BleFraming, TextIsCutByUserPerceivedCharactersKeepingEveryByte) {
    const std::string thumbsUpDark = "\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBF";  // U+1F44D U+1F3FF
    const std::string eAcute = "\xC3\xA9";
    const std::string eCombining = "e\xCC\x81";                      // e + U+0301
    const std::string flag = "\xF0\x9F\x87\xB3\xF0\x9F\x87\xB4";     // regional indicators N O
    // The text, the MTU, the pieces.
    const std::tuple<std::string, std::int64_t, std::vector<std::string>> cases[] = {
        {"abcde", 2, {"ab", "cd", "e"}},
        {"abc", 3, {"abc"}},
        {eAcute, 1, {eAcute}},
        {thumbsUpDark + "a", 1, {thumbsUpDark, "a"}},
        {"a" + thumbsUpDark + eCombining + flag, 2, {"a" + thumbsUpDark, eCombining + flag}},
        {"\r\nx", 1, {"\r\n", "x"}},
        {"abc", 0, {"a", "b", "c"}},
        {"ab", -1, {"a", "b"}},
        {"", 0, {""}},
        {"", -1, {}},
        {"a\xFF\xC3z", 1, {"a", "\xFF", "\xC3", "z"}},  // invalid UTF-8 loses no byte
    };
    for (const auto& [text, mtu, expected] : cases) {
        const auto pieces = BleFraming::textPieces(text, mtu);
        EXPECT_EQ(std::vector<std::string>(pieces.begin(), pieces.end()), expected) << text << " at MTU " << mtu;
    }
}

}  // namespace
}  // namespace OrvikFramework
