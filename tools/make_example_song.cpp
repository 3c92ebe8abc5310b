// Builds a song file from a readable description of a song (the format is explained at the top of
// examples/twinkle.song): parts with their notes, and the words sung on the first part's notes.
//
//     make_example_song examples/twinkle.song examples/twinkle.zuno
//
// The lyric section gets one record per character, each syllable's characters at its note's
// time; the music section gets the program and volume of every part at time 0, then the notes of
// all parts in time order. Both sections are compressed with the project's own LZW encoder, so
// the same description always gives the same bytes.
#include <algorithm>
#include <charconv>
#include <cstdint>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "support/song_builder.h"

namespace {

using meldrix::testing::addLyricRecord;
using meldrix::testing::addMusicRecord;

constexpr std::int64_t TICKS_PER_QUARTER = 27;  // the division of every MIDI file MELDRIX writes
constexpr std::int64_t RELEASE_TICKS = 2;       // silence before the next note, so repeats are heard
constexpr std::uint8_t VOLUME_CONTROLLER = 7;
constexpr std::int64_t LONGEST_RECORD_TICKS = 255;      // a record's delta and duration are one byte
constexpr std::int64_t LATEST_LYRIC_TICK = 0xFFFF;      // a lyric record's time is 16 bits

// A mistake in the description, reported with its line.
struct DescriptionError : std::runtime_error {
    DescriptionError(int line, const std::string& what)
        : std::runtime_error("line " + std::to_string(line) + ": " + what) {}
};

struct Part {
    std::string name;
    std::uint8_t channel = 0;  // 0 to 15 as stored (the description counts from 1)
    std::uint8_t program = 0;  // 0 to 127 as stored (the description counts from 1)
    std::uint8_t volume = 100;
    std::uint8_t velocity = 100;
    std::int64_t endTick = 0;  // where the part's next note starts
};

struct Note {
    std::int64_t tick = 0;
    std::int64_t length = 0;  // ticks until the part's next note
    std::size_t part = 0;     // index into the parts, in order of declaration
    std::uint8_t pitch = 0;
};

struct Syllable {
    int line = 0;
    std::string text;  // with its trailing space or new line
};

struct Song {
    std::vector<Part> parts;
    std::vector<Note> notes;  // in order of appearance; the sung part's notes carry the syllables
    std::vector<Syllable> syllables;
};

std::vector<std::string> wordsOf(std::string_view text) {
    std::istringstream in{std::string(text)};
    std::vector<std::string> words;
    for (std::string word; in >> word;) words.push_back(word);
    return words;
}

std::int64_t numberIn(const std::string& text, std::int64_t low, std::int64_t high, int line, const char* what) {
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size() || value < low || value > high) {
        throw DescriptionError(line, std::string(what) + " must be a number from " + std::to_string(low) + " to " +
                                         std::to_string(high) + ", not \"" + text + "\"");
    }
    return value;
}

// "C4", "F#3", "Bb2": MIDI note 60 is C4.
std::uint8_t pitchOf(const std::string& name, int line) {
    static const std::map<char, int> SEMITONES = {{'C', 0}, {'D', 2}, {'E', 4}, {'F', 5},
                                                  {'G', 7}, {'A', 9}, {'B', 11}};
    const auto letter = name.empty() ? SEMITONES.end() : SEMITONES.find(name[0]);
    if (letter == SEMITONES.end()) throw DescriptionError(line, "\"" + name + "\" is not a note");
    int semitone = letter->second;
    std::size_t at = 1;
    if (at < name.size() && (name[at] == '#' || name[at] == 'b')) semitone += name[at++] == '#' ? 1 : -1;
    const std::int64_t octave = numberIn(name.substr(at), -1, 9, line, "an octave");
    const std::int64_t pitch = 12 * (octave + 1) + semitone;
    if (pitch < 0 || pitch > 127) throw DescriptionError(line, "\"" + name + "\" is outside the MIDI notes");
    return static_cast<std::uint8_t>(pitch);
}

