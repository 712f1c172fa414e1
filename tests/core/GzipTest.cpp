#include <random>

#include <gtest/gtest.h>

#include "core/Gzip.h"
#include "support/Inflate.h"

namespace OrvikFramework {
namespace {

Data sample(std::size_t size, bool repetitive) {
    std::mt19937 random(static_cast<unsigned>(size));
    Data bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = repetitive ? static_cast<std::uint8_t>(i % 7) : random() & 0xFF;
    return bytes;
}

TEST(Gzip, RoundTripsThroughZlibAsOneGzipMemberThatOnlyItsMagicMarks) {
    for (const std::size_t size : {1u, 2u, 511u, 65536u, 65537u, 300000u}) {
        for (const bool repetitive : {true, false}) {
            const Data input = sample(size, repetitive);
            const std::optional<Data> compressed = Gzip::gzipped(input);
            ASSERT_TRUE(compressed) << size;
            EXPECT_TRUE(Gzip::isGzipped(*compressed));
            EXPECT_EQ(Testing::gunzip(*compressed), input) << size << (repetitive ? " repetitive" : " random");
        }
    }
    EXPECT_EQ(Gzip::gzipped({}), Data{});
    EXPECT_FALSE(Gzip::gzipped({1, 2, 3}, 42)) << "a level zlib does not have";
    for (const Data& other : {Data{}, Data{0x1F}, Data{0x8B, 0x1F}}) EXPECT_FALSE(Gzip::isGzipped(other));
}

}  // namespace
}  // namespace OrvikFramework
