#include "memory/byte_block.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>

namespace meldrix {
namespace {

std::uint8_t patternAt(std::size_t index) { return static_cast<std::uint8_t>(index * 7 + index / 251); }

// Small blocks come from the heap, large ones are mapped; growing may move a block from one to the
// other, or move a mapping's pages. Whatever the way, the bytes kept stay and the new size can be
// written in full (the sanitizer build checks the last point byte by byte).
TEST(ByteBlock, GrowingKeepsTheBytesAndGivesAtLeastTheSizeAskedFor) {
    constexpr std::size_t MIB = std::size_t{1} << 20;
    struct GrowCase {
        const char* description;
        std::size_t size;
        std::size_t grownSize;
    };
    const GrowCase cases[] = {
        {"heap to heap", 100, 1000},
        {"heap to a mapping", 64 * 1024, 3 * MIB},
        {"mapping to a larger mapping", 2 * MIB + 1, 9 * MIB},
        {"a size it already holds changes nothing", 3 * MIB, 3 * MIB},
    };
    for (const GrowCase& testCase : cases) {
        SCOPED_TRACE(testCase.description);
        ByteBlock block(testCase.size);
        ASSERT_GE(block.size(), testCase.size);
        for (std::size_t i = 0; i < testCase.size; ++i) block.data()[i] = patternAt(i);

        block.grow(testCase.grownSize, testCase.size);
        ASSERT_GE(block.size(), testCase.grownSize);
        std::size_t kept = 0;
        while (kept < testCase.size && block.data()[kept] == patternAt(kept)) ++kept;
        EXPECT_EQ(kept, testCase.size);
        block.data()[block.size() - 1] = 1;
    }
}

// Track buffers start as empty blocks and grow on their first append: there is nothing to keep
// and no memory to copy from (the sanitizer build rejects a copy from a null pointer).
TEST(ByteBlock, AnEmptyBlockGrowsIntoAUsableOne) {
    for (const std::size_t grownSize : {std::size_t{1}, std::size_t{256}, std::size_t{3} << 20}) {
        ByteBlock block;
        EXPECT_EQ(block.size(), 0u);
        block.grow(grownSize, 0);
        ASSERT_GE(block.size(), grownSize);
        block.data()[0] = 7;
        block.data()[grownSize - 1] = 9;
        EXPECT_EQ(block.data()[0], grownSize == 1 ? 9 : 7);
    }
}

TEST(ByteBlock, MovingHandsTheBytesOver) {
    ByteBlock first(std::size_t{3} << 20);
    first.data()[12345] = 42;
    ByteBlock second(std::move(first));
    EXPECT_EQ(second.data()[12345], 42);
    EXPECT_EQ(first.size(), 0u);
    first = std::move(second);
    EXPECT_EQ(first.data()[12345], 42);
}

}  // namespace
}  // namespace meldrix