// "2" or "1/3" quarter notes, in ticks.
std::int64_t lengthOf(const std::string& beats, int line) {
    const std::size_t slash = beats.find('/');
    const std::int64_t numerator = numberIn(beats.substr(0, slash), 1, 64, line, "a length");
    const std::int64_t denominator =
        slash == std::string::npos ? 1 : numberIn(beats.substr(slash + 1), 1, 64, line, "a length's divisor");
    if (numerator * TICKS_PER_QUARTER % denominator != 0) {
        throw DescriptionError(line, "a length of " + beats + " quarter notes is not a whole number of ticks (" +
                                         std::to_string(TICKS_PER_QUARTER) + " per quarter note)");
    }
    return numerator * TICKS_PER_QUARTER / denominator;
}

// part NAME channel C program P volume V velocity V
void declarePart(Song& song, const std::vector<std::string>& words, int line) {
    if (words.size() < 2) throw DescriptionError(line, "a part needs a name");
    Part part;
    part.name = words[1];
    for (const Part& other : song.parts) {
        if (other.name == part.name) throw DescriptionError(line, "part \"" + part.name + "\" is declared twice");
    }
    if (part.name == "lyrics" || part.name == "part") throw DescriptionError(line, "\"" + part.name + "\" is a keyword");
    bool hasChannel = false;
    for (std::size_t i = 2; i < words.size(); i += 2) {
        if (i + 1 >= words.size()) throw DescriptionError(line, "\"" + words[i] + "\" needs a value");
        const std::string& key = words[i];
        const std::string& value = words[i + 1];
        if (key == "channel") {
            part.channel = static_cast<std::uint8_t>(numberIn(value, 1, 16, line, "a channel") - 1);
            hasChannel = true;
        } else if (key == "program") {
            part.program = static_cast<std::uint8_t>(numberIn(value, 1, 128, line, "a program") - 1);
        } else if (key == "volume") {
            part.volume = static_cast<std::uint8_t>(numberIn(value, 0, 127, line, "a volume"));
        } else if (key == "velocity") {
            part.velocity = static_cast<std::uint8_t>(numberIn(value, 1, 127, line, "a velocity"));
        } else {
            throw DescriptionError(line, "a part has no setting \"" + key + "\"");
        }
    }
    if (!hasChannel) throw DescriptionError(line, "part \"" + part.name + "\" needs a channel");
    song.parts.push_back(part);
}

// NAME: NOTE[:LENGTH] ...
void addNotes(Song& song, std::size_t partIndex, const std::vector<std::string>& notes, int line) {
    Part& part = song.parts[partIndex];
    for (const std::string& written : notes) {
        const std::size_t colon = written.find(':');
        const std::string name = written.substr(0, colon);
        const std::int64_t length = colon == std::string::npos ? TICKS_PER_QUARTER : lengthOf(written.substr(colon + 1), line);
        if (name != "r") song.notes.push_back({part.endTick, length, partIndex, pitchOf(name, line)});
        part.endTick += length;
    }
}

// lyrics: Twin-kle, twin-kle, lit-tle star,
void addSyllables(Song& song, const std::vector<std::string>& words, int line) {
    auto add = [&](const std::string& text, const char* end) {
        if (text.empty()) throw DescriptionError(line, "an empty syllable (a \"-\" too many?)");
        song.syllables.push_back({line, text + end});
    };
    for (std::size_t w = 0; w < words.size(); ++w) {
        const std::string& word = words[w];
        std::size_t start = 0;
        for (std::size_t dash = word.find('-'); dash != std::string::npos; dash = word.find('-', start)) {
            add(word.substr(start, dash - start), "");
            start = dash + 1;
        }
        add(word.substr(start), w + 1 < words.size() ? " " : "\n");
    }
}

