// Decoding in any chunking, and clean reports for broken, oversized and random input.
#include <random>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "core/BleFraming.h"
#include "core/Gzip.h"
#include "support/Bytes.h"
#include "vprinter/Decoder.h"

namespace OrvikFramework::VirtualPrinter {

void PrintTo(const Command& command, std::ostream* out) { *out << describe(command); }

namespace {

using ::testing::HasSubstr;

using Testing::text;
using Testing::operator+;

Data gzip(const Data& plain) { return *Gzip::gzipped(plain); }
Data frame(std::int64_t length) { return BleFraming::sizeAnnouncement(length); }
Data job(const Data& plain) { return frame(static_cast<std::int64_t>(gzip(plain).size())) + gzip(plain); }

std::vector<std::string> lines(const std::vector<Command>& commands) {
    std::vector<std::string> out;
    for (const Command& c : commands) out.push_back(describe(c));
    return out;
}

std::vector<std::string> errors(const std::vector<Command>& commands) {
    std::vector<std::string> out;
    for (const Command& c : commands)
        if (c.kind == Command::Kind::Error) out.push_back(c.message);
    return out;
}

std::vector<Command> decodeInChunks(const Data& stream, std::mt19937& random, Limits limits = {}) {
    Decoder decoder(limits);
    std::vector<Command> all;
    for (std::size_t pos = 0, n = 0; pos < stream.size(); pos += n) {
        n = std::min<std::size_t>(stream.size() - pos, random() % 9 + 1);
        decoder.feed(stream.data() + pos, n);
        for (Command& c : decoder.takeCommands()) all.push_back(std::move(c));
    }
    decoder.finish();
    for (Command& c : decoder.takeCommands()) all.push_back(std::move(c));
    return all;
}

// Every command the decoder knows, once, and a run of bytes it does not.
Data everyCommand() {
    const Data raster = {0x1D, 'v', '0', 0x00, 0x02, 0x00, 0x02, 0x00, 0xF0, 0x0F, 0xAA, 0x55};
    return text("\x1B@\x1B" "a1\x1B!\x09\x1B" "E\x01\x1B-\x02\x1Bt\x10\x1B" "3\x28\x1B" "2") +
           text("Caf\xC3\xA9\r\n\x1BJ\x05\x1B" "d\x02\x1Bm") + Data{0x1D, 'V', 0x00} + text("\x1DV\x42\x07\x1DV\x66") +
           text("\x1D!\x11\x1DH\x02\x1Dh\x50\x1Dw\x02") + text("\x1Dk\x04" "AB-1") + Data{0} +
           text("\x1Dk\x49\x05{B128") + raster + text("\x1Bz\x01\x02\x1D\x99\x10\x04\x01") + job(text("\x1B@zipped\r\n"));
}

TEST(DecoderTest, DecodesEveryCommandTheSameInAnyChunking) {
    const std::vector<std::string> expected = {
        "00000000 ESC @ initialize",
        "00000002 ESC a 49 alignment",
        "00000005 ESC ! 9 print mode",
        "00000008 ESC E 1 emphasized",
        "0000000B ESC - 2 underline",
        "0000000E ESC t 16 code table",
        "00000011 ESC 3 40 line spacing",
        "00000014 ESC 2 default line spacing",
        "00000016 text \"Café\"",
        "0000001B CR",
        "0000001C LF",
        "0000001D ESC J 5 feed dots",
        "00000020 ESC d 2 feed lines",
        "00000023 ESC m partial cut",
        "00000025 GS V 0 cut",
        "00000028 GS V 66 7 cut",
        "0000002C GS V 102 cut",
        "0000002F GS ! 17 character size",
        "00000032 GS H 2 HRI position",
        "00000035 GS h 80 barcode height",
        "00000038 GS w 2 barcode module width",
        "0000003B GS k 4 CODE39 \"AB-1\"",
        "00000043 GS k 73 CODE128 \"{B128\"",
        "0000004C GS v 0 0 raster 2x2 bytes",
        "00000058 unknown 1B 7A 01 02 1D 99",  // unknown bytes next to each other are reported together
        "0000005E DLE EOT 1 status request",
        "00000061 compressed job of 30 bytes",
        "z00000000 ESC @ initialize",
        "z00000002 text \"zipped\"",
        "z00000008 CR",
        "z00000009 LF",
    };
    const Data stream = everyCommand();
    ASSERT_EQ(lines(decodeAll(stream)), expected);
    std::mt19937 random(7);
    for (int round = 0; round < 20; ++round) EXPECT_EQ(decodeInChunks(stream, random), decodeAll(stream));
}

TEST(DecoderTest, AnswersStatusRequestsOnTheReplyPath) {
    Decoder decoder;
    Data replies;
    decoder.setReplySink([&](const Data& r) { replies.insert(replies.end(), r.begin(), r.end()); });
    decoder.feed(text("\x10\x04\x01\x10\x04") + Data{0x04} + text("\x10\x04\x09") + job(text("\x10\x04\x02")));
    decoder.finish();
    EXPECT_EQ(replies, (Data{0x12, 0x12, 0x12}));
    EXPECT_THAT(errors(decoder.takeCommands()), ::testing::ElementsAre(HasSubstr("unknown status kind 9")));
}

TEST(DecoderTest, ReportsBrokenInputAndCarriesOn) {
    const Data tail = text("after\r\n");
    const Data zipped = gzip(text("inside\r\n"));
    Data corrupt = zipped;
    corrupt[12] ^= 0xFF;
    corrupt[13] ^= 0xFF;
    Data megabyteOfLines(1 << 20, 'z');
    for (std::size_t i = 63; i < megabyteOfLines.size(); i += 64) megabyteOfLines[i] = '\n';
    const struct {
        std::string name;
        Data stream;
        std::vector<std::string> errors;
        std::string survivor = {};  // a command that must still be decoded after the damage
        Limits limits = {};
    } cases[] = {
        {"TruncatedRaster", Data{0x1D, 'v', '0', 0, 1, 0, 4, 0, 0xFF}, {"stream ended inside a command: 1D 76 30"}},
        {"HugeRasterIsSkippedNotBuffered", Data{0x1D, 'v', '0', 0x00, 0xFF, 0xFF, 0xFF, 0xFF} + Data(1000, 0xFF),
         {"raster image 65535x65535 bytes exceeds the 1152000-byte image limit; its 4294836225 data bytes skipped",
          "stream ended 4294835225 bytes before the end of raster image data"}},
        {"RasterWithUnknownModeSkipsItsData", Data{0x1D, 'v', '0', 9, 1, 0, 2, 0, 0x41, 0x42} + tail,
         {"raster image 1x2 bytes with unknown mode 9; its 2 data bytes skipped"}, "text \"after\""},
        {"FrameLongerThanItsGzip", frame(static_cast<std::int64_t>(zipped.size()) + 50) + zipped + tail,
         {"compressed job's gzip member is " + std::to_string(zipped.size()) + " bytes, announced " +
          std::to_string(zipped.size() + 50)},
         "text \"after\""},
        {"FrameShorterThanItsGzip", frame(3) + zipped + tail,
         {"compressed job's gzip member is " + std::to_string(zipped.size()) + " bytes, announced 3"},
         "text \"after\""},
        {"FrameWithZeroLength", frame(0) + zipped + tail,
         {"compressed job length 0 is outside 1..33554432",
          "compressed job's gzip member is " + std::to_string(zipped.size()) + " bytes, announced 0"},
         "text \"after\""},
        {"CorruptGzip", frame(static_cast<std::int64_t>(corrupt.size())) + corrupt + tail,
         {"corrupt gzip data at job byte"}, "text \"after\""},
        {"NotGzipAtAll", frame(4) + text("abcd") + tail, {"corrupt gzip data at job byte"}, "text \"after\""},
        {"GzipCutShort", frame(static_cast<std::int64_t>(zipped.size())) + Data(zipped.begin(), zipped.begin() + 15),
         {"stream ended inside a compressed job after 15 of"}},
        {"BarcodeWithoutNul", text("\x1Dk\x04") + Data(300, 'A'),
         {"GS k 4 data has no NUL end within 255 bytes; header skipped"}, "text \"AAAA"},
        {"UnknownBarcodeSystem", text("\x1Dk\x20") + tail, {"GS k with unknown barcode system 32"}, "text \"after\""},
        {"UnknownCutMode", text("\x1DV\x07") + tail, {"GS V with unknown cut mode 7"}, "text \"after\""},
        {"LongLineIsSplit", Data(5000, 'x') + tail, {"text line longer than 4096 bytes; split here"}, "after\""},
        // Exactly the first 64 KiB are decoded, and reported alike, however the job arrives.
        {"JobInflatingBeyondTheLimit", job(megabyteOfLines) + tail, {"inflates beyond the 65536-byte job limit"},
         "text \"after\"", {.largestJob = 1 << 16}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<Command> decoded = decodeAll(c.stream, c.limits);
        const std::vector<std::string> found = errors(decoded);
        ASSERT_EQ(found.size(), c.errors.size()) << ::testing::PrintToString(found);
        for (std::size_t i = 0; i < found.size(); ++i) EXPECT_THAT(found[i], HasSubstr(c.errors[i]));
        if (!c.survivor.empty()) {
            EXPECT_THAT(lines(decoded), ::testing::Contains(HasSubstr(c.survivor)));
        }
        std::mt19937 random(3);
        EXPECT_EQ(decodeInChunks(c.stream, random, c.limits), decoded);
    }
}

TEST(DecoderTest, RandomAndTruncatedStreamsDecodeAlikeInAnyChunking) {
    std::mt19937 random(42);
    const Data valid = everyCommand();
    const Limits small{.largestImage = 4096, .largestJob = 1 << 16};
    for (int round = 0; round < 200; ++round) {
        Data stream(static_cast<std::size_t>(random() % 2048));
        // Mostly command bytes, so that the command paths see random parameters.
        for (std::uint8_t& b : stream) b = random() % 3 ? static_cast<std::uint8_t>(random()) : std::uint8_t{0x1D};
        if (round % 2) stream = Data(valid.begin(), valid.begin() + static_cast<long>(random() % valid.size()));
        const std::vector<Command> whole = decodeAll(stream, small);
        EXPECT_EQ(decodeInChunks(stream, random, small), whole) << "round " << round;
        std::size_t covered = 0;
        for (const Command& c : whole) covered = std::max<std::size_t>(covered, c.compressed ? 0 : c.offset);
        EXPECT_LE(covered, stream.size());
    }
}

}  // namespace
}  // namespace OrvikFramework::VirtualPrinter
