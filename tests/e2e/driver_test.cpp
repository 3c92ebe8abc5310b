// The command line, the stage texts, the exit statuses and what happens to the output file.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "e2e/e2e_support.h"

namespace meldrix::testing {
namespace {

// A small song: the lyric "Hi" (H at 0, i at 27) and one note (C4, velocity 100, 60 ticks).
std::vector<std::uint8_t> hiLyrics() {
    std::vector<std::uint8_t> lyrics;
    addLyricRecord(lyrics, 'H', 0);
    addLyricRecord(lyrics, 'i', 27);
    return lyrics;
}
std::vector<std::uint8_t> oneNote() {
    std::vector<std::uint8_t> music;
    addMusicRecord(music, 0, 60, 0x00, 0x3C, 0x64);
    return music;
}

// The MIDI file of that song, as any reader of Standard MIDI Files expects it.
const std::vector<std::uint8_t> HI_MIDI = {
    'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, 2, 0, 27,                   // format 1, 2 tracks, 27 ticks
    'M', 'T', 'r', 'k', 0, 0, 0, 29,                                      // lyric track: 10 + 19 bytes
    0x00, 0xFF, 0x58, 0x04, 0x04, 0x02, 0x18, 0x08,                       // 4/4
    0x00, 0xFF, 0x51, 0x03, 0x07, 0x00, 0x00,                             // 458752 us per quarter
    0x00, 0xFF, 0x05, 0x01, 'H', 0x1B, 0xFF, 0x05, 0x01, 'i',             // H at 0, i at 27
    0x00, 0xFF, 0x2F, 0x00,                                               // End of Track
    'M', 'T', 'r', 'k', 0, 0, 0, 27,                                      // music track: 8 + 19 bytes
    0x00, 0xFF, 0x58, 0x04, 0x04, 0x02, 0x18, 0x08,
    0x00, 0xFF, 0x51, 0x03, 0x07, 0x00, 0x00,
    0x00, 0x90, 0x3C, 0x64, 0x3C, 0x80, 0x3C, 0x64,                       // note on at 0, off at 60
    0x00, 0xFF, 0x2F, 0x00,
};

std::string hiTranscript(std::uint32_t lyricCompressed, std::uint32_t musicCompressed) {
    char lines[1024];
    std::snprintf(lines, sizeof lines,
                  "Getting lyric compressed length... 0x%08X\n"
                  "Getting lyric uncompressed length... 0x00000008\n"
                  "Reading compressed lyric part into a buffer... Done\n"
                  "Decompressing the lyric part... Done\n"
                  "Converting the lyric into MIDI formatDone\n"
                  "Getting MIDI compressed length... 0x%08X\n"
                  "Getting MIDI uncompressed length... 0x00000005\n"
                  "Reading the MIDI compress data into a buffer... Done\n"
                  "Decompressing the MIDI part... Done\n"
                  "Converting the MIDI part to MIDI formatDone\n"
                  "Writing the MIDI buffer to the file... Done\n",
                  lyricCompressed, musicCompressed);
    return BANNER + lines;
}

class DriverTest : public ::testing::Test {
protected:
    TemporaryFolder folder;
    const SongSection lyrics = compressedSection(hiLyrics());
    const SongSection music = compressedSection(oneNote());
    std::string song = folder / "song.zuno";
    std::string midi = folder / "song.mid";

    void SetUp() override { writeFile(song, songFileBytes(lyrics, music)); }
};

TEST_F(DriverTest, ConvertsASongAndReportsEveryStage) {
    const ProgramResult result = runMeldrix(folder, {"song.zuno", "song.mid"});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.out, hiTranscript(lyrics.compressedLength, music.compressedLength));
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(readFile(midi), HI_MIDI);
    EXPECT_EQ(folderEntries(folder.path()), (std::vector<std::string>{"song.mid", "song.zuno"}));
}

TEST_F(DriverTest, IgnoresArgumentsAfterTheSecond) {
    const ProgramResult result = runMeldrix(folder, {"song.zuno", "song.mid", "extra", "more"});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.out, hiTranscript(lyrics.compressedLength, music.compressedLength));
    EXPECT_EQ(readFile(midi), HI_MIDI);
}

