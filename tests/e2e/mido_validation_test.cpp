// Every MIDI file the real program writes, read by two readers: the project's strict reader, which
// checks the structure byte by byte, and mido, a MIDI library the project did not write (run
// through tests/mido/dump_midi.py with Debian's python3-mido). Both must accept the file and find
// exactly what the song file says: the lyric text in order at its ticks, every note-on and its
// note-off, controllers, program changes, pitch bends, 458752 us per quarter note, 27 ticks per
// quarter note. Damaged songs are checked over the records the decoder actually produced.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <random>
#include <sstream>

#include "e2e/e2e_support.h"
#include "lzw/decoded_section.h"
#include "lzw/lzw_decoder.h"
#include "support/expected_midi.h"
#include "support/lzw_encoder.h"
#include "support/smf_reader.h"
#include "support/song_generator.h"

#ifndef MELDRIX_SOURCE_DIR
#define MELDRIX_SOURCE_DIR std::filesystem::path(__FILE__).parent_path().parent_path().parent_path()
#endif
#ifndef MELDRIX_PYTHON
#define MELDRIX_PYTHON "/usr/bin/python3"  // Debian's interpreter, where python3-mido installs
#endif

namespace meldrix::testing {
namespace {

const std::filesystem::path SOURCE_DIR = MELDRIX_SOURCE_DIR;
const std::string DUMP_SCRIPT = SOURCE_DIR / "tests/mido/dump_midi.py";
constexpr int MIDO_MISSING = 3;  // dump_midi.py's exit status when mido cannot be imported

constexpr std::int64_t TEMPO = 458752;
constexpr int DIVISION = 27;
constexpr std::size_t LYRIC_RECORD = 4;
constexpr std::size_t MUSIC_RECORD = 5;

// ---------------------------------------------------------------------------------------------
// What the MIDI file must hold.

// The records a conversion covers: the first min(declared, produced) bytes, rounded up to whole
// records, a last partial record completed with the bytes the decoder produced after it, and 0
// where it produced none.
std::vector<std::uint8_t> coveredRecords(std::span<const std::uint8_t> produced, std::uint64_t declared,
                                         std::size_t recordSize) {
    const std::size_t covered = static_cast<std::size_t>(std::min<std::uint64_t>(declared, produced.size()));
    const std::size_t records = (covered + recordSize - 1) / recordSize;
    std::vector<std::uint8_t> bytes(records * recordSize, 0);
    std::copy_n(produced.begin(), std::min(bytes.size(), produced.size()), bytes.begin());
    return bytes;
}

struct Expectation {
    std::vector<TimedEvent> lyrics;  // in track order
    std::vector<TimedEvent> music;   // sorted like expectedMusicEvents
};

Expectation expectationFor(std::span<const std::uint8_t> lyricsProduced, std::uint64_t lyricsDeclared,
                           std::span<const std::uint8_t> musicProduced, std::uint64_t musicDeclared) {
    return {expectedLyricEvents(coveredRecords(lyricsProduced, lyricsDeclared, LYRIC_RECORD)),
            expectedMusicEvents(coveredRecords(musicProduced, musicDeclared, MUSIC_RECORD))};
}

std::string describe(const TimedEvent& event) {
    std::ostringstream text;
    text << "tick " << event.tick << " status " << std::hex << int{event.status} << " data";
    for (std::uint8_t byte : event.data) text << ' ' << int{byte};
    return text.str();
}

// Empty when both lists are equal; otherwise where they first differ.
std::string difference(const std::string& what, const std::vector<TimedEvent>& expected,
                       const std::vector<TimedEvent>& found) {
    for (std::size_t i = 0; i < std::max(expected.size(), found.size()); ++i) {
        if (i < expected.size() && i < found.size() && expected[i] == found[i]) continue;
        std::ostringstream text;
        text << what << ": " << expected.size() << " events expected, " << found.size() << " found; event " << i
             << " expected " << (i < expected.size() ? describe(expected[i]) : "none") << ", found "
             << (i < found.size() ? describe(found[i]) : "none");
        return text.str();
    }
    return {};
}

std::int64_t lastTick(const std::vector<TimedEvent>& events) {
    std::int64_t last = 0;
    for (const TimedEvent& event : events) last = std::max(last, event.tick);
    return last;
}

// ---------------------------------------------------------------------------------------------
// The strict reader's view.

std::vector<std::string> strictReaderProblems(std::span<const std::uint8_t> midi, const Expectation& expected) {
    const MidiReadResult read = readMidiStrictly(midi);
    if (!read.file) return {"the strict reader refused the file: " + read.error};
    std::vector<std::string> problems;
    const MidiFile& file = *read.file;
    if (file.format != 1) problems.push_back("format " + std::to_string(file.format));
    if (file.division != DIVISION) problems.push_back("division " + std::to_string(file.division));
    if (file.tracks.size() != 2) {
        problems.push_back(std::to_string(file.tracks.size()) + " tracks");
        return problems;
    }
    for (const MidiTrack& track : file.tracks) {
        const auto& events = track.events;
        const bool opens = events.size() >= 3 && events[0].tick == 0 && events[0].metaType == 0x58 &&
                           events[0].data == std::vector<std::uint8_t>{4, 2, 24, 8} && events[1].tick == 0 &&
                           events[1].metaType == 0x51 &&
                           events[1].data == std::vector<std::uint8_t>{0x07, 0x00, 0x00};
        if (!opens) problems.push_back("a track does not open with 4/4 and 458752 us per quarter note at tick 0");
    }
    const std::vector<TimedEvent> lyrics = lyricEventsOf(file.tracks[0]);
    const std::vector<TimedEvent> music = musicEventsOf(file.tracks[1]);
    // Nothing but the opening, the expected kind of event and End of Track.
    if (lyrics.size() + 3 != file.tracks[0].events.size()) problems.push_back("the lyric track holds other events");
    if (music.size() + 3 != file.tracks[1].events.size()) problems.push_back("the music track holds other events");
    for (const std::string& problem : {difference("strict reader, lyric track", expected.lyrics, lyrics),
                                       difference("strict reader, music track", expected.music, music)}) {
        if (!problem.empty()) problems.push_back(problem);
    }
    return problems;
}

// ---------------------------------------------------------------------------------------------
// mido's view, as dump_midi.py prints it.

struct MidoMessage {
    std::int64_t tick = 0;
    std::string kind;
    std::vector<std::int64_t> values;
};

struct MidoReading {
    int format = -1;
    int division = -1;
    std::vector<std::vector<MidoMessage>> tracks;
};

// Reads the dump; throws on a line it does not understand (the script and this parser disagree).
MidoReading parseDump(const std::string& dump) {
    MidoReading reading;
    std::istringstream lines(dump);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string first;
        words >> first;
        if (first == "format") {
            words >> reading.format;
        } else if (first == "division") {
            words >> reading.division;
        } else if (first == "tracks") {
        } else if (first == "track") {
            reading.tracks.emplace_back();
        } else {
            if (reading.tracks.empty()) throw std::runtime_error("message before a track: " + line);
            MidoMessage message;
            message.tick = std::stoll(first);
            words >> message.kind;
            if (message.kind == "other") throw std::runtime_error("unexpected message: " + line);
            for (std::int64_t value; words >> value;) message.values.push_back(value);
            reading.tracks.back().push_back(message);
        }
    }
    return reading;
}

// A channel message as its status and data bytes; nothing for any other message.
std::optional<TimedEvent> channelEvent(const MidoMessage& message) {
    static const std::pair<const char*, std::uint8_t> STATUS[] = {
        {"note_off", 0x80}, {"note_on", 0x90}, {"control_change", 0xB0}, {"program_change", 0xC0}, {"pitchwheel", 0xE0}};
    for (const auto& [kind, status] : STATUS) {
        if (message.kind != kind || message.values.empty()) continue;
        const auto& v = message.values;
        TimedEvent event{message.tick, static_cast<std::uint8_t>(status | v[0]), {}};
        if (message.kind == "pitchwheel") {
            const std::int64_t value = v.at(1) + 8192;  // mido centres the 14-bit value on 0
            event.data = {static_cast<std::uint8_t>(value & 0x7F), static_cast<std::uint8_t>(value >> 7)};
        } else {
            for (std::size_t i = 1; i < v.size(); ++i) event.data.push_back(static_cast<std::uint8_t>(v[i]));
        }
        return event;
    }
    return std::nullopt;
}

struct MidoRun {
    bool installed = true;
    std::optional<MidoReading> reading;  // nothing when mido refused the file
    std::string refusal;
};

MidoRun readWithMido(const std::string& midiPath) {
    const ProgramResult result = runProgram(MELDRIX_PYTHON, {DUMP_SCRIPT, midiPath}, "/");
    if (result.exitStatus == MIDO_MISSING || result.exitStatus == 127) return {false, std::nullopt, result.err};
    if (result.exitStatus != 0) return {true, std::nullopt, result.err};
    return {true, parseDump(result.out), {}};
}

const char* const MIDO_MISSING_TEXT =
    "mido cannot be used: " MELDRIX_PYTHON " with python3-mido is needed (Debian: apt-get install python3-mido, "
    "or run scripts/install-deps.sh, which make test does)";

// The opening of every track as mido reports it: 4/4 (mido gives the denominator itself), 24
// clocks per click, 8 thirty-second notes per quarter, then the tempo, both at tick 0.
std::vector<std::string> openingProblems(const std::vector<MidoMessage>& track, const std::string& which) {
    const bool opens = track.size() >= 3 && track[0].tick == 0 && track[0].kind == "time_signature" &&
                       track[0].values == std::vector<std::int64_t>{4, 4, 24, 8} && track[1].tick == 0 &&
                       track[1].kind == "set_tempo" && track[1].values == std::vector<std::int64_t>{TEMPO};
    if (!opens) return {"mido: the " + which + " does not open with 4/4 and 458752 us per quarter note at tick 0"};
    return {};
}

std::vector<std::string> midoProblems(const std::string& midiPath, const Expectation& expected) {
    const MidoRun run = readWithMido(midiPath);
    if (!run.installed) return {std::string(MIDO_MISSING_TEXT) + "\n" + run.refusal};
    if (!run.reading) return {"mido refused the file: " + run.refusal};
    const MidoReading& midi = *run.reading;
    std::vector<std::string> problems;
    if (midi.format != 1) problems.push_back("mido: format " + std::to_string(midi.format));
    if (midi.division != DIVISION) problems.push_back("mido: division " + std::to_string(midi.division));
    if (midi.tracks.size() != 2) {
        problems.push_back("mido: " + std::to_string(midi.tracks.size()) + " tracks");
        return problems;
    }

    const std::vector<std::string> names = {"lyric track", "music track"};
    std::vector<TimedEvent> found[2];
    for (std::size_t t = 0; t < 2; ++t) {
        const std::vector<MidoMessage>& track = midi.tracks[t];
        for (const std::string& problem : openingProblems(track, names[t])) problems.push_back(problem);
        if (track.empty() || track.back().kind != "end_of_track") {
            problems.push_back("mido: the " + names[t] + " does not end with End of Track");
            continue;
        }
        for (std::size_t i = 2; i + 1 < track.size(); ++i) {
            const MidoMessage& message = track[i];
            if (t == 0 && message.kind == "lyrics") {
                TimedEvent lyric{message.tick, 0xFF, {}};
                for (std::int64_t byte : message.values) lyric.data.push_back(static_cast<std::uint8_t>(byte));
                found[t].push_back(lyric);
            } else if (const auto event = t == 1 ? channelEvent(message) : std::nullopt) {
                found[t].push_back(*event);
            } else {
                problems.push_back("mido: unexpected " + message.kind + " in the " + names[t] + " at tick " +
                                   std::to_string(message.tick));
            }
        }
        // End of Track comes right after the track's last event (delta 0).
        if (track.back().tick != lastTick(found[t])) {
            problems.push_back("mido: End of Track of the " + names[t] + " at tick " +
                               std::to_string(track.back().tick));
        }
    }
    std::sort(found[1].begin(), found[1].end());
    for (const std::string& problem : {difference("mido, lyric track", expected.lyrics, found[0]),
                                       difference("mido, music track", expected.music, found[1])}) {
        if (!problem.empty()) problems.push_back(problem);
    }
    return problems;
}

std::string joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    return text;
}

