// The decoder copies most strings from where they already lie in the decoded area instead of
// walking their chains. These tests hold it to a plain chain-walk decoder kept here, byte for byte
// and message for message, on streams that wrap the string table many times: encoded data, and
// codes drawn at random, which reach the loops, the refused codes and the chains that run into the
// cycle before.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "driver/console.h"
#include "lzw/decoded_section.h"
#include "lzw/lzw_decoder.h"
#include "support/lzw_encoder.h"
#include "support/song_generator.h"

namespace meldrix {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::packCodes;

constexpr std::size_t CODES_PER_CYCLE = LAST_TABLE_CODE - FIRST_TABLE_CODE + 1;

struct Decoded {
    Bytes bytes;
    std::string console;
};

// The decoder as the stream format defines it: every string is found by walking its chain, back
// to front, into a stack, under the chain limit. Entries never assigned read prefix 0, byte 0.
// Stores at most `capacity` bytes and reads no code once they are stored.
Decoded referenceDecode(const Bytes& stream, std::size_t capacity) {
    std::vector<std::uint32_t> prefixCode(TABLE_ENTRIES, 0);
    std::vector<std::uint8_t> appendByte(TABLE_ENTRIES, 0);
    std::vector<std::uint8_t> stack(MAX_CHAIN_LINKS + 2);
    Decoded result;

    // A 32-bit bit buffer, filled a byte at a time while it holds at most 24 bits.
    std::uint32_t bitBuffer = 0;
    int bitCount = 0;
    std::size_t bytesRead = 0;
    auto readCode = [&]() -> std::uint32_t {
        while (bitCount <= 24 && bytesRead < stream.size()) {
            bitBuffer |= std::uint32_t{stream[bytesRead++]} << (24 - bitCount);
            bitCount += 8;
        }
        if (bitCount < 12) return END_CODE;
        const std::uint32_t code = bitBuffer >> 20;
        bitBuffer <<= 12;
        bitCount -= 12;
        return code;
    };
    // Walks `code` into the stack ending at `end`; returns the first position or -1 at the limit.
    auto expand = [&](std::uint32_t code, std::size_t end) -> long {
        std::size_t position = end;
        for (std::uint32_t links = 0; code > 256; ++links) {
            if (links == MAX_CHAIN_LINKS) return -1;
            stack[--position] = appendByte[code];
            code = prefixCode[code];
        }
        stack[--position] = static_cast<std::uint8_t>(code);
        return static_cast<long>(position);
    };
    auto store = [&](std::size_t from) {
        for (std::size_t i = from; i < stack.size() && result.bytes.size() < capacity; ++i) {
            result.bytes.push_back(stack[i]);
        }
    };

    std::uint32_t previousCode = readCode();
    std::uint8_t firstByte = static_cast<std::uint8_t>(previousCode);
    result.bytes.push_back(firstByte);
    std::uint32_t nextCode = FIRST_TABLE_CODE;
    while (result.bytes.size() < capacity) {
        const std::uint32_t code = readCode();
        if (code == END_CODE) break;
        if (nextCode > LAST_TABLE_CODE) nextCode = FIRST_TABLE_CODE;
        long first = 0;
        if (code < nextCode) {
            first = expand(code, stack.size());
        } else if (code == nextCode) {
            stack.back() = firstByte;
            first = expand(previousCode, stack.size() - 1);
        } else {
            char message[80];
            std::snprintf(message, sizeof message, "Invalid code: offset:%zX new:%X next:%X\n", bytesRead, code,
                          nextCode);
            result.console = message;
            break;
        }
        if (first < 0) {
            result.console = "Fatal error during code expansion.\n";
            break;
        }
        firstByte = stack[static_cast<std::size_t>(first)];
        store(static_cast<std::size_t>(first));
        prefixCode[nextCode] = previousCode;
        appendByte[nextCode] = firstByte;
        ++nextCode;
        previousCode = code;
    }
    return result;
}

Decoded decode(const Bytes& stream, std::size_t capacity) {
    Console console;
    const DecodedSection section = LzwDecoder::decode(stream, capacity, console);
    return {Bytes(section.bytes().begin(), section.bytes().end()), console.recorded()};
}

void expectSameAsReference(const Bytes& stream, std::size_t capacity) {
    const Decoded expected = referenceDecode(stream, capacity);
    const Decoded actual = decode(stream, capacity);
    EXPECT_EQ(actual.console, expected.console);
    ASSERT_EQ(actual.bytes.size(), expected.bytes.size());
    // One failure, at the first byte that differs, instead of one per byte.
    const auto [actualAt, expectedAt] = std::mismatch(actual.bytes.begin(), actual.bytes.end(), expected.bytes.begin());
    EXPECT_TRUE(actualAt == actual.bytes.end())
        << "the bytes differ from byte " << (actualAt - actual.bytes.begin()) << " of " << actual.bytes.size();
}

// A first check of the reference itself, on the stream format's own examples.
TEST(LzwReferenceDecoder, DecodesTheFormatsExamples) {
    EXPECT_EQ(referenceDecode({0x04, 0x10, 0x42, 0x10, 0x11, 0x03}, 64).bytes, Bytes({'A', 'B', 'A', 'B', 'A', 'B', 'A'}));
    EXPECT_EQ(referenceDecode({0x04, 0x10, 0x42, 0x12, 0xC0, 0x43}, 64).console,
              "Invalid code: offset:6 new:12C next:102\n");
    EXPECT_EQ(referenceDecode({0x04, 0x11, 0x02}, 64).console, "Invalid code: offset:3 new:102 next:101\n");
}

// After the wrap, entry 257 takes the last code of the cycle before as its prefix. Here that is
// entry 258 ("BC"); once 258 is re-assigned ("EB"), the string of 257 changes with it, from "BCE"
// to "EBE", although 257 itself was not touched: a copy of "BCE" would be wrong.
TEST(LzwDecoder, AStringWhoseChainRunsIntoTheCycleBeforeChangesWithIt) {
    std::vector<std::uint16_t> codes = {'A', 'B', 'C'};                     // 257 = AB, 258 = BC
    codes.insert(codes.end(), CODES_PER_CYCLE - 3, 'D');                   // 259 to 4094
    codes.push_back(258);                                                   // 4095; "BC"
    codes.insert(codes.end(), {'E', 257, 257});                            // after the wrap
    std::string expected = "ABC" + std::string(CODES_PER_CYCLE - 3, 'D') + "BC" + "E" + "BCE" + "EBE";

    const Bytes stream = packCodes(codes);
    const Decoded decoded = decode(stream, 1 << 20);
    EXPECT_EQ(decoded.console, "");
    EXPECT_EQ(std::string(decoded.bytes.begin(), decoded.bytes.end()), expected);
    expectSameAsReference(stream, 1 << 20);
}

// Codes drawn at random, each accepted by the decoder at its place, so that the stream runs
// through several wraps: literals, recent entries (whose chains are long), the code that names
// its own entry, and entry 257 right after a wrap, which draws chains into the cycle before and
// so, sooner or later, into a loop. With `refusedAt`, the code there is one the decoder refuses.
Bytes randomCodes(std::uint32_t seed, std::size_t count, std::size_t refusedAt) {
    std::mt19937 random(seed);
    auto below = [&](std::uint32_t bound) { return static_cast<std::uint32_t>(random() % bound); };
    // A first code above 256 makes entry 257 take an entry never assigned as its prefix.
    std::vector<std::uint16_t> codes{static_cast<std::uint16_t>(below(seed % 2 == 0 ? 257 : 4096))};
    std::uint32_t nextCode = FIRST_TABLE_CODE;
    for (std::size_t i = 1; i < count; ++i) {
        if (nextCode > LAST_TABLE_CODE) nextCode = FIRST_TABLE_CODE;
        const std::uint32_t kind = below(100);
        std::uint32_t code = 0;
        if (i == refusedAt) {
            code = nextCode + 1 + below(END_CODE - nextCode - 1);
        } else if (kind < 30) {
            code = below(257);
        } else if (kind < 60) {
            code = nextCode - std::min<std::uint32_t>(below(8), nextCode - 257);  // recent, or itself
        } else if (kind < 97) {
            code = 257 + below(nextCode - 256);
        } else {
            code = std::min<std::uint32_t>(nextCode, 257);
        }
        codes.push_back(static_cast<std::uint16_t>(code == END_CODE ? 0 : code));
        ++nextCode;
    }
    return packCodes(codes);
}

TEST(LzwDecoder, DecodesRandomCodesExactlyAsTheChainWalkDoes) {
    for (std::uint32_t seed = 1; seed <= 60; ++seed) {
        SCOPED_TRACE(seed);
        const std::size_t count = 5 * CODES_PER_CYCLE;
        const Bytes stream = randomCodes(seed, count, seed % 3 == 0 ? count / 2 + seed : count);
        expectSameAsReference(stream, std::size_t{1} << 26);
        // A capacity that cuts the output short, somewhere in a string.
        expectSameAsReference(stream, 1000 + seed * 7919);
    }
}

// Streams the encoder writes, long enough to wrap many times and to make the decoded area grow
// (and move) while entries hold copies of their strings.
TEST(LzwDecoder, DecodesEncodedSectionsExactlyAsTheChainWalkDoes) {
    const testing::SongRecords song = testing::realisticSong(11, 300000, 600000);
    Bytes mixed;
    std::mt19937 random(12);
    for (int block = 0; block < 40; ++block) {
        // Noise, then a run: strings that grow long, then a table full of short ones.
        for (int i = 0; i < 3000; ++i) mixed.push_back(static_cast<std::uint8_t>(random()));
        mixed.insert(mixed.end(), 20000 + 1000 * static_cast<std::size_t>(block), static_cast<std::uint8_t>(block));
    }
    const Bytes* const sections[] = {&song.lyrics, &song.music, &mixed};
    for (const Bytes* data : sections) {
        const Bytes stream = testing::lzwEncode(*data);
        ASSERT_GE(stream.size() * 8 / CODE_BITS, 3 * CODES_PER_CYCLE);
        const Decoded decoded = decode(stream, data->size() + DECODED_SLACK);
        EXPECT_EQ(decoded.console, "");
        EXPECT_TRUE(decoded.bytes == *data) << "the section does not decode back to its data";
        expectSameAsReference(stream, data->size() + DECODED_SLACK);
    }
}

}  // namespace
}  // namespace meldrix
