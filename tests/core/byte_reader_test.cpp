#include "core/byte_reader.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

namespace quorvex {
namespace {

TEST(ByteReader, ReadsNeverPassTheReceivedLength) {
    // Five bytes received out of a larger buffer; the bytes behind them are
    // what an earlier, longer datagram left there.
    const std::array<std::uint8_t, 8> memory = {'a', 'b', 0, 'c', 'd', 'S', 'S', 'S'};
    const ByteReader reader(std::span<const std::uint8_t>(memory).first(5));

    EXPECT_EQ(reader.FieldText(0, 4), "ab");
    EXPECT_EQ(reader.FieldText(3, 10), "cd");  // cut at the received length
    EXPECT_EQ(reader.FieldText(3, 1), "c");    // cut at the field
    EXPECT_EQ(reader.FieldText(5, 3), "");
    EXPECT_EQ(reader.FieldText(1000, 3), "");
    EXPECT_EQ(reader.TerminatedText(), "ab");

    EXPECT_EQ(reader.U8(4), 'd');
    EXPECT_EQ(reader.U8(5), 0);
    EXPECT_EQ(reader.U16Le(4), 'd');  // the missing high byte counts as 0
    EXPECT_EQ(reader.U16Le(0), 'a' | ('b' << 8));

    std::array<std::uint8_t, 4> out;
    out.fill(0xEE);
    reader.CopyOut(3, out);
    EXPECT_EQ(out, (std::array<std::uint8_t, 4>{'c', 'd', 0, 0}));
    out.fill(0xEE);
    reader.CopyOut(9, out);
    EXPECT_EQ(out, (std::array<std::uint8_t, 4>{}));

    const std::array<std::uint8_t, 2> pattern = {'d', 'S'};
    EXPECT_FALSE(reader.StartsWithAt(4, pattern));  // the 'S' was not received
    EXPECT_TRUE(reader.StartsWithAt(3, std::span<const std::uint8_t>(memory).subspan(3, 2)));
    EXPECT_FALSE(reader.StartsWithAt(~std::size_t{0}, pattern));

    // No terminator at all: the text is every received byte.
    const std::array<std::uint8_t, 3> unterminated = {'x', 'y', 'z'};
    EXPECT_EQ(ByteReader(unterminated).TerminatedText(), "xyz");
    EXPECT_EQ(ByteReader({}).TerminatedText(), "");
}

}  // namespace
}  // namespace quorvex