// ---------------------------------------------------------------------------------------------
// The songs.

std::string formatted(const char* format, std::uint32_t first, std::uint32_t second) {
    char text[256];
    std::snprintf(text, sizeof text, format, first, second);
    return text;
}

// One song file with what the decoder gives back for each section and the texts the run prints.
struct SongCase {
    std::vector<std::uint8_t> file;
    std::vector<std::uint8_t> lyricsProduced, musicProduced;
    std::uint64_t lyricsDeclared = 0, musicDeclared = 0;
    std::vector<std::string> messages;  // each printed somewhere in the transcript
};

// What the decoder produces from a stream the encoder made of `decoded`: at most the section's
// room, its declared length and DECODED_SLACK.
std::vector<std::uint8_t> producedFrom(std::span<const std::uint8_t> decoded, std::uint64_t declared) {
    const std::size_t room = static_cast<std::size_t>(declared + DECODED_SLACK);
    return {decoded.begin(), decoded.begin() + static_cast<std::ptrdiff_t>(std::min(room, decoded.size()))};
}

// A song whose sections are compressed by the encoder, declared with their true length unless
// told otherwise.
SongCase encodedSong(const SongRecords& records, std::optional<std::uint32_t> lyricsDeclared = std::nullopt,
                     std::optional<std::uint32_t> musicDeclared = std::nullopt) {
    SongSection lyrics = compressedSection(records.lyrics);
    SongSection music = compressedSection(records.music);
    if (lyricsDeclared) lyrics.decodedLength = *lyricsDeclared;
    if (musicDeclared) music.decodedLength = *musicDeclared;
    SongCase song;
    song.file = songFileBytes(lyrics, music);
    song.lyricsDeclared = lyrics.decodedLength;
    song.musicDeclared = music.decodedLength;
    song.lyricsProduced = producedFrom(records.lyrics, lyrics.decodedLength);
    song.musicProduced = producedFrom(records.music, music.decodedLength);
    return song;
}