TEST_F(DriverTest, ReplacesAnExistingOutputWholeAndKeepsItsMode) {
    writeFile(midi, std::vector<std::uint8_t>(5000, 0xAA));  // longer than the new file
    ASSERT_EQ(::chmod(midi.c_str(), 0640), 0);
    EXPECT_EQ(runMeldrix(folder, {"song.zuno", "song.mid"}).exitStatus, 0);
    EXPECT_EQ(readFile(midi), HI_MIDI);
    struct stat status {};
    ASSERT_EQ(::stat(midi.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0640u);
}

TEST_F(DriverTest, TheSongFileItselfCanBeTheOutput) {
    EXPECT_EQ(runMeldrix(folder, {"song.zuno", "song.zuno"}).exitStatus, 0);
    EXPECT_EQ(readFile(song), HI_MIDI);
}

TEST_F(DriverTest, WritesThroughASymbolicLinkAndKeepsTheLink) {
    ASSERT_EQ(::symlink("real.mid", midi.c_str()), 0);
    EXPECT_EQ(runMeldrix(folder, {"song.zuno", "song.mid"}).exitStatus, 0);
    EXPECT_TRUE(std::filesystem::is_symlink(midi));
    EXPECT_EQ(readFile(folder / "real.mid"), HI_MIDI);
}

TEST_F(DriverTest, WritesToStandardOutputAfterTheStageText) {
    const ProgramResult result = runMeldrix(folder, {"song.zuno", "/dev/stdout"});
    EXPECT_EQ(result.exitStatus, 0);
    std::string expected = hiTranscript(lyrics.compressedLength, music.compressedLength);
    expected.insert(expected.size() - std::string("Done\n").size(), std::string(HI_MIDI.begin(), HI_MIDI.end()));
    EXPECT_EQ(result.out, expected);
}

struct UsageCase {
    const char* why;
    std::vector<std::string> arguments;
    int exitStatus;
    std::string transcript;
};

TEST(Usage, AnswersTheCommandLineWithoutTouchingFiles) {
    const UsageCase cases[] = {
        {"no arguments", {}, 2, BANNER + USAGE},
        {"one argument", {"song.zuno"}, 2, BANNER + USAGE},
        {"help", {"--help"}, 0, BANNER + USAGE},
        {"short help", {"-h"}, 0, BANNER + USAGE},
        {"version", {"--version"}, 0, BANNER},
    };
    for (const UsageCase& c : cases) {
        TemporaryFolder folder;
        const ProgramResult result = runMeldrix(folder, c.arguments);
        EXPECT_EQ(result.exitStatus, c.exitStatus) << c.why;
        EXPECT_EQ(result.out, c.transcript) << c.why;
        EXPECT_EQ(result.err, "") << c.why;
        EXPECT_TRUE(folderEntries(folder.path()).empty()) << c.why;
    }
}

TEST_F(DriverTest, AMissingOrUnreadableSongFileLeavesTheOutputAlone) {
    writeFile(midi, bytesOf("keep me"));
    std::filesystem::create_directory(folder / "folder.zuno");
    for (const std::string input : {"missing.zuno", "folder.zuno", ""}) {
        const ProgramResult result = runMeldrix(folder, {input, "song.mid"});
        EXPECT_EQ(result.exitStatus, 1) << input;
        EXPECT_EQ(result.out, BANNER + "Cannot open input file " + input + "\n");
        EXPECT_EQ(readFile(midi), bytesOf("keep me"));
    }
}

TEST_F(DriverTest, AnOutputThatCannotBeWrittenIsRefusedBeforeReading) {
    std::filesystem::create_directory(folder / "folder.mid");
    for (const std::string output : {"missing/song.mid", "folder.mid", "", "song.zuno/x.mid"}) {
        const ProgramResult result = runMeldrix(folder, {"song.zuno", output});
        EXPECT_EQ(result.exitStatus, 1) << output;
        EXPECT_EQ(result.out, BANNER + "Cannot open output file " + output + "\n");
        EXPECT_EQ(folderEntries(folder.path()), (std::vector<std::string>{"folder.mid", "song.zuno"})) << output;
    }
}

// Song files that stop the run at a header field. Each leaves an existing output untouched.
struct EarlyStopCase {
    const char* why;
    std::vector<std::uint8_t> file;
    std::string transcript;  // after the banner
};

std::vector<std::uint8_t> withMusicHeader(std::vector<std::uint8_t> lyricPart, std::vector<std::uint8_t> header) {
    lyricPart.insert(lyricPart.end(), header.begin(), header.end());
    return lyricPart;
}

TEST(EarlyStop, BadOrMissingLengthFieldsStopTheRunAndKeepTheOutput) {
    // A lyric section of ten records, so the lyric stage prints its dot before the music fails.
    std::vector<std::uint8_t> tenRecords;
    for (std::uint16_t i = 0; i < 10; ++i) addLyricRecord(tenRecords, 'a', static_cast<std::uint16_t>(i * 10));
    const SongSection lyrics = compressedSection(tenRecords);
    std::vector<std::uint8_t> lyricPart = songFileBytes(lyrics, SongSection{});
    lyricPart.resize(lyricPart.size() - 12);  // keep only the lyric section
    char lyricStage[512];
    std::snprintf(lyricStage, sizeof lyricStage,
                  "Getting lyric compressed length... 0x%08X\n"
                  "Getting lyric uncompressed length... 0x00000028\n"
                  "Reading compressed lyric part into a buffer... Done\n"
                  "Decompressing the lyric part... Done\n"
                  "Converting the lyric into MIDI format.Done\n",
                  lyrics.compressedLength);
    const std::string lyricLines = lyricStage;

    const EarlyStopCase cases[] = {
        {"negative lyric compressed length", {0x80, 0, 0, 0, 0, 0, 0, 0},
         "Getting lyric compressed length... Bad lyric compressed length 80000000\n"},
        {"negative lyric uncompressed length", {0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF},
         "Getting lyric compressed length... 0x00000000\n"
         "Getting lyric uncompressed length... Bad lyric uncompressed length FFFFFFFF\n"},
        {"negative music compressed length", withMusicHeader(lyricPart, {0xFF, 0xFF, 0xFF, 0xFE, 0, 0, 0, 0}),
         lyricLines + "Getting MIDI compressed length... Bad MIDI compressed length FFFFFFFE\n"},
        {"negative music uncompressed length", withMusicHeader(lyricPart, {0, 0, 0, 0, 0x80, 0, 0, 1}),
         lyricLines + "Getting MIDI compressed length... 0x00000000\n"
                      "Getting MIDI uncompressed length... Bad MIDI uncompressed length 80000001\n"},
        {"empty file", {}, "Getting lyric compressed length... Unexpected end of input file\n"},
        {"file ends inside the first field", {0, 0, 0}, "Getting lyric compressed length... Unexpected end of input file\n"},
        {"file ends inside the second field", {0, 0, 0, 0, 0, 0},
         "Getting lyric compressed length... 0x00000000\n"
         "Getting lyric uncompressed length... Unexpected end of input file\n"},
        {"file ends before the music header", lyricPart, lyricLines + "Getting MIDI compressed length... Unexpected end of input file\n"},
        {"file ends inside the music header", withMusicHeader(lyricPart, {0, 0, 0, 0, 0, 0}),
         lyricLines + "Getting MIDI compressed length... 0x00000000\n"
                      "Getting MIDI uncompressed length... Unexpected end of input file\n"},
    };
    for (const EarlyStopCase& c : cases) {
        TemporaryFolder folder;
        writeFile(folder / "song.zuno", c.file);
        writeFile(folder / "song.mid", bytesOf("an older conversion"));
        const ProgramResult result = runMeldrix(folder, {"song.zuno", "song.mid"});
        EXPECT_EQ(result.exitStatus, 1) << c.why;
        EXPECT_EQ(result.out, BANNER + c.transcript) << c.why;
        EXPECT_EQ(readFile(folder / "song.mid"), bytesOf("an older conversion")) << c.why;
        EXPECT_EQ(folderEntries(folder.path()), (std::vector<std::string>{"song.mid", "song.zuno"})) << c.why;

        // Without an existing output, no file is left behind.
        std::filesystem::remove(folder / "song.mid");
        EXPECT_EQ(runMeldrix(folder, {"song.zuno", "song.mid"}).exitStatus, 1) << c.why;
        EXPECT_EQ(folderEntries(folder.path()), (std::vector<std::string>{"song.zuno"})) << c.why;
    }
}

TEST(TruncatedStream, IsDecodedFromTheBytesTheFileHoldsAndTheRunCompletes) {
    // The music stream loses its last 2 bytes: the header still claims them.
    std::vector<std::uint8_t> music;
    for (int i = 0; i < 30; ++i) addMusicRecord(music, 1, 0, 0xB0, static_cast<std::uint8_t>(i), 0);
    const SongSection lyrics = compressedSection(hiLyrics());
    const SongSection musicSection = compressedSection(music);
    std::vector<std::uint8_t> file = songFileBytes(lyrics, musicSection);
    file.resize(file.size() - 2);

    TemporaryFolder folder;
    writeFile(folder / "song.zuno", file);
    const ProgramResult result = runMeldrix(folder, {"song.zuno", "song.mid"});
    EXPECT_EQ(result.exitStatus, 0);
    char expected[256];
    std::snprintf(expected, sizeof expected,
                  "Reading the MIDI compress data into a buffer... Input file too short: expected 0x%08X actual: 0x%08x\n",
                  musicSection.compressedLength, musicSection.compressedLength - 2);
    EXPECT_NE(result.out.find(expected), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("Uncompressed MIDI sizes don't match expected: 0x00000096 actual: 0x"), std::string::npos)
        << result.out;
    EXPECT_TRUE(result.out.ends_with("Writing the MIDI buffer to the file... Done\n"));
}

TEST(Shortfall, ShowsTheDeclaredLengthInUpperCaseAndTheProducedCountInLowerCase) {
    // Twelve bytes of lyric records declared as 0x1A: the decoder produces 0x0c.
    std::vector<std::uint8_t> lyrics;
    for (int i = 0; i < 3; ++i) addLyricRecord(lyrics, 'x', static_cast<std::uint16_t>(i));
    SongSection lyricSection = compressedSection(lyrics);
    lyricSection.decodedLength = 0x1A;
    TemporaryFolder folder;
    writeFile(folder / "song.zuno", songFileBytes(lyricSection, compressedSection(oneNote())));
    const ProgramResult result = runMeldrix(folder, {"song.zuno", "song.mid"});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_NE(result.out.find("Decompressing the lyric part... Uncompressed lyric sizes don't match expected: "
                              "0x0000001A actual: 0x0000000c\nDone\n"),
              std::string::npos)
        << result.out;
}

TEST(EmptySections, WriteBothTracksWithNoEvents) {
    TemporaryFolder folder;
    writeFile(folder / "song.zuno", songFileBytes(SongSection{}, SongSection{}));
    const ProgramResult result = runMeldrix(folder, {"song.zuno", "song.mid"});
    EXPECT_EQ(result.exitStatus, 0);
    const std::vector<std::uint8_t> preamble = {'M', 'T', 'r', 'k', 0, 0, 0, 19, 0x00, 0xFF, 0x58, 0x04, 0x04, 0x02,
                                                0x18, 0x08, 0x00, 0xFF, 0x51, 0x03, 0x07, 0x00, 0x00, 0x00, 0xFF, 0x2F, 0x00};
    std::vector<std::uint8_t> expected = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, 2, 0, 27};
    expected.insert(expected.end(), preamble.begin(), preamble.end());
    expected.insert(expected.end(), preamble.begin(), preamble.end());
    EXPECT_EQ(readFile(folder / "song.mid"), expected);
}

