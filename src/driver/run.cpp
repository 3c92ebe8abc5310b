#include "driver/run.h"

#include <algorithm>
#include <cstdint>
#include <new>
#include <optional>

#include "convert/lyric_conversion.h"
#include "convert/music_conversion.h"
#include "convert/note_off_schedule.h"
#include "driver/output_file.h"
#include "lzw/lzw_decoder.h"
#include "midi/midi_file_writer.h"
#include "midi/track_table.h"
#include "songfile/section_header.h"
#include "songfile/song_file.h"

namespace meldrix {

namespace {

constexpr const char* BANNER = "ZUNO (TARVIK Karaoke File Format) to MIDI Converter, version 1.0.0\n\n";
constexpr const char* USAGE = "Usage: MELDRIX inputfilename outputfilename\n";
constexpr const char* TRACK_TOO_LONG = "Track too long for a MIDI file\n";

// The console texts that differ between the lyric and the music section.
struct SectionTexts {
    const char* gettingCompressed;
    const char* badCompressed;
    const char* gettingDecoded;
    const char* badDecoded;
    const char* reading;
    const char* decompressing;
    const char* shortfall;
};

constexpr SectionTexts LYRIC_TEXTS = {
    "Getting lyric compressed length... ",
    "Bad lyric compressed length %08X\n",
    "Getting lyric uncompressed length... ",
    "Bad lyric uncompressed length %08X\n",
    "Reading compressed lyric part into a buffer... ",
    "Decompressing the lyric part... ",
    "Uncompressed lyric sizes don't match expected: 0x%08X actual: 0x%08x\n",
};

constexpr SectionTexts MUSIC_TEXTS = {
    "Getting MIDI compressed length... ",
    "Bad MIDI compressed length %08X\n",
    "Getting MIDI uncompressed length... ",
    "Bad MIDI uncompressed length %08X\n",
    "Reading the MIDI compress data into a buffer... ",
    "Decompressing the MIDI part... ",
    "Uncompressed MIDI sizes don't match expected: 0x%08X actual: 0x%08x\n",
};

// Reads one length field with its stage line; nothing when the run must stop.
std::optional<std::uint64_t> readLength(SongFile& song, std::uint64_t position, const char* stageText,
                                        const char* badText, Console& console) {
    console.print(stageText);
    const std::optional<std::int32_t> field = song.readLengthField(position);
    if (!field) {
        console.print("Unexpected end of input file\n");
        return std::nullopt;
    }
    if (*field < 0) {
        console.printf(badText, static_cast<std::uint32_t>(*field));
        return std::nullopt;
    }
    console.printf("0x%08X\n", static_cast<std::uint32_t>(*field));
    return static_cast<std::uint64_t>(*field);
}

// A section read and decoded: its bytes and how many of them the conversion covers.
struct Section {
    std::uint64_t compressedLength = 0;
    DecodedSection decoded;
    std::uint64_t coveredLength = 0;  // the smaller of the declared and the produced length
};

// Reads a section's header and stream and decodes it; nothing when the run must stop.
std::optional<Section> readSection(SongFile& song, const SectionPositions& at, const SectionTexts& texts,
                                   Console& console) {
    Section section;
    const auto compressedLength =
        readLength(song, at.compressedLength, texts.gettingCompressed, texts.badCompressed, console);
    if (!compressedLength) return std::nullopt;
    const auto decodedLength = readLength(song, at.decodedLength, texts.gettingDecoded, texts.badDecoded, console);
    if (!decodedLength) return std::nullopt;
    section.compressedLength = *compressedLength;

    console.print(texts.reading);
    ByteBuffer compressed = song.readBlock(at.stream, *compressedLength);
    if (compressed.size() < *compressedLength) {
        console.printf("Input file too short: expected 0x%08X actual: 0x%08x\n",
                       static_cast<std::uint32_t>(*compressedLength), static_cast<std::uint32_t>(compressed.size()));
    } else {
        console.print("Done\n");
    }

    console.print(texts.decompressing);
    section.decoded = LzwDecoder::decode(compressed, *decodedLength + DECODED_SLACK, console);
    const std::uint64_t produced = section.decoded.produced();
    if (produced < *decodedLength) {
        console.printf(texts.shortfall, static_cast<std::uint32_t>(*decodedLength), static_cast<std::uint32_t>(produced));
    }
    section.coveredLength = std::min(*decodedLength, produced);
    compressed = {};  // released before the section is converted
    console.print("Done\n");
    return section;
}

// Completes a conversion's stage line: "Done\n", or the stop when a track no longer fits.
bool finishConversion(const TrackTable& table, Console& console) {
    if (table.overflowed()) {
        console.print(TRACK_TOO_LONG);
        return false;
    }
    console.print("Done\n");
    return true;
}

int convert(const std::string& inputPath, const std::string& outputPath, Console& console) {
    std::optional<SongFile> song = SongFile::open(inputPath);
    if (!song) {
        console.printf("Cannot open input file %s\n", inputPath.c_str());
        return EXIT_STOPPED;
    }
    std::optional<OutputFile> output = OutputFile::prepare(outputPath);
    if (!output) {
        console.printf("Cannot open output file %s\n", outputPath.c_str());
        return EXIT_STOPPED;
    }
    TrackTable table;
    table.clear();
    // Both tracks are written even when a section yields no event.
    table.openTrack(LYRIC_TRACK);
    table.openTrack(MUSIC_TRACK);

    std::uint64_t lyricCompressedLength = 0;
    {
        std::optional<Section> lyrics = readSection(*song, lyricSectionPositions(), LYRIC_TEXTS, console);
        if (!lyrics) return EXIT_STOPPED;
        lyricCompressedLength = lyrics->compressedLength;
        console.print("Converting the lyric into MIDI format");
        convertLyrics(lyrics->decoded, lyrics->coveredLength, table, console);
        if (!finishConversion(table, console)) return EXIT_STOPPED;
    }  // the lyric section is no longer needed

    {
        std::optional<Section> music =
            readSection(*song, musicSectionPositions(lyricCompressedLength), MUSIC_TEXTS, console);
        if (!music) return EXIT_STOPPED;
        console.print("Converting the MIDI part to MIDI format");
        NoteOffSchedule schedule;
        MusicTrackState state;
        convertMusic(music->decoded, music->coveredLength, table, schedule, state, console);
        if (!finishConversion(table, console)) return EXIT_STOPPED;
        flushNoteOffs(table, schedule, state, console);
        if (table.overflowed()) {
            console.print(TRACK_TOO_LONG);
            return EXIT_STOPPED;
        }
    }

    console.print("Writing the MIDI buffer to the file... ");
    console.flush();  // the MIDI file may be the console itself (/dev/stdout)
    const bool written = output->commit([&table](std::FILE* stream) { return MidiFileWriter::write(stream, table); });
    if (!written) {
        console.printf("Cannot write output file %s\n", outputPath.c_str());
        return EXIT_STOPPED;
    }
    console.print("Done\n");
    return EXIT_CONVERTED;
}

}  // namespace

int runConverter(const std::vector<std::string>& arguments, Console& console) {
    console.print(BANNER);
    if (arguments.size() == 1 && (arguments[0] == "-h" || arguments[0] == "--help")) {
        console.print(USAGE);
        return EXIT_CONVERTED;
    }
    if (arguments.size() == 1 && arguments[0] == "--version") return EXIT_CONVERTED;
    if (arguments.size() < 2) {
        console.print(USAGE);
        return EXIT_USAGE;
    }
    try {
        return convert(arguments[0], arguments[1], console);
    } catch (const std::bad_alloc&) {
        // Everything the run held has been released on the way out; the output is untouched.
        console.print("Out of memory\n");
        return EXIT_STOPPED;
    }
}

}  // namespace meldrix