// A stream of literal codes, one per byte: every code valid, so the decoder gives back exactly
// the bytes, and a code slipped in after any of them is judged at a known point.
std::vector<std::uint16_t> literalCodes(std::span<const std::uint8_t> bytes) { return {bytes.begin(), bytes.end()}; }

constexpr std::uint16_t INVALID_CODE = 0xF00;  // above every entry a short stream has assigned

// The invalid code after `keep` literal bytes: decoding stops there, with the message naming the
// entry the decoder expected next (one per accepted code after the first).
std::vector<std::uint8_t> streamBrokenAfter(std::span<const std::uint8_t> bytes, std::size_t keep) {
    std::vector<std::uint16_t> codes = literalCodes(bytes.first(keep));
    codes.push_back(INVALID_CODE);
    const std::vector<std::uint16_t> rest = literalCodes(bytes.subspan(keep));
    codes.insert(codes.end(), rest.begin(), rest.end());
    return packCodes(codes);
}

std::string invalidCodeText(std::size_t keep) {
    char text[64];
    std::snprintf(text, sizeof text, " new:%X next:%zX\n", INVALID_CODE, FIRST_TABLE_CODE - 1 + keep);
    return text;
}

const char* const LYRIC_SHORTFALL = "Uncompressed lyric sizes don't match expected: 0x%08X actual: 0x%08x\n";
const char* const MUSIC_SHORTFALL = "Uncompressed MIDI sizes don't match expected: 0x%08X actual: 0x%08x\n";

