#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "midi/track_table.h"

namespace meldrix {
namespace {

std::vector<std::uint8_t> encode(std::int64_t value) {
    std::uint8_t destination[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    const int count = writeVariableLength(value, destination);
    EXPECT_GE(count, 1);
    EXPECT_LE(count, 4);
    return {destination, destination + count};
}

// Reads a quantity back the way a MIDI reader does, to check values the table does not list.
std::int64_t decode(const std::vector<std::uint8_t>& bytes) {
    std::int64_t value = 0;
    for (const std::uint8_t byte : bytes) value = (value << 7) | (byte & 0x7F);
    return value;
}

struct VariableLengthCase {
    std::int64_t value;
    std::vector<std::uint8_t> bytes;
};

TEST(VariableLength, EncodesTheMidiFileFormatExamples) {
    const VariableLengthCase cases[] = {
        {0x00000000, {0x00}},
        {0x00000040, {0x40}},
        {0x0000007F, {0x7F}},
        {0x00000080, {0x81, 0x00}},
        {0x000000B4, {0x81, 0x34}},
        {0x000000FF, {0x81, 0x7F}},
        {0x00000111, {0x82, 0x11}},
        {0x00002000, {0xC0, 0x00}},
        {0x00003FFF, {0xFF, 0x7F}},
        {0x00004000, {0x81, 0x80, 0x00}},
        {0x0000FFFF, {0x83, 0xFF, 0x7F}},
        {0x00100000, {0xC0, 0x80, 0x00}},
        {0x001FFFFF, {0xFF, 0xFF, 0x7F}},
        {0x00200000, {0x81, 0x80, 0x80, 0x00}},
        {0x08000000, {0xC0, 0x80, 0x80, 0x00}},
        {0x0FFFFFFF, {0xFF, 0xFF, 0xFF, 0x7F}},
    };
    for (const VariableLengthCase& c : cases) {
        EXPECT_EQ(encode(c.value), c.bytes) << "value " << c.value;
    }
}

TEST(VariableLength, EveryByteButTheLastHasBit7SetAndTheValueReadsBack) {
    // Values on both sides of each size boundary, and a stride through the whole domain.
    std::vector<std::int64_t> values = {1, 127, 128, 16383, 16384, 2097151, 2097152, MAX_VARIABLE_LENGTH};
    for (std::int64_t value = 0; value <= MAX_VARIABLE_LENGTH; value += 999983) values.push_back(value);
    for (const std::int64_t value : values) {
        const std::vector<std::uint8_t> bytes = encode(value);
        const std::size_t expectedSize = value < 0x80 ? 1 : value < 0x4000 ? 2 : value < 0x200000 ? 3 : 4;
        ASSERT_EQ(bytes.size(), expectedSize) << "value " << value;
        for (std::size_t index = 0; index + 1 < bytes.size(); ++index) {
            EXPECT_NE(bytes[index] & 0x80, 0) << "value " << value << " byte " << index;
        }
        EXPECT_EQ(bytes.back() & 0x80, 0) << "value " << value;
        EXPECT_EQ(decode(bytes), value);
    }
}

}  // namespace
}  // namespace meldrix