TEST(TrackTooLong, ADeltaTimeNoMidiFileCanHoldStopsTheRunAndWritesNothing) {
    // Unrecognised records carry their deltas into the next delta time written; this many of
    // them at 255 ticks carry past 0x0FFFFFFF, the largest delta time a MIDI file can hold.
    std::vector<std::uint8_t> music;
    const std::size_t carried = 0x0FFFFFFF / 255 + 1;
    for (std::size_t i = 0; i < carried; ++i) addMusicRecord(music, 255, 0, 0x10, 0, 0);
    addMusicRecord(music, 0, 0, 0xB0, 7, 100);  // its delta time takes the carry; a dot follows it
    TemporaryFolder folder;
    writeFile(folder / "song.zuno", songFile(hiLyrics(), music));
    writeFile(folder / "song.mid", bytesOf("an older conversion"));
    const ProgramResult result = runMeldrix(folder, {"song.zuno", "song.mid"});
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_TRUE(result.out.ends_with("Unrecognize code 10\n.Track too long for a MIDI file\n"))
        << result.out.substr(result.out.size() - 200);
    EXPECT_EQ(readFile(folder / "song.mid"), bytesOf("an older conversion"));
    EXPECT_EQ(folderEntries(folder.path()), (std::vector<std::string>{"song.mid", "song.zuno"}));
}

}  // namespace
}  // namespace meldrix::testing