// A small song with every kind of event: overlapping notes on three channels, note-offs due at
// the same tick, a note of duration 0, a note of velocity 0, the longest delta and duration,
// controllers, program changes and pitch bends at both ends of their range.
SongRecords everyKindOfEvent() {
    SongRecords song;
    const std::pair<char, std::uint16_t> text[] = {{'H', 0}, {'e', 0}, {'y', 27}, {' ', 0}, {'y', 54},
                                                   {'o', 60}, {'u', 0}, {'!', 65535}};
    for (const auto& [character, time] : text) addLyricRecord(song.lyrics, static_cast<std::uint8_t>(character), time);
    auto& m = song.music;
    addMusicRecord(m, 0, 0, 0xC0, 5, 0x55);  // program change: data2 not read
    addMusicRecord(m, 0, 0, 0xC9, 0, 0);
    addMusicRecord(m, 0, 60, 0x00, 60, 100);
    addMusicRecord(m, 0, 10, 0x01, 64, 90);
    addMusicRecord(m, 30, 0, 0xB0, 7, 127);
    addMusicRecord(m, 40, 20, 0x00, 67, 80);
    addMusicRecord(m, 0, 0, 0xE0, 0, 0x40);
    addMusicRecord(m, 0, 20, 0x02, 67, 70);  // ends with the note above, at the same tick
    addMusicRecord(m, 255, 255, 0x09, 36, 110);
    addMusicRecord(m, 0, 0, 0x09, 42, 100);  // duration 0: its note-off at its own tick
    addMusicRecord(m, 0, 5, 0x03, 50, 0);    // velocity 0
    addMusicRecord(m, 200, 0, 0xB1, 10, 0);
    addMusicRecord(m, 1, 0, 0xEF, 0x7F, 0x7F);
    addMusicRecord(m, 0, 0, 0xE5, 0, 0);
    addMusicRecord(m, 0, 30, 0x0F, 127, 127);
    return song;
}

// Random bytes as records: unrecognised kinds, data bytes above 0x7F, lyric times going back.
SongRecords randomRecords(std::uint32_t seed, std::size_t lyricRecords, std::size_t musicRecords) {
    std::mt19937 random(seed);
    SongRecords song;
    for (std::size_t i = 0; i < lyricRecords * LYRIC_RECORD; ++i) song.lyrics.push_back(static_cast<std::uint8_t>(random()));
    for (std::size_t i = 0; i < musicRecords * MUSIC_RECORD; ++i) song.music.push_back(static_cast<std::uint8_t>(random()));
    return song;
}

SongCase shortfallInBothSections() {
    // The headers claim more than the streams hold, by amounts that are not whole records.
    const SongRecords records = realisticSong(11, 75, 120);
    const auto lyricsDeclared = static_cast<std::uint32_t>(records.lyrics.size() + 21);
    const auto musicDeclared = static_cast<std::uint32_t>(records.music.size() + 33);
    SongCase song = encodedSong(records, lyricsDeclared, musicDeclared);
    song.messages = {formatted(LYRIC_SHORTFALL, lyricsDeclared, static_cast<std::uint32_t>(records.lyrics.size())),
                     formatted(MUSIC_SHORTFALL, musicDeclared, static_cast<std::uint32_t>(records.music.size()))};
    return song;
}

SongCase declaredShorterThanDecoded() {
    // The streams hold more than declared: the last record starts inside the declared length and
    // is read whole from the bytes after it; nothing else is converted.
    const SongRecords records = realisticSong(12, 60, 90);
    return encodedSong(records, static_cast<std::uint32_t>(records.lyrics.size() - 6),
                       static_cast<std::uint32_t>(records.music.size() - 8));
}