Song readDescription(std::istream& in) {
    Song song;
    int line = 0;
    for (std::string text; std::getline(in, text);) {
        ++line;
        text = text.substr(0, text.find('#'));
        const std::vector<std::string> words = wordsOf(text);
        if (words.empty()) continue;
        if (words[0] == "part") {
            declarePart(song, words, line);
            continue;
        }
        if (words[0].back() != ':') throw DescriptionError(line, "expected \"part\", \"lyrics:\" or a part's name and \":\"");
        const std::string name = words[0].substr(0, words[0].size() - 1);
        const std::vector<std::string> rest(words.begin() + 1, words.end());
        if (name == "lyrics") {
            addSyllables(song, rest, line);
            continue;
        }
        const auto part = std::find_if(song.parts.begin(), song.parts.end(), [&](const Part& p) { return p.name == name; });
        if (part == song.parts.end()) throw DescriptionError(line, "no part is called \"" + name + "\"");
        addNotes(song, static_cast<std::size_t>(part - song.parts.begin()), rest, line);
    }
    if (song.parts.empty()) throw DescriptionError(line, "the song declares no part");
    return song;
}

// One character per record, each syllable's characters at its note's time: the first carries
// the time, the others 0 ("at the time of the record before").
std::vector<std::uint8_t> lyricRecords(const Song& song) {
    std::vector<std::uint8_t> records;
    std::size_t next = 0;
    for (const Note& note : song.notes) {
        if (note.part != 0 || next == song.syllables.size()) continue;
        const Syllable& syllable = song.syllables[next++];
        if (note.tick > LATEST_LYRIC_TICK) throw DescriptionError(syllable.line, "a syllable after tick 65535");
        bool first = true;
        for (char character : syllable.text) {
            addLyricRecord(records, static_cast<std::uint8_t>(character),
                           first ? static_cast<std::uint16_t>(note.tick) : std::uint16_t{0});
            first = false;
        }
    }
    if (next < song.syllables.size()) {
        throw DescriptionError(song.syllables[next].line, "more syllables than notes in part \"" +
                                                              song.parts[0].name + "\"");
    }
    return records;
}

// Every part's program and volume at time 0, then every note in time order (parts in order of
// declaration at equal times), each with the ticks since the record before.
std::vector<std::uint8_t> musicRecords(const Song& song) {
    std::vector<std::uint8_t> records;
    for (const Part& part : song.parts) {
        addMusicRecord(records, 0, 0, static_cast<std::uint8_t>(0xC0 | part.channel), part.program, 0);
        addMusicRecord(records, 0, 0, static_cast<std::uint8_t>(0xB0 | part.channel), VOLUME_CONTROLLER, part.volume);
    }
    std::vector<Note> notes = song.notes;
    std::stable_sort(notes.begin(), notes.end(), [](const Note& a, const Note& b) {
        return a.tick != b.tick ? a.tick < b.tick : a.part < b.part;
    });
    std::int64_t previous = 0;
    for (const Note& note : notes) {
        const Part& part = song.parts[note.part];
        const std::int64_t duration = std::max<std::int64_t>(1, note.length - RELEASE_TICKS);
        if (note.tick - previous > LONGEST_RECORD_TICKS || duration > LONGEST_RECORD_TICKS) {
            throw std::runtime_error("part \"" + part.name + "\" at tick " + std::to_string(note.tick) +
                                     ": a note or a gap before it lasts more than 255 ticks");
        }
        addMusicRecord(records, static_cast<std::uint8_t>(note.tick - previous), static_cast<std::uint8_t>(duration),
                       part.channel, note.pitch, part.velocity);
        previous = note.tick;
    }
    return records;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: make_example_song SONG_DESCRIPTION OUTPUT_SONG_FILE\n";
        return 2;
    }
    std::ifstream in(argv[1]);
    if (!in) {
        std::cerr << "make_example_song: cannot read " << argv[1] << "\n";
        return 1;
    }
    try {
        const Song song = readDescription(in);
        const std::vector<std::uint8_t> lyrics = lyricRecords(song);
        const std::vector<std::uint8_t> music = musicRecords(song);
        meldrix::testing::writeFile(argv[2], meldrix::testing::songFile(lyrics, music));
        std::cout << argv[2] << ": " << lyrics.size() / 4 << " lyric records, " << music.size() / 5
                  << " music records\n";
    } catch (const std::exception& error) {
        std::cerr << argv[1] << ": " << error.what() << "\n";
        return 1;
    }
    return 0;
}
