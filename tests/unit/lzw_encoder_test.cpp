#include "support/lzw_encoder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "driver/console.h"
#include "lzw/decoded_section.h"
#include "lzw/lzw_decoder.h"

namespace meldrix::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes textBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

TEST(PackCodes, PacksTwelveBitCodesMostSignificantBitFirst) {
    struct PackCase {
        const char* description;
        std::vector<std::uint16_t> codes;
        Bytes packed;
    };
    const PackCase cases[] = {
        {"no codes", {}, {}},
        {"one code leaves 4 zero bits", {0xABC}, {0xAB, 0xC0}},
        {"two codes fill three bytes", {0x041, 0x042}, {0x04, 0x10, 0x42}},
        {"three codes", {0xFFF, 0x000, 0x123}, {0xFF, 0xF0, 0x00, 0x12, 0x30}},
    };
    for (const PackCase& testCase : cases) {
        SCOPED_TRACE(testCase.description);
        EXPECT_EQ(packCodes(testCase.codes), testCase.packed);
    }
}

// Greedy LZW on short texts: the codes are the textbook ones, the code that names its own entry
// included.
TEST(LzwEncode, WritesTheLongestStringTheDecoderAccepts) {
    struct EncodeCase {
        const char* text;
        bool withEndCode;
        std::vector<std::uint16_t> codes;
    };
    const EncodeCase cases[] = {
        {"A", false, {0x041}},
        {"AB", true, {0x041, 0x042, END_CODE}},
        {"ABABABA", false, {0x041, 0x042, 0x101, 0x103}},
        {"AAAAAAA", false, {0x041, 0x101, 0x102, 0x041}},
    };
    for (const EncodeCase& testCase : cases) {
        SCOPED_TRACE(testCase.text);
        EXPECT_EQ(lzwEncode(textBytes(testCase.text), testCase.withEndCode), packCodes(testCase.codes));
    }
}

TEST(LzwEncode, RefusesEmptyData) { EXPECT_THROW(lzwEncode({}), std::invalid_argument); }

Bytes randomBytes(std::size_t length, unsigned alphabet, std::uint32_t seed) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<unsigned> pick(0, alphabet - 1);
    Bytes bytes(length);
    for (std::uint8_t& byte : bytes) byte = static_cast<std::uint8_t>(pick(random));
    return bytes;
}

// Records of 5 bytes, most of them alike, as in a music section.
Bytes recordLikeBytes(std::size_t records, std::uint32_t seed) {
    std::mt19937 random(seed);
    Bytes bytes;
    for (std::size_t i = 0; i < records; ++i) {
        const auto r = static_cast<std::uint32_t>(random());
        bytes.insert(bytes.end(), {static_cast<std::uint8_t>(0x90 | (r & 1)),
                                   static_cast<std::uint8_t>(60 + (r >> 1) % 5),
                                   static_cast<std::uint8_t>((r >> 4) % 3 == 0 ? 100 : 64),
                                   static_cast<std::uint8_t>((r >> 6) % 2 * 12), 0});
    }
    return bytes;
}

// Codes written, from the stream's length: every code takes 12 bits.
std::size_t codeCount(const Bytes& stream) { return stream.size() * 8 / CODE_BITS; }

constexpr std::size_t CODES_PER_CYCLE = LAST_TABLE_CODE - FIRST_TABLE_CODE + 1;

// The decoder reads back exactly the data, without a diagnostic, also across many wraps of the
// string table, where the encoder must not name entries the decoder refuses or whose strings
// change in the step that writes them.
TEST(LzwRoundTrip, DecodesBackToTheDataAcrossManyWraps) {
    struct RoundTripCase {
        const char* description;
        Bytes data;
        std::size_t minimumWraps;
    };
    const RoundTripCase cases[] = {
        {"random bytes", randomBytes(100000, 256, 1), 10},
        {"two letters", randomBytes(400000, 2, 2), 3},
        {"four letters", randomBytes(200000, 4, 3), 3},
        {"sixteen letters", randomBytes(200000, 16, 4), 3},
        {"record-like data", recordLikeBytes(200000, 5), 3},
        {"one byte repeated: strings thousands of bytes long", Bytes(16000000, 0x00), 2},
    };
    for (const RoundTripCase& testCase : cases) {
        SCOPED_TRACE(testCase.description);
        for (bool withEndCode : {false, true}) {
            SCOPED_TRACE(withEndCode ? "with END_CODE" : "without END_CODE");
            const Bytes stream = lzwEncode(testCase.data, withEndCode);
            EXPECT_GE(codeCount(stream), testCase.minimumWraps * CODES_PER_CYCLE);

            Console console;
            const DecodedSection section =
                LzwDecoder::decode(stream, testCase.data.size() + DECODED_SLACK, console);
            EXPECT_EQ(console.recorded(), "");
            ASSERT_EQ(section.produced(), testCase.data.size());
            EXPECT_TRUE(std::equal(testCase.data.begin(), testCase.data.end(), section.bytes().begin()));
        }
    }
}

// An encoder that wrote only literals would still round-trip; it must use the table.
TEST(LzwEncode, CompressesRepetitiveData) {
    const Bytes data = recordLikeBytes(100000, 6);
    EXPECT_LT(lzwEncode(data).size(), data.size() / 4);
}

}  // namespace
}  // namespace meldrix::testing