SongCase invalidCodeInEachStream() {
    // Lyric stream broken in the middle of its 10th record, music stream in its 21st: the partial
    // records are completed with zeros.
    const SongRecords records = realisticSong(13, 30, 40);
    const std::size_t lyricKeep = 9 * LYRIC_RECORD + 2, musicKeep = 20 * MUSIC_RECORD + 3;
    SongSection lyrics{0, static_cast<std::uint32_t>(records.lyrics.size()), streamBrokenAfter(records.lyrics, lyricKeep)};
    SongSection music{0, static_cast<std::uint32_t>(records.music.size()), streamBrokenAfter(records.music, musicKeep)};
    lyrics.compressedLength = static_cast<std::uint32_t>(lyrics.stream.size());
    music.compressedLength = static_cast<std::uint32_t>(music.stream.size());
    SongCase song;
    song.file = songFileBytes(lyrics, music);
    song.lyricsDeclared = lyrics.decodedLength;
    song.musicDeclared = music.decodedLength;
    song.lyricsProduced.assign(records.lyrics.begin(), records.lyrics.begin() + lyricKeep);
    song.musicProduced.assign(records.music.begin(), records.music.begin() + musicKeep);
    song.messages = {"Decompressing the lyric part... Invalid code: offset:", invalidCodeText(lyricKeep),
                     formatted(LYRIC_SHORTFALL, lyrics.decodedLength, static_cast<std::uint32_t>(lyricKeep)),
                     "Decompressing the MIDI part... Invalid code: offset:", invalidCodeText(musicKeep),
                     formatted(MUSIC_SHORTFALL, music.decodedLength, static_cast<std::uint32_t>(musicKeep))};
    return song;
}

SongCase fileCutInsideTheMusicStream() {
    // The last 6 bytes of a literal stream (4 codes) are missing from the file.
    const SongRecords records = realisticSong(14, 20, 30);
    const SongSection lyrics = compressedSection(records.lyrics);
    SongSection music{0, static_cast<std::uint32_t>(records.music.size()), packCodes(literalCodes(records.music))};
    music.compressedLength = static_cast<std::uint32_t>(music.stream.size());
    SongCase song;
    song.file = songFileBytes(lyrics, music);
    song.file.resize(song.file.size() - 6);
    song.lyricsDeclared = lyrics.decodedLength;
    song.musicDeclared = music.decodedLength;
    song.lyricsProduced = records.lyrics;
    song.musicProduced.assign(records.music.begin(), records.music.end() - 4);
    song.messages = {formatted("Input file too short: expected 0x%08X actual: 0x%08x\n", music.compressedLength,
                               music.compressedLength - 6),
                     formatted(MUSIC_SHORTFALL, music.decodedLength, music.decodedLength - 4)};
    return song;
}

SongCase unrecognisedKinds() {
    // Kinds that are no event, among notes whose note-offs fall due around them, twice in a row,
    // and last, where the time they carry is dropped.
    SongRecords records;
    addLyricRecord(records.lyrics, 'x', 0);
    const std::uint8_t unknown[] = {0x10, 0x80, 0x90, 0xA7, 0xD0, 0xF0, 0xFF, 0x8F, 0x9F, 0x5A};
    std::vector<std::string> messages;
    for (std::size_t i = 0; i < std::size(unknown); ++i) {
        const auto step = static_cast<std::uint8_t>(i);
        addMusicRecord(records.music, static_cast<std::uint8_t>(7 * i), static_cast<std::uint8_t>(20 + step), step, 60,
                       100);
        addMusicRecord(records.music, static_cast<std::uint8_t>(15 + step), 9, unknown[i], 61, 62);
        if (i % 3 == 0) addMusicRecord(records.music, 3, 0, unknown[(i + 1) % std::size(unknown)], 0, 0);
        addMusicRecord(records.music, 2, 0, 0xB0, step, 1);
        char text[32];
        std::snprintf(text, sizeof text, "Unrecognize code %02X\n", unknown[i]);
        messages.push_back(text);
    }
    addMusicRecord(records.music, 40, 0, 0xD5, 1, 2);
    messages.push_back("Unrecognize code D5\n");
    SongCase song = encodedSong(records);
    song.messages = messages;
    return song;
}

SongCase backwardsLyricTimes() {
    SongRecords records;
    const std::pair<char, std::uint16_t> text[] = {{'a', 100}, {'b', 50},  {'c', 0},   {'d', 200}, {'e', 150},
                                                   {'f', 200}, {'g', 300}, {'h', 1},   {'i', 0},   {'j', 65535},
                                                   {'k', 2},   {'l', 0},   {'m', 65535}};
    for (const auto& [character, time] : text) addLyricRecord(records.lyrics, static_cast<std::uint8_t>(character), time);
    addMusicRecord(records.music, 0, 10, 0x00, 60, 100);
    return encodedSong(records);
}

SongCase dataBytesAbove7F() {
    // Every data byte position above 0x7F; lyric characters above 0x7F stay as they are.
    SongRecords records;
    const std::uint8_t characters[] = {0xE9, 0x80, 0xFF, 0x00, 0x7F};
    for (std::uint8_t character : characters) addLyricRecord(records.lyrics, character, 9);
    addMusicRecord(records.music, 0, 0, 0xC0, 0x90, 0xFF);
    addMusicRecord(records.music, 1, 0, 0xB3, 0x80, 0xFF);
    addMusicRecord(records.music, 1, 30, 0x04, 0xC8, 0xFF);
    addMusicRecord(records.music, 1, 30, 0x05, 0x7F, 0x80);
    addMusicRecord(records.music, 1, 0, 0xE2, 0xFF, 0x80);
    addMusicRecord(records.music, 1, 0, 0xE2, 0x00, 0xF7);
    return encodedSong(records);
}

