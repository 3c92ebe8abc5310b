#include "lzw/lzw_decoder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "driver/console.h"
#include "support/lzw_encoder.h"

namespace meldrix {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::packCodes;

Bytes bytesOf(std::span<const std::uint8_t> bytes) { return Bytes(bytes.begin(), bytes.end()); }
Bytes textBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

const std::string INVALID_258_AT_START = "Invalid code: offset:3 new:102 next:101\n";
const std::string FATAL = "Fatal error during code expansion.\n";

struct DecodeCase {
    const char* description;
    Bytes stream;
    Bytes decoded;
    std::string console;
};

const DecodeCase DECODE_CASES[] = {
    {"empty stream: the first code reads as END_CODE, whose low byte is FF", {}, {0xFF}, ""},
    {"a single byte holds no code", {0x41}, {0xFF}, ""},
    {"lone END_CODE", {0xFF, 0xF0}, {0xFF}, ""},
    {"one code and 4 zero bits", {0x04, 0x10}, {0x41}, ""},
    {"the 4 trailing bits are ignored whatever they hold", {0x04, 0x1F}, {0x41}, ""},
    {"one code then END_CODE", {0x04, 0x1F, 0xFF}, {0x41}, ""},
    {"two codes fill three bytes", {0x04, 0x10, 0x42}, {0x41, 0x42}, ""},
    {"two extra zero bytes make one more code 0",
     {0x04, 0x10, 0x42, 0x00, 0x00},
     {0x41, 0x42, 0x00},
     ""},
    {"a table entry, then the code that names its own entry (KwKwK)",
     {0x04, 0x10, 0x42, 0x10, 0x11, 0x03},
     textBytes("ABABABA"),
     ""},
    {"the same stream ended by END_CODE",
     {0x04, 0x10, 0x42, 0x10, 0x11, 0x03, 0xFF, 0xF0},
     textBytes("ABABABA"),
     ""},
    {"two KwKwK codes in a row",
     {0x04, 0x11, 0x01, 0x10, 0x20, 0x41},
     Bytes(7, 0x41),
     ""},
    {"code 256 is the byte 00", {0x04, 0x11, 0x00, 0x04, 0x20}, {0x41, 0x00, 0x42}, ""},
    {"a code above nextCode stops decoding; the offset counts bytes taken in ahead",
     {0x04, 0x10, 0x42, 0x12, 0xC0, 0x43},
     {0x41, 0x42},
     "Invalid code: offset:6 new:12C next:102\n"},
    {"nextCode + 1 as the second code is refused", {0x04, 0x11, 0x02}, {0x41}, INVALID_258_AT_START},
    {"a code just below END_CODE is refused, not taken as the end",
     {0x04, 0x1F, 0xFE},
     {0x41},
     "Invalid code: offset:3 new:FFE next:101\n"},
    {"END_CODE as the first code is data", {0xFF, 0xF0, 0x41, 0x04, 0x20}, {0xFF, 0x41, 0x42}, ""},
    {"a first code above 255 gives its low 8 bits", {0x14, 0x10, 0x42}, {0x41, 0x42}, ""},
    {"bytes after END_CODE are never read",
     {0x04, 0x1F, 0xFF, 0x04, 0x20, 0x00},
     {0x41},
     ""},
    // An entry never assigned reads prefix 0 and byte 0.
    {"KwKwK through a first code naming an entry never assigned",
     {0x30, 0x01, 0x01},
     {0x00, 0x00, 0x00, 0x00},
     ""},
    // 257 first: 01; 257 as KwKwK: 00 00 (the unassigned entry) then 01; entry 257 now has
    // itself as prefix, so expanding it again never reaches a byte.
    {"a first code of 257 makes entry 257 its own prefix",
     {0x10, 0x11, 0x01, 0x10, 0x10},
     {0x01, 0x00, 0x00, 0x01},
     FATAL},
};

TEST(LzwDecoder, DecodesTheEdgeCasesOfTheStreamFormat) {
    for (const DecodeCase& testCase : DECODE_CASES) {
        SCOPED_TRACE(testCase.description);
        Console console;
        const DecodedSection section = LzwDecoder::decode(testCase.stream, 64, console);
        EXPECT_EQ(bytesOf(section.bytes()), testCase.decoded);
        EXPECT_EQ(section.produced(), testCase.decoded.size());
        EXPECT_EQ(console.recorded(), testCase.console);
    }
}

// The entries a full cycle assigns: 257 to 4095, one per code after the first.
constexpr std::size_t CODES_PER_CYCLE = LAST_TABLE_CODE - FIRST_TABLE_CODE + 1;

// A literal, then one literal per table entry: the next code is judged right after the wrap.
std::vector<std::uint16_t> literalsFillingTheTable() {
    std::vector<std::uint16_t> codes;
    for (std::size_t i = 0; i < 1 + CODES_PER_CYCLE; ++i) {
        codes.push_back(static_cast<std::uint16_t>((i * 7 + 3) % 256));
    }
    return codes;
}

Bytes lowBytes(const std::vector<std::uint16_t>& codes) {
    Bytes bytes;
    for (std::uint16_t code : codes) bytes.push_back(static_cast<std::uint8_t>(code));
    return bytes;
}

TEST(LzwDecoder, AfterTheWrapOnlyEntry257IsAccepted) {
    const std::vector<std::uint16_t> filling = literalsFillingTheTable();
    const Bytes filled = lowBytes(filling);

    // 258 names an entry that holds a string, but nextCode is back at 257.
    std::vector<std::uint16_t> refused = filling;
    refused.push_back(258);
    Console refusedConsole;
    const Bytes refusedStream = packCodes(refused);
    const DecodedSection refusedSection = LzwDecoder::decode(refusedStream, 1 << 20, refusedConsole);
    EXPECT_EQ(bytesOf(refusedSection.bytes()), filled);
    // The whole stream has been taken in when the last code is read.
    char expected[80];
    std::snprintf(expected, sizeof expected, "Invalid code: offset:%zX new:102 next:101\n",
                  refusedStream.size());
    EXPECT_EQ(refusedConsole.recorded(), expected);

    // 257 is the entry this code assigns: the last literal twice.
    std::vector<std::uint16_t> accepted = filling;
    accepted.push_back(257);
    Console acceptedConsole;
    const DecodedSection acceptedSection =
        LzwDecoder::decode(packCodes(accepted), 1 << 20, acceptedConsole);
    Bytes expectedBytes = filled;
    expectedBytes.push_back(filled.back());
    expectedBytes.push_back(filled.back());
    EXPECT_EQ(bytesOf(acceptedSection.bytes()), expectedBytes);
    EXPECT_EQ(acceptedConsole.recorded(), "");
}

// After the wrap, entry 257 takes as prefix the last code of the cycle before. When that code
// is 257 itself, the entry becomes its own prefix and a later expansion loops until the chain
// limit stops it. The sanitizer build shows that the loop stays inside the stack and the table.
TEST(LzwDecoder, AChainThatLoopsAfterTheWrapStopsAtTheChainLimit) {
    struct LoopCase {
        const char* description;
        std::vector<std::uint16_t> afterWrap;
        std::size_t produced;
    };
    const LoopCase cases[] = {
        // 'A' assigns 257 = (257, 'A'); then 257 loops.
        {"expanding the looping entry", {0x41, 257}, CODES_PER_CYCLE + 3},
        // 257 names the entry it assigns, so it still expands the old 257 ("AA" + "A") and
        // then makes 257 = (257, 'A'); 258 does the same with 257 as the looping prefix.
        {"expanding it under a KwKwK code, one byte more on the stack", {257, 258},
         CODES_PER_CYCLE + 5},
    };
    for (const LoopCase& testCase : cases) {
        SCOPED_TRACE(testCase.description);
        // 'A', then 3838 literals 'A' assign 257-4094, and 257 ("AA") assigns 4095.
        std::vector<std::uint16_t> codes(CODES_PER_CYCLE, 0x41);
        codes.push_back(257);
        codes.insert(codes.end(), testCase.afterWrap.begin(), testCase.afterWrap.end());
        codes.push_back(0x42);  // never reached

        Console console;
        const DecodedSection section = LzwDecoder::decode(packCodes(codes), 1 << 20, console);
        EXPECT_EQ(bytesOf(section.bytes()), Bytes(testCase.produced, 0x41));
        EXPECT_EQ(console.recorded(), FATAL);
    }
}

// Codes 'A', 257, 258, ...: each names the entry it assigns, so code k decodes to k + 1 bytes
// 'A' and the stream grows quadratically. An invalid code follows the last one.
std::vector<std::uint16_t> growingRunThenInvalid(std::size_t runCodes) {
    std::vector<std::uint16_t> codes{0x41};
    for (std::size_t i = 0; i < runCodes; ++i) {
        codes.push_back(static_cast<std::uint16_t>(FIRST_TABLE_CODE + i));
    }
    codes.push_back(0xFFE);
    return codes;
}

TEST(LzwDecoder, StopsExactlyWhenTheDecodedAreaIsFull) {
    constexpr std::size_t RUN_CODES = 100;
    constexpr std::size_t FULL_LENGTH = 1 + (RUN_CODES * (RUN_CODES + 3)) / 2;  // 1 + 2 + ... + 101
    const Bytes stream = packCodes(growingRunThenInvalid(RUN_CODES));
    // The invalid code is the last one, so the whole stream has been taken in.
    char invalidCode[80];
    std::snprintf(invalidCode, sizeof invalidCode, "Invalid code: offset:%zX new:FFE next:%zX\n",
                  stream.size(), FIRST_TABLE_CODE + RUN_CODES);

    struct CapCase {
        const char* description;
        std::uint64_t capacity;
        std::size_t produced;
        std::string console;
    };
    const CapCase cases[] = {
        {"room for the first byte only", 1, 1, ""},
        {"a string cut after its first byte", 2, 2, ""},
        {"a string that ends exactly at the capacity", 3, 3, ""},
        {"a long string cut in its middle", 1000, 1000, ""},
        {"one byte short of the whole stream", FULL_LENGTH - 1, FULL_LENGTH - 1, ""},
        {"exactly full: the invalid code after it is never read", FULL_LENGTH, FULL_LENGTH, ""},
        {"room to spare: the invalid code is read and reported", FULL_LENGTH + 1, FULL_LENGTH,
         invalidCode},
    };
    for (const CapCase& testCase : cases) {
        SCOPED_TRACE(testCase.description);
        Console console;
        const DecodedSection section = LzwDecoder::decode(stream, testCase.capacity, console);
        EXPECT_EQ(bytesOf(section.bytes()), Bytes(testCase.produced, 0x41));
        EXPECT_EQ(console.recorded(), testCase.console);
    }
}

// A header may claim far more than the stream holds; reserving the claim up front would fail
// (1 TiB is more than the allocator hands out), so memory must follow the bytes decoded.
TEST(LzwDecoder, MemoryFollowsTheDataNotTheCapacity) {
    constexpr std::uint64_t HUGE_CAPACITY = std::uint64_t{1} << 40;
    Bytes data(100000);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i % 97 * i);
    Console console;
    const DecodedSection section = LzwDecoder::decode(testing::lzwEncode(data), HUGE_CAPACITY, console);
    EXPECT_EQ(bytesOf(section.bytes()), data);
    EXPECT_EQ(console.recorded(), "");
}

}  // namespace
}  // namespace meldrix
