#include "lzw/code_reader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace meldrix {
namespace {

struct ReadStep {
    std::uint32_t code;
    std::size_t bytesRead;  // after the call
};

struct ReaderCase {
    const char* description;
    std::vector<std::uint8_t> stream;
    std::vector<ReadStep> steps;  // the last steps show that END_CODE repeats
};

const ReaderCase READER_CASES[] = {
    {"empty stream", {}, {{END_CODE, 0}, {END_CODE, 0}}},
    {"one byte is fewer than 12 bits", {0xAB}, {{END_CODE, 1}, {END_CODE, 1}}},
    {"two bytes give one code and 4 ignored bits",
     {0xAB, 0xCD},
     {{0xABC, 2}, {END_CODE, 2}, {END_CODE, 2}}},
    {"bytes are taken in ahead of the codes, up to 32 bits at a time",
     {0x04, 0x10, 0x42, 0x10, 0x11, 0x03},
     {{0x041, 4}, {0x042, 5}, {0x101, 6}, {0x103, 6}, {END_CODE, 6}, {END_CODE, 6}}},
    {"a code of 4095 is returned like any other",
     {0xFF, 0xF0, 0x41, 0x04, 0x20},
     {{0xFFF, 4}, {0x041, 5}, {0x042, 5}, {END_CODE, 5}}},
    {"all ones and all zeros keep their place",
     {0x00, 0x0F, 0xFF, 0xFF, 0xF0, 0x00},
     {{0x000, 4}, {0xFFF, 5}, {0xFFF, 6}, {0x000, 6}, {END_CODE, 6}}},
};

TEST(CodeReader, ReadsTwelveBitCodesMostSignificantBitFirst) {
    for (const ReaderCase& testCase : READER_CASES) {
        SCOPED_TRACE(testCase.description);
        CodeReader reader(testCase.stream);
        for (std::size_t i = 0; i < testCase.steps.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(reader.readCode(), testCase.steps[i].code);
            EXPECT_EQ(reader.bytesRead(), testCase.steps[i].bytesRead);
        }
    }
}

}  // namespace
}  // namespace meldrix