SongCase lyricSectionDeclaredEmpty() {
    // The stream holds records, the header says 0 bytes: the lyric track is written empty.
    return encodedSong(realisticSong(15, 40, 50), 0);
}

SongCase musicSectionDeclaredEmpty() { return encodedSong(realisticSong(16, 40, 50), std::nullopt, 0); }

SongCase bothSectionsEmpty() {
    SongCase song;
    song.file = songFileBytes(SongSection{}, SongSection{});
    return song;
}

struct NamedSong {
    const char* name;
    std::function<SongCase()> make;
};

// Test names and messages show the song by its name.
void PrintTo(const NamedSong& song, std::ostream* out) { *out << song.name; }

const NamedSong SONGS[] = {
    {"EveryKindOfEvent", [] { return encodedSong(everyKindOfEvent()); }},
    {"ShortRealisticSong", [] { return encodedSong(realisticSong(1, 41, 51)); }},
    {"MediumRealisticSong", [] { return encodedSong(realisticSong(2, 600, 1500)); }},
    {"LongRealisticSong", [] { return encodedSong(realisticSong(3, 3000, 8000)); }},
    {"EveryNoteSoundingAtOnce", [] {
         SongRecords records;
         addLyricRecord(records.lyrics, 'x', 0);
         records.music = allNotesAtOnce(3000);
         return encodedSong(records);
     }},
    {"RandomRecords", [] { return encodedSong(randomRecords(21, 1000, 3000)); }},
    {"ShortfallInBothSections", shortfallInBothSections},
    {"DeclaredShorterThanDecoded", declaredShorterThanDecoded},
    {"InvalidCodeInEachStream", invalidCodeInEachStream},
    {"FileCutInsideTheMusicStream", fileCutInsideTheMusicStream},
    {"UnrecognisedKinds", unrecognisedKinds},
    {"BackwardsLyricTimes", backwardsLyricTimes},
    {"DataBytesAbove7F", dataBytesAbove7F},
    {"LyricSectionDeclaredEmpty", lyricSectionDeclaredEmpty},
    {"MusicSectionDeclaredEmpty", musicSectionDeclaredEmpty},
    {"BothSectionsEmpty", bothSectionsEmpty},
};

class BothReaders : public ::testing::TestWithParam<NamedSong> {};

TEST_P(BothReaders, AcceptTheMidiFileAndFindWhatTheSongSays) {
    const SongCase song = GetParam().make();
    TemporaryFolder folder;
    writeFile(folder / "song.zuno", song.file);
    const ProgramResult result = runMeldrix(folder, {"song.zuno", "song.mid"});
    ASSERT_EQ(result.exitStatus, 0) << result.out;
    EXPECT_TRUE(result.out.ends_with("Writing the MIDI buffer to the file... Done\n")) << result.out;
    for (const std::string& message : song.messages) {
        EXPECT_NE(result.out.find(message), std::string::npos) << "missing: " << message << "\n" << result.out;
    }

    const Expectation expected =
        expectationFor(song.lyricsProduced, song.lyricsDeclared, song.musicProduced, song.musicDeclared);
    EXPECT_EQ(joined(strictReaderProblems(readFile(folder / "song.mid"), expected)), "");
    EXPECT_EQ(joined(midoProblems(folder / "song.mid", expected)), "");
}

INSTANTIATE_TEST_SUITE_P(Songs, BothReaders, ::testing::ValuesIn(SONGS),
                         [](const ::testing::TestParamInfo<NamedSong>& song) { return std::string(song.param.name); });

// ---------------------------------------------------------------------------------------------
// The checks themselves: they must see a wrong file as wrong.

TEST(MidoCheck, IsAvailable) {
    const ProgramResult result = runProgram(MELDRIX_PYTHON, {"-c", "import mido"}, "/");
    ASSERT_EQ(result.exitStatus, 0) << MIDO_MISSING_TEXT << "\n" << result.err;
}

