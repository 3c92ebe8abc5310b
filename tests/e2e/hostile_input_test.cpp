// Crafted song files that try to make the converter read or write out of bounds, loop, or take
// memory on a header's word. Every run must end with the expected messages, exit status and
// output, print nothing on the error stream (where a sanitizer would report), and, outside
// AddressSanitizer builds, convert within an address-space limit set by what the song really
// decodes to.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <optional>
#include <stdexcept>

#include "e2e/e2e_support.h"
#include "support/address_space_limit.h"
#include "support/crafted_streams.h"
#include "support/expected_midi.h"
#include "support/lzw_encoder.h"
#include "support/smf_reader.h"
#include "support/song_generator.h"

namespace meldrix::testing {
namespace {

constexpr std::uint64_t KIB = 1024;
constexpr std::uint64_t MIB = 1024 * KIB;
// The memory budget of a song (see addressSpaceBudget).
constexpr std::uint64_t FIXED_ALLOWANCE = 4 * MIB;
constexpr std::uint64_t DECODED_MULTIPLE = 16;

const std::string OLDER_OUTPUT = "an older conversion";
const std::string WRITING_DONE = "Writing the MIDI buffer to the file... Done\n";
const std::string UNEXPECTED_END = "Unexpected end of input file\n";

std::string formatted(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string formatted(const char* format, ...) {
    char text[512];
    std::va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

std::uint32_t bigEndianAt(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return std::uint32_t{bytes[at]} << 24 | std::uint32_t{bytes[at + 1]} << 16 | std::uint32_t{bytes[at + 2]} << 8 |
           std::uint32_t{bytes[at + 3]};
}

// ---- Memory ----

// The smallest address space the program converts a tiny song in (to 256 KiB), measured once.
std::uint64_t baselineAddressSpace() {
    static const std::uint64_t baseline = [] {
        TemporaryFolder folder;
        std::vector<std::uint8_t> lyrics;
        std::vector<std::uint8_t> music;
        addLyricRecord(lyrics, 'x', 1);
        addMusicRecord(music, 1, 10, 0x00, 60, 100);
        writeFile(folder / "song.zuno", songFile(lyrics, music));
        auto convertsWithin = [&](std::uint64_t limit) {
            return runProgramWithin(MELDRIX_EXECUTABLE, {"song.zuno", "song.mid"}, folder.path(), limit).exitStatus == 0;
        };
        std::uint64_t refused = 0;
        std::uint64_t converts = 1024 * MIB;
        if (!convertsWithin(converts)) throw std::runtime_error("a tiny song does not convert within 1 GiB");
        while (converts - refused > 256 * KIB) {
            const std::uint64_t middle = refused + (converts - refused) / 2;
            if (convertsWithin(middle)) {
                converts = middle;
            } else {
                refused = middle;
            }
        }
        return converts;
    }();
    return baseline;
}

// The address space a song may take: that of a tiny song, plus a fixed allowance for what does
// not grow with the song, plus a small multiple of the bytes the song really decodes to (the
// decoded sections, the track buffers, the pending note-offs and their growth). None under
// AddressSanitizer, whose shadow memory takes terabytes of address space.
std::optional<std::uint64_t> addressSpaceBudget(std::uint64_t decodedBytes) {
    if (ADDRESS_SANITIZER_BUILD) return std::nullopt;
    return baselineAddressSpace() + FIXED_ALLOWANCE + DECODED_MULTIPLE * decodedBytes;
}

// ---- Expected console text ----

struct SectionTexts {
    const char* gettingCompressed;
    const char* gettingDecoded;
    const char* reading;
    const char* decompressing;
    const char* shortfall;
    const char* converting;
    std::uint64_t recordSize;
};

const SectionTexts LYRIC = {"Getting lyric compressed length... ",
                            "Getting lyric uncompressed length... ",
                            "Reading compressed lyric part into a buffer... ",
                            "Decompressing the lyric part... ",
                            "Uncompressed lyric sizes don't match expected: 0x%08X actual: 0x%08x\n",
                            "Converting the lyric into MIDI format",
                            4};
const SectionTexts MUSIC = {"Getting MIDI compressed length... ",
                            "Getting MIDI uncompressed length... ",
                            "Reading the MIDI compress data into a buffer... ",
                            "Decompressing the MIDI part... ",
                            "Uncompressed MIDI sizes don't match expected: 0x%08X actual: 0x%08x\n",
                            "Converting the MIDI part to MIDI format",
                            5};

// How one section whose header is valid goes through its stages.
struct SectionRun {
    std::uint32_t compressedLength = 0;   // as the header says
    std::uint32_t decodedLength = 0;      // as the header says
    std::uint64_t streamBytesInFile = 0;  // what the file holds of the stream
    std::uint64_t produced = 0;           // bytes the decoder stores
    std::string decoderMessage;           // printed while decoding
    std::string conversionText;           // printed while converting, when not only dots
};

// Records converted: those starting below the smaller of the declared and the produced length.
std::uint64_t recordsConverted(const SectionRun& run, std::uint64_t recordSize) {
    const std::uint64_t covered = std::min<std::uint64_t>(run.decodedLength, run.produced);
    return (covered + recordSize - 1) / recordSize;
}

std::string progressDots(std::uint64_t records) { return std::string(records / 10, '.'); }

std::string headerLines(const SectionTexts& texts, std::uint32_t compressedLength, std::uint32_t decodedLength) {
    return texts.gettingCompressed + formatted("0x%08X\n", compressedLength) + texts.gettingDecoded +
           formatted("0x%08X\n", decodedLength);
}

// The lines of a section up to and including its decompression.
std::string linesUpToDecoding(const SectionTexts& texts, const SectionRun& run) {
    std::string lines = headerLines(texts, run.compressedLength, run.decodedLength) + texts.reading;
    if (run.streamBytesInFile < run.compressedLength) {
        lines += formatted("Input file too short: expected 0x%08X actual: 0x%08x\n", run.compressedLength,
                           static_cast<std::uint32_t>(run.streamBytesInFile));
    } else {
        lines += "Done\n";
    }
    lines += texts.decompressing + run.decoderMessage;
    if (run.produced < run.decodedLength) {
        lines += formatted(texts.shortfall, run.decodedLength, static_cast<std::uint32_t>(run.produced));
    }
    return lines + "Done\n";
}

std::string sectionLines(const SectionTexts& texts, const SectionRun& run) {
    const std::string converting =
        run.conversionText.empty() ? progressDots(recordsConverted(run, texts.recordSize)) : run.conversionText;
    return linesUpToDecoding(texts, run) + texts.converting + converting + "Done\n";
}

// The records a conversion reads from what a section decoded to: whole records starting below
// the covered length, the bytes of a last partial record past the decoded ones reading as 0.
std::vector<std::uint8_t> recordsRead(std::span<const std::uint8_t> decoded, std::uint64_t declared,
                                      std::uint64_t recordSize) {
    const std::uint64_t covered = std::min<std::uint64_t>(declared, decoded.size());
    std::vector<std::uint8_t> records((covered + recordSize - 1) / recordSize * recordSize, 0);
    std::copy_n(decoded.begin(), std::min(records.size(), decoded.size()), records.begin());
    return records;
}

// ---- One hostile run ----

struct HostileCase {
    std::string why;
    std::vector<std::uint8_t> file;
    int exitStatus = 0;
    std::string transcript;          // after the banner
    bool transcriptIsComplete = true;  // otherwise the run's text starts with it and ends converted
    // What the MIDI file holds when the run converts: the records read from each section (no
    // music check when unknown).
    std::vector<std::uint8_t> lyricRecords;
    std::optional<std::vector<std::uint8_t>> musicRecords;
    std::uint64_t decodedBytes = 0;  // what the song really decodes to, for the memory budget
};

void expectEveryNoteEnded(const MidiTrack& track, const std::string& why) {
    for (const HeardNote& note : notesOf(track)) {
        EXPECT_NE(note.offTick, -1) << why << ": note " << int{note.note} << " on channel " << int{note.channel}
                                    << " at tick " << note.onTick << " never ends";
    }
}

void expectHostileRun(const HostileCase& c) {
    TemporaryFolder folder;
    writeFile(folder / "song.zuno", c.file);
    // An existing output that an early stop must leave alone.
    writeFile(folder / "song.mid", bytesOf(OLDER_OUTPUT));
    const std::optional<std::uint64_t> budget = addressSpaceBudget(c.decodedBytes);
    const ProgramResult result =
        runProgramWithin(MELDRIX_EXECUTABLE, {"song.zuno", "song.mid"}, folder.path(), budget);
    if (budget) {
        EXPECT_EQ(result.out.find("Out of memory"), std::string::npos)
            << c.why << ": needs more than " << *budget / KIB << " KiB of address space for " << c.decodedBytes
            << " decoded bytes; a tiny song converts within " << baselineAddressSpace() / KIB << " KiB";
    }

    EXPECT_EQ(result.exitStatus, c.exitStatus) << c.why << "\n" << result.out << result.err;
    EXPECT_EQ(result.err, "") << c.why;
    if (c.transcriptIsComplete) {
        EXPECT_EQ(result.out, BANNER + c.transcript) << c.why;
    } else {
        EXPECT_TRUE(result.out.starts_with(BANNER + c.transcript)) << c.why << "\n" << result.out;
        EXPECT_TRUE(result.out.ends_with(WRITING_DONE)) << c.why << "\n" << result.out;
    }

    if (c.exitStatus != 0) {
        EXPECT_EQ(readFile(folder / "song.mid"), bytesOf(OLDER_OUTPUT)) << c.why;
        EXPECT_EQ(folderEntries(folder.path()), (std::vector<std::string>{"song.mid", "song.zuno"})) << c.why;
        return;
    }
    const MidiReadResult midi = readMidiStrictly(readFile(folder / "song.mid"));
    ASSERT_TRUE(midi.file) << c.why << ": " << midi.error;
    EXPECT_EQ(midi.file->format, 1) << c.why;
    EXPECT_EQ(midi.file->division, 27) << c.why;
    ASSERT_EQ(midi.file->tracks.size(), 2u) << c.why;
    EXPECT_EQ(lyricEventsOf(midi.file->tracks[0]), expectedLyricEvents(c.lyricRecords)) << c.why;
    if (c.musicRecords) {
        EXPECT_EQ(musicEventsOf(midi.file->tracks[1]), expectedMusicEvents(*c.musicRecords)) << c.why;
    }
    expectEveryNoteEnded(midi.file->tracks[1], c.why);
}

// ---- Song parts ----

// A section header: the two lengths big-endian, then 4 spare bytes.
std::vector<std::uint8_t> sectionHeader(std::uint32_t compressedLength, std::uint32_t decodedLength) {
    std::vector<std::uint8_t> header;
    for (const std::uint32_t value : {compressedLength, decodedLength, 0u}) {
        for (int shift = 24; shift >= 0; shift -= 8) header.push_back(static_cast<std::uint8_t>(value >> shift));
    }
    return header;
}

std::vector<std::uint8_t> joined(std::initializer_list<std::vector<std::uint8_t>> parts) {
    std::vector<std::uint8_t> all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

std::vector<std::uint8_t> lyricText(const std::string& text, std::uint16_t firstTime, std::uint16_t step) {
    std::vector<std::uint8_t> records;
    for (std::size_t i = 0; i < text.size(); ++i) {
        addLyricRecord(records, static_cast<std::uint8_t>(text[i]), static_cast<std::uint16_t>(firstTime + i * step));
    }
    return records;
}

// A section holding the whole stream, declared to decode to decodedLength bytes.
SongSection declaredAs(std::vector<std::uint8_t> stream, std::size_t decodedLength) {
    const auto compressedLength = static_cast<std::uint32_t>(stream.size());
    return {compressedLength, static_cast<std::uint32_t>(decodedLength), std::move(stream)};
}

std::vector<std::uint8_t> oneNote() {
    std::vector<std::uint8_t> music;
    addMusicRecord(music, 3, 20, 0x00, 60, 100);
    return music;
}

// ---- The cases ----

TEST(HostileInput, FortyByteFilesDeclaringTheLargestLengthsTakeLittleMemory) {
    // The lyric header claims 0x7FFFFFFF bytes twice; the file holds 28 bytes of its stream (18
    // literal codes) and so no music header.
    const std::vector<std::uint8_t> hello = lyricText("Hello", 1, 9);
    std::vector<std::uint8_t> cutStream = literalStream(hello);
    cutStream.resize(28);
    const std::vector<std::uint8_t> lyricDecodes = literalStreamDecodedPrefix(hello, 28);
    const SectionRun bothClaimsLyric{0x7FFFFFFF, 0x7FFFFFFF, 28, lyricDecodes.size(), "", ""};

    // Both headers claim 0x7FFFFFFF decoded bytes, the music header as many compressed ones; one
    // lyric record and one note are there, the music stream ended by END_CODE and a spare byte.
    std::vector<std::uint8_t> lyric;
    addLyricRecord(lyric, 'A', 1);
    const std::vector<std::uint8_t> lyricStream = literalStream(lyric);
    std::vector<std::uint8_t> musicStream = literalStream(oneNote(), true);
    musicStream.push_back(0xAB);
    const std::vector<std::uint8_t> bothHeadersFile =
        joined({sectionHeader(static_cast<std::uint32_t>(lyricStream.size()), 0x7FFFFFFF), lyricStream,
                sectionHeader(0x7FFFFFFF, 0x7FFFFFFF), musicStream});
    const SectionRun smallLyric{static_cast<std::uint32_t>(lyricStream.size()), 0x7FFFFFFF, lyricStream.size(),
                                lyric.size(), "", ""};
    const SectionRun claimingMusic{0x7FFFFFFF, 0x7FFFFFFF, musicStream.size(), oneNote().size(), "", ""};

    const HostileCase cases[] = {
        {"the lyric header claims 0x7FFFFFFF twice",
         joined({sectionHeader(0x7FFFFFFF, 0x7FFFFFFF), cutStream}),
         1,
         sectionLines(LYRIC, bothClaimsLyric) + MUSIC.gettingCompressed + UNEXPECTED_END,
         true,
         {},
         {},
         lyricDecodes.size()},
        {"both headers claim 0x7FFFFFFF decoded bytes",
         bothHeadersFile,
         0,
         sectionLines(LYRIC, smallLyric) + sectionLines(MUSIC, claimingMusic) + WRITING_DONE,
         true,
         lyric,
         oneNote(),
         lyric.size() + oneNote().size()},
    };
    for (const HostileCase& c : cases) {
        ASSERT_EQ(c.file.size(), 40u) << c.why;
        expectHostileRun(c);
    }
}

TEST(HostileInput, AChainThatLoopsAfterTheTableWrapsStopsTheSectionNotTheRun) {
    const std::string FATAL = "Fatal error during code expansion.\n";
    // In the lyric section, 'a' bytes: records of 'a' at time 0x6161. In the music section, zero
    // bytes: note-ons of velocity 0 at delta 0. Each section is declared 152 bytes longer than
    // what the stream decodes to before the loop, so the shortfall line shows the count stored.
    const ChainLoopStream lyricLoop = wrapMadeChainLoop('a');
    const ChainLoopStream musicLoop = wrapMadeChainLoop(0x00);
    auto loopRun = [&](const ChainLoopStream& loop) {
        const auto produced = static_cast<std::uint32_t>(loop.decodedBeforeFailure.size());
        return SectionRun{static_cast<std::uint32_t>(loop.stream.size()), produced + 152, loop.stream.size(),
                          produced, FATAL, ""};
    };
    auto sectionOf = [](const ChainLoopStream& loop) {
        const auto produced = static_cast<std::uint32_t>(loop.decodedBeforeFailure.size());
        return SongSection{static_cast<std::uint32_t>(loop.stream.size()), produced + 152, loop.stream};
    };
    const SongSection note = compressedSection(oneNote());
    const std::vector<std::uint8_t> greeting = lyricText("Hi", 1, 5);
    const SongSection lyrics = compressedSection(greeting);
    const SectionRun noteRun{note.compressedLength, note.decodedLength, note.stream.size(), oneNote().size(), "", ""};
    const SectionRun lyricRun{lyrics.compressedLength, lyrics.decodedLength, lyrics.stream.size(), greeting.size(),
                              "", ""};

    const HostileCase cases[] = {
        {"the loop in the lyric section",
         songFileBytes(sectionOf(lyricLoop), note),
         0,
         sectionLines(LYRIC, loopRun(lyricLoop)) + sectionLines(MUSIC, noteRun) + WRITING_DONE,
         true,
         recordsRead(lyricLoop.decodedBeforeFailure, loopRun(lyricLoop).decodedLength, 4),
         oneNote(),
         lyricLoop.decodedBeforeFailure.size() + oneNote().size()},
        {"the loop in the music section, after a lyric section of its own",
         songFileBytes(lyrics, sectionOf(musicLoop)),
         0,
         sectionLines(LYRIC, lyricRun) + sectionLines(MUSIC, loopRun(musicLoop)) + WRITING_DONE,
         true,
         greeting,
         recordsRead(musicLoop.decodedBeforeFailure, loopRun(musicLoop).decodedLength, 5),
         greeting.size() + musicLoop.decodedBeforeFailure.size()},
    };
    for (const HostileCase& c : cases) expectHostileRun(c);
}

TEST(HostileInput, AStreamThatDecodesToFarMoreThanDeclaredStopsTenBytesPastIt) {
    // 8 MiB of records each, compressed to a few KiB; the headers declare ten records each.
    constexpr std::size_t STREAM_DECODES_TO = 8 * MIB;
    std::vector<std::uint8_t> lyricPattern;
    addLyricRecord(lyricPattern, 'o', 5);
    addLyricRecord(lyricPattern, 'h', 0);
    std::vector<std::uint8_t> musicPattern;
    addMusicRecord(musicPattern, 4, 2, 0x03, 67, 90);
    addMusicRecord(musicPattern, 0, 0, 0xB3, 10, 40);
    auto repeated = [&](const std::vector<std::uint8_t>& pattern) {
        std::vector<std::uint8_t> bytes(STREAM_DECODES_TO);
        for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = pattern[i % pattern.size()];
        return bytes;
    };
    const std::vector<std::uint8_t> lyrics = repeated(lyricPattern);
    const std::vector<std::uint8_t> music = repeated(musicPattern);
    const SongSection lyricSection = declaredAs(lzwEncode(lyrics), 40);
    const SongSection musicSection = declaredAs(lzwEncode(music), 50);

    // The decoder stores declared + 10 bytes: no shortfall, ten records converted in each.
    const SectionRun lyricRun{lyricSection.compressedLength, 40, lyricSection.stream.size(), 50, "", ""};
    const SectionRun musicRun{musicSection.compressedLength, 50, musicSection.stream.size(), 60, "", ""};
    expectHostileRun({"ten records declared in each section",
                      songFileBytes(lyricSection, musicSection),
                      0,
                      sectionLines(LYRIC, lyricRun) + sectionLines(MUSIC, musicRun) + WRITING_DONE,
                      true,
                      std::vector<std::uint8_t>(lyrics.begin(), lyrics.begin() + 40),
                      std::vector<std::uint8_t>(music.begin(), music.begin() + 50),
                      50 + 60});
}

TEST(HostileInput, ALyricLengthThatEndsInsideTheLyricStreamPutsTheMusicHeaderThere) {
    // The lyric stream is written with literal codes, 6 bytes per record, and its header claims
    // only the first 12 records (72 bytes): the music header is read from the 6 bytes of record 12
    // and the 6 of record 13. The time of record 12 decides what that header says.
    struct Case {
        const char* why;
        std::uint16_t timeOfRecord12;
        bool convertsAfterAll;
    };
    const Case cases[] = {
        {"the music header read there holds a negative length", 0x001B, false},
        {"the music header read there claims about 100 MB and 1.8 GB", 0x0137, true},
    };
    const std::string text = "Happy birthday to you, happy birthday";
    for (const Case& c : cases) {
        std::vector<std::uint8_t> lyrics = lyricText(text, 10, 3);
        lyrics[12 * 4 + 2] = static_cast<std::uint8_t>(c.timeOfRecord12 & 0xFF);
        lyrics[12 * 4 + 3] = static_cast<std::uint8_t>(c.timeOfRecord12 >> 8);
        const std::vector<std::uint8_t> stream = literalStream(lyrics);
        const auto decodedLength = static_cast<std::uint32_t>(lyrics.size());
        const std::vector<std::uint8_t> file = songFileBytes(SongSection{72, decodedLength, stream}, compressedSection(oneNote()));

        const std::vector<std::uint8_t> lyricsDecoded = literalStreamDecodedPrefix(lyrics, 72);
        ASSERT_EQ(lyricsDecoded.size(), 48u);
        const SectionRun lyricRun{72, decodedLength, 72, lyricsDecoded.size(), "", ""};
        const std::uint32_t musicCompressed = bigEndianAt(file, 12 + 72);
        const std::uint32_t musicDecoded = bigEndianAt(file, 12 + 72 + 4);
        ASSERT_LT(musicCompressed, 0x80000000u) << c.why;
        ASSERT_EQ(musicDecoded < 0x80000000u, c.convertsAfterAll) << c.why;

        HostileCase run{c.why, file, 0, sectionLines(LYRIC, lyricRun), true, lyricsDecoded, std::nullopt,
                        lyricsDecoded.size()};
        if (!c.convertsAfterAll) {
            run.exitStatus = 1;
            run.transcript += MUSIC.gettingCompressed + formatted("0x%08X\n", musicCompressed) + MUSIC.gettingDecoded +
                              formatted("Bad MIDI uncompressed length %08X\n", musicDecoded);
            expectHostileRun(run);
            continue;
        }
        // What the rest of the file decodes to as music is beside the point; that memory follows
        // the bytes there, not the claims, is the point. The stream runs to the end of the file.
        const std::uint64_t musicInFile = file.size() - (12 + 72 + 12);
        run.transcript += headerLines(MUSIC, musicCompressed, musicDecoded) + MUSIC.reading +
                          formatted("Input file too short: expected 0x%08X actual: 0x%08x\n", musicCompressed,
                                    static_cast<std::uint32_t>(musicInFile)) +
                          MUSIC.decompressing;
        run.transcriptIsComplete = false;
        // Any stream of that many bytes decodes to at most 4095 bytes per 12-bit code.
        run.decodedBytes += musicInFile * 8 / 12 * 4095;
        expectHostileRun(run);
    }
}

TEST(HostileInput, ASongCutAtEveryByteStopsOrConvertsWhatItHolds) {
    // Both streams are written with literal codes, so that what every cut decodes to is known.
    const std::vector<std::uint8_t> lyrics = lyricText("Hello world!", 7, 4);
    std::vector<std::uint8_t> music;
    addMusicRecord(music, 0, 0, 0xC0, 5, 0);
    addMusicRecord(music, 0, 20, 0x00, 60, 100);
    addMusicRecord(music, 10, 30, 0x01, 64, 90);
    addMusicRecord(music, 5, 0, 0xB0, 7, 100);
    addMusicRecord(music, 3, 0, 0xE0, 0, 64);
    addMusicRecord(music, 7, 0, 0x09, 36, 110);
    const SongSection lyricStored = declaredAs(literalStream(lyrics), lyrics.size());
    const SongSection musicStored = declaredAs(literalStream(music), music.size());
    const std::vector<std::uint8_t> song = songFileBytes(lyricStored, musicStored);
    const std::uint64_t lyricLength = lyricStored.compressedLength;
    const std::uint64_t musicHeaderAt = 12 + lyricLength;

    auto sectionCut = [](const SongSection& section, const std::vector<std::uint8_t>& data, std::uint64_t streamAt,
                         std::uint64_t fileSize, std::vector<std::uint8_t>& decoded) {
        const std::uint64_t inFile = std::min<std::uint64_t>(fileSize > streamAt ? fileSize - streamAt : 0,
                                                             section.compressedLength);
        decoded = literalStreamDecodedPrefix(data, inFile);
        return SectionRun{section.compressedLength, section.decodedLength, inFile, decoded.size(), "", ""};
    };

    for (std::uint64_t size = 0; size <= song.size(); ++size) {
        HostileCase c{"cut after " + std::to_string(size) + " bytes",
                      std::vector<std::uint8_t>(song.begin(), song.begin() + static_cast<std::ptrdiff_t>(size)),
                      1, "", true, {}, {}, 0};
        if (size < 4) {
            c.transcript = LYRIC.gettingCompressed + UNEXPECTED_END;
        } else if (size < 8) {
            c.transcript = LYRIC.gettingCompressed + formatted("0x%08X\n", lyricStored.compressedLength) +
                           LYRIC.gettingDecoded + UNEXPECTED_END;
        } else {
            std::vector<std::uint8_t> lyricDecoded;
            const SectionRun lyricRun = sectionCut(lyricStored, lyrics, 12, size, lyricDecoded);
            c.transcript = sectionLines(LYRIC, lyricRun);
            c.decodedBytes = lyricDecoded.size();
            if (size < musicHeaderAt + 4) {
                c.transcript += MUSIC.gettingCompressed + UNEXPECTED_END;
            } else if (size < musicHeaderAt + 8) {
                c.transcript += MUSIC.gettingCompressed + formatted("0x%08X\n", musicStored.compressedLength) +
                                MUSIC.gettingDecoded + UNEXPECTED_END;
            } else {
                std::vector<std::uint8_t> musicDecoded;
                const SectionRun musicRun = sectionCut(musicStored, music, musicHeaderAt + 12, size, musicDecoded);
                c.transcript += sectionLines(MUSIC, musicRun) + WRITING_DONE;
                c.exitStatus = 0;
                c.lyricRecords = recordsRead(lyricDecoded, lyricStored.decodedLength, 4);
                c.musicRecords = recordsRead(musicDecoded, musicStored.decodedLength, 5);
                c.decodedBytes += musicDecoded.size();
            }
        }
        expectHostileRun(c);
        if (::testing::Test::HasFailure()) break;  // one cut's failures tell enough
    }
}

// A song whose two sections, compressed whole, convert in full: the complete transcript, and the
// music events compared with the records when compareMusic.
HostileCase convertingSong(std::string why, const std::vector<std::uint8_t>& lyric,
                           const std::vector<std::uint8_t>& music, bool compareMusic) {
    const SongSection lyricSection = compressedSection(lyric);
    const SongSection musicSection = compressedSection(music);
    const SectionRun lyricRun{lyricSection.compressedLength, lyricSection.decodedLength, lyricSection.stream.size(),
                              lyric.size(), "", ""};
    const SectionRun musicRun{musicSection.compressedLength, musicSection.decodedLength, musicSection.stream.size(),
                              music.size(), "", ""};
    return {std::move(why),
            songFileBytes(lyricSection, musicSection),
            0,
            sectionLines(LYRIC, lyricRun) + sectionLines(MUSIC, musicRun) + WRITING_DONE,
            true,
            lyric,
            compareMusic ? std::optional(music) : std::nullopt,
            lyric.size() + music.size()};
}

TEST(HostileInput, AHundredThousandNoteOnsAtDeltaZeroAllEndOnTime) {
    std::vector<std::uint8_t> lyric;
    addLyricRecord(lyric, 'x', 0);
    expectHostileRun(convertingSong("100000 note-ons at delta 0, each lasting 255 ticks", lyric, allNotesAtOnce(100000),
                                    true));
}

// Thousands of notes ending at each of 64 ticks after the clock: the schedule keeps a queue per
// tick, all at once, each long enough to be a large buffer of its own; together they must still
// take memory in proportion to the notes they hold.
TEST(HostileInput, ThousandsOfNotesEndingAtManyTicksTakeMemoryInProportion) {
    std::vector<std::uint8_t> lyric;
    addLyricRecord(lyric, 'x', 0);
    constexpr int NOTES_PER_TICK = 8193;
    std::vector<std::uint8_t> music;
    for (int round = 0; round < NOTES_PER_TICK; ++round) {
        for (int duration = 0; duration < 64; ++duration) {
            addMusicRecord(music, 0, static_cast<std::uint8_t>(duration), 0x00, 60, 64);
        }
    }
    addMusicRecord(music, 1, 0, 0xB0, 7, 100);  // moves the clock: the notes of 0 and 1 tick end
    // Half a million note-offs: every note ending is what matters here, not each event compared.
    expectHostileRun(convertingSong("8193 notes ending at each of 64 ticks", lyric, music, false));
}

// A song that needs more memory than the program may have: a clear message, and nothing of the
// user's lost.
TEST(HostileInput, RunningOutOfMemoryStopsWithAMessageAndKeepsTheOutput) {
    if (ADDRESS_SANITIZER_BUILD) GTEST_SKIP() << "an address-space limit means nothing under AddressSanitizer";
    const SongRecords song = realisticSong(5, 200000, 1000000);  // about 6 MB decoded
    TemporaryFolder folder;
    writeFile(folder / "song.zuno", songFile(song.lyrics, song.music));
    writeFile(folder / "song.mid", bytesOf(OLDER_OUTPUT));
    const ProgramResult result = runProgramWithin(MELDRIX_EXECUTABLE, {"song.zuno", "song.mid"}, folder.path(),
                                                  baselineAddressSpace() + 2 * MIB);
    EXPECT_EQ(result.exitStatus, 1) << result.out;
    EXPECT_TRUE(result.out.ends_with("Out of memory\n")) << result.out;
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(readFile(folder / "song.mid"), bytesOf(OLDER_OUTPUT));
    EXPECT_EQ(folderEntries(folder.path()), (std::vector<std::string>{"song.mid", "song.zuno"}));
}

}  // namespace
}  // namespace meldrix::testing
