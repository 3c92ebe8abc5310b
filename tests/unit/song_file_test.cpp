#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include "songfile/section_header.h"
#include "songfile/song_file.h"
#include "support/run_program.h"
#include "support/song_builder.h"

namespace meldrix {
namespace {

TEST(ReadBigEndian32, ReadsTheMostSignificantByteFirstOnAnyHost) {
    struct Case {
        std::uint8_t bytes[4];
        std::int32_t value;
    };
    const Case cases[] = {
        {{0x00, 0x00, 0x01, 0x00}, 256},           // not 65536: big-endian
        {{0xFF, 0xFF, 0xFF, 0xFF}, -1},            // negative: refused by the driver
        {{0x7F, 0xFF, 0xFF, 0xFF}, 0x7FFFFFFF},    // the largest accepted length
        {{0x80, 0x00, 0x00, 0x00}, INT32_MIN},     // the top bit alone makes it negative
        {{0x12, 0x34, 0x56, 0x78}, 0x12345678},
    };
    for (const Case& c : cases) EXPECT_EQ(readBigEndian32(c.bytes), c.value);
}

TEST(SectionPositions, FollowTheLyricStreamWithoutOverflow) {
    EXPECT_EQ(lyricSectionPositions().stream, 12u);
    const SectionPositions empty = musicSectionPositions(0);
    EXPECT_EQ(empty.compressedLength, 12u);
    EXPECT_EQ(empty.decodedLength, 16u);
    EXPECT_EQ(empty.stream, 24u);
    // A lyric compressedLength of 2^31 - 1 puts the music section past 32-bit positions.
    EXPECT_EQ(musicSectionPositions(0x7FFFFFFF).stream, 0x7FFFFFFFull + 24);
}

class SongFileTest : public ::testing::Test {
protected:
    testing::TemporaryFolder folder;
    std::string path = folder / "song.zuno";
};

TEST_F(SongFileTest, ReadsOnlyWhatTheFileHolds) {
    testing::writeFile(path, std::vector<std::uint8_t>{0, 0, 1, 0, 0xAA, 0xBB, 0xCC});
    std::optional<SongFile> song = SongFile::open(path);
    ASSERT_TRUE(song);
    EXPECT_EQ(song->readLengthField(0), 256);
    EXPECT_EQ(song->readLengthField(4), std::nullopt);  // only 3 bytes there
    EXPECT_EQ(song->readBlock(4, 0x7FFFFFFF), (ByteBuffer{0xAA, 0xBB, 0xCC}));
    EXPECT_TRUE(song->readBlock(7, 10).empty());
    EXPECT_TRUE(song->readBlock(0x80000017ull, 10).empty());  // far past the end
}

TEST_F(SongFileTest, RefusesFoldersAndMissingFiles) {
    EXPECT_FALSE(SongFile::open(folder.path()));
    EXPECT_FALSE(SongFile::open(folder / "missing"));
}

TEST_F(SongFileTest, ReadsAPipeAtAnyPositionInAnyOrder) {
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    const std::uint8_t bytes[] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    ASSERT_EQ(::write(ends[1], bytes, sizeof bytes), static_cast<ssize_t>(sizeof bytes));
    ::close(ends[1]);
    std::optional<SongFile> song = SongFile::open("/dev/fd/" + std::to_string(ends[0]));
    ::close(ends[0]);
    ASSERT_TRUE(song);
    EXPECT_EQ(song->readBlock(6, 100), (ByteBuffer{7, 8, 9}));
    EXPECT_EQ(song->readBlock(0, 2), (ByteBuffer{1, 2}));  // kept, not lost
    EXPECT_EQ(song->readLengthField(2), 0x03040506);
    EXPECT_TRUE(song->readBlock(9, 1).empty());
}

}  // namespace
}  // namespace meldrix