// A file of every message the converter writes, with what dump_midi.py must report for it.
TEST(MidoCheck, ReportsEveryMessageAsMidoReadsIt) {
    const std::vector<std::uint8_t> midi = {
        'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, 2, 0, 27,
        'M', 'T', 'r', 'k', 0, 0, 0, 30,
        0x00, 0xFF, 0x58, 0x04, 0x04, 0x02, 0x18, 0x08, 0x00, 0xFF, 0x51, 0x03, 0x07, 0x00, 0x00,
        0x00, 0xFF, 0x05, 0x01, 'H', 0x81, 0x00, 0xFF, 0x05, 0x01, 0xE9,   // H at 0, é at 128
        0x00, 0xFF, 0x2F, 0x00,
        'M', 'T', 'r', 'k', 0, 0, 0, 38,
        0x00, 0xFF, 0x58, 0x04, 0x04, 0x02, 0x18, 0x08, 0x00, 0xFF, 0x51, 0x03, 0x07, 0x00, 0x00,
        0x00, 0xC3, 0x05, 0x00, 0xB3, 0x07, 0x7F, 0x05, 0xE3, 0x01, 0x40,  // program, volume, bend
        0x00, 0x93, 0x3C, 0x64, 0x3C, 0x83, 0x3C, 0x64,                    // note 60 from 5 to 65
        0x00, 0xFF, 0x2F, 0x00,
    };
    TemporaryFolder folder;
    writeFile(folder / "fixture.mid", midi);
    const ProgramResult result = runProgram(MELDRIX_PYTHON, {DUMP_SCRIPT, folder / "fixture.mid"}, "/");
    ASSERT_EQ(result.exitStatus, 0) << MIDO_MISSING_TEXT << "\n" << result.err;
    EXPECT_EQ(result.out,
              "format 1\ndivision 27\ntracks 2\n"
              "track 0\n0 time_signature 4 4 24 8\n0 set_tempo 458752\n0 lyrics 72\n128 lyrics 233\n128 end_of_track\n"
              "track 1\n0 time_signature 4 4 24 8\n0 set_tempo 458752\n0 program_change 3 5\n"
              "0 control_change 3 7 127\n5 pitchwheel 3 1\n5 note_on 3 60 100\n65 note_off 3 60 100\n"
              "65 end_of_track\n");
    const Expectation expected = {
        {{0, 0xFF, {'H'}}, {128, 0xFF, {0xE9}}},
        {{0, 0xB3, {7, 127}}, {0, 0xC3, {5}}, {5, 0x93, {60, 100}}, {5, 0xE3, {1, 0x40}}, {65, 0x83, {60, 100}}}};
    EXPECT_EQ(joined(midoProblems(folder / "fixture.mid", expected)), "");
    EXPECT_EQ(joined(strictReaderProblems(midi, expected)), "");
}

// Files that are wrong in one place each: both checks must say so.
TEST(BothChecks, FindAFileThatDiffersFromTheSong) {
    const SongRecords records = everyKindOfEvent();
    TemporaryFolder folder;
    writeFile(folder / "song.zuno", songFile(records.lyrics, records.music));
    ASSERT_EQ(runMeldrix(folder, {"song.zuno", "song.mid"}).exitStatus, 0);
    const std::vector<std::uint8_t> good = readFile(folder / "song.mid");
    const Expectation expected = expectationFor(records.lyrics, records.lyrics.size(), records.music, records.music.size());
    ASSERT_EQ(joined(strictReaderProblems(good, expected)), "");
    ASSERT_EQ(joined(midoProblems(folder / "song.mid", expected)), "");

    struct Damage {
        const char* why;
        std::size_t at;  // from the start, or from the end when fromEnd
        bool fromEnd;
        std::uint8_t value;
    };
    const Damage damages[] = {
        {"division 28", 13, false, 28},
        {"tempo 524288 us per quarter note", 34, false, 0x08},
        {"first lyric character changed", 41, false, 'J'},
        {"last note-off's velocity changed", 5, true, 0x01},
        {"last note-off moved a tick later", 8, true, 31},
    };
    for (const Damage& damage : damages) {
        std::vector<std::uint8_t> bad = good;
        std::uint8_t& byte = bad[damage.fromEnd ? bad.size() - damage.at : damage.at];
        ASSERT_NE(byte, damage.value) << damage.why;
        byte = damage.value;
        writeFile(folder / "bad.mid", bad);
        EXPECT_NE(joined(strictReaderProblems(bad, expected)), "") << damage.why;
        EXPECT_NE(joined(midoProblems(folder / "bad.mid", expected)), "") << damage.why;
    }
}

// What mido lets pass or reads wrongly, the strict reader refuses, and the reverse for what mido
// refuses outright: each damaged file is reported by at least the reader noted.
TEST(BothChecks, RefuseAMalformedFile) {
    const std::vector<std::uint8_t> head = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, 2, 0, 27};
    const std::vector<std::uint8_t> opening = {0x00, 0xFF, 0x58, 0x04, 0x04, 0x02, 0x18, 0x08,
                                               0x00, 0xFF, 0x51, 0x03, 0x07, 0x00, 0x00};
    auto track = [&](std::vector<std::uint8_t> events) {
        std::vector<std::uint8_t> chunk = {'M', 'T', 'r', 'k', 0, 0, 0, 0};
        chunk.insert(chunk.end(), opening.begin(), opening.end());
        chunk.insert(chunk.end(), events.begin(), events.end());
        chunk[7] = static_cast<std::uint8_t>(chunk.size() - 8);
        return chunk;
    };
    auto file = [&](std::vector<std::uint8_t> lyricEvents, std::vector<std::uint8_t> musicEvents) {
        std::vector<std::uint8_t> bytes = head;
        for (const auto& chunk : {track(lyricEvents), track(musicEvents)}) bytes.insert(bytes.end(), chunk.begin(), chunk.end());
        return bytes;
    };
    const std::vector<std::uint8_t> end = {0x00, 0xFF, 0x2F, 0x00};
    const Expectation nothing;

    struct Malformed {
        const char* why;
        std::vector<std::uint8_t> bytes;
        bool midoRefuses;  // mido raises an error rather than reading something else
    };
    const Malformed cases[] = {
        {"data byte 0x80 in a note-on", file(end, {0x00, 0x90, 0x3C, 0x80, 0x00, 0xFF, 0x2F, 0x00}), true},
        {"no End of Track", file(end, {}), false},
        {"a delta time with no event after it", file(end, {0x05, 0x00, 0xFF, 0x2F, 0x00}), false},
        {"file cut inside the header chunk", std::vector<std::uint8_t>(head.begin(), head.begin() + 10), true},
    };
    TemporaryFolder folder;
    for (const Malformed& c : cases) {
        writeFile(folder / "bad.mid", c.bytes);
        EXPECT_NE(joined(strictReaderProblems(c.bytes, nothing)), "") << c.why;
        const MidoRun run = readWithMido(folder / "bad.mid");
        ASSERT_TRUE(run.installed) << MIDO_MISSING_TEXT;
        if (c.midoRefuses) {
            EXPECT_FALSE(run.reading) << c.why;
        }
        EXPECT_NE(joined(midoProblems(folder / "bad.mid", nothing)), "") << c.why;
    }
}

// ---------------------------------------------------------------------------------------------
// The example song in examples/.

const std::filesystem::path EXAMPLE_DESCRIPTION = SOURCE_DIR / "examples/twinkle.song";
const std::filesystem::path EXAMPLE_SONG = SOURCE_DIR / "examples/twinkle.zuno";

std::uint32_t bigEndian32(std::span<const std::uint8_t> bytes, std::size_t at) {
    return std::uint32_t{bytes[at]} << 24 | std::uint32_t{bytes[at + 1]} << 16 | std::uint32_t{bytes[at + 2]} << 8 |
           bytes[at + 3];
}

TEST(ExampleSong, RegeneratesToTheCheckedInBytes) {
    // The tool is built beside the program, in the build's tools folder.
    const std::filesystem::path tool = std::filesystem::path(MELDRIX_EXECUTABLE).parent_path() / "tools/make_example_song";
    ASSERT_TRUE(std::filesystem::exists(tool)) << tool << " is missing: build the make_example_song target";
    TemporaryFolder folder;
    const ProgramResult result = runProgram(tool, {EXAMPLE_DESCRIPTION, folder / "twinkle.zuno"}, folder.path());
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(readFile(folder / "twinkle.zuno"), readFile(EXAMPLE_SONG))
        << "examples/twinkle.zuno is not what examples/twinkle.song gives: regenerate it with make_example_song";
}

TEST(ExampleSong, ConvertsToItsLyricsAndNotes) {
    // The records, taken back out of the example's two sections.
    const std::vector<std::uint8_t> file = readFile(EXAMPLE_SONG);
    std::vector<std::uint8_t> records[2];
    std::size_t at = 0;
    for (std::vector<std::uint8_t>& section : records) {
        ASSERT_LE(at + 12, file.size());
        const std::uint32_t compressed = bigEndian32(file, at), declared = bigEndian32(file, at + 4);
        ASSERT_LE(at + 12 + compressed, file.size());
        Console quiet;
        const DecodedSection decoded =
            LzwDecoder::decode(std::span(file).subspan(at + 12, compressed), declared + DECODED_SLACK, quiet);
        ASSERT_EQ(decoded.produced(), declared) << quiet.recorded();
        section.assign(decoded.bytes().begin(), decoded.bytes().end());
        at += 12 + compressed;
    }
    ASSERT_EQ(at, file.size());

    TemporaryFolder folder;
    const ProgramResult result = runMeldrix(folder, {EXAMPLE_SONG, "twinkle.mid"});
    ASSERT_EQ(result.exitStatus, 0) << result.out;
    const Expectation expected = expectationFor(records[0], records[0].size(), records[1], records[1].size());
    EXPECT_EQ(joined(strictReaderProblems(readFile(folder / "twinkle.mid"), expected)), "");
    EXPECT_EQ(joined(midoProblems(folder / "twinkle.mid", expected)), "");

    // It is the song it claims to be: its words, a melody on channel 1 and a bass on channel 2.
    std::string text;
    for (const TimedEvent& lyric : expected.lyrics) text.append(lyric.data.begin(), lyric.data.end());
    EXPECT_TRUE(text.starts_with("Twinkle, twinkle, little star,\nHow I wonder what you are!\n")) << text;
    std::size_t notesOnChannel[16] = {};
    for (const TimedEvent& event : expected.music) {
        if ((event.status & 0xF0) == 0x90) {
            ++notesOnChannel[event.status & 0x0F];
        }
    }
    EXPECT_GT(notesOnChannel[0], 40u);
    EXPECT_GT(notesOnChannel[1], 20u);
}

}  // namespace
}  // namespace meldrix::testing
