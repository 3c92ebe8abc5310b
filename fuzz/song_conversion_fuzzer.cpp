// The whole conversion of a song file: headers, both sections, conversions, MIDI writing.
//
// Each input is written as a song file and converted by the driver, as the program does it,
// into a MIDI file beside it. What must hold whatever the file holds:
// - the run ends with status 0 (converted) or 1 (stopped), never another, and its last console
//   line says which: the writing stage's "Done", or the line of the length field where the file's
//   layout says it must stop (a track too long for a MIDI file being the only other stop);
// - a stopped run leaves no file behind; a converted one leaves exactly the MIDI file, which a
//   strict reader accepts (chunk lengths exact, every delta time a valid variable-length
//   quantity followed by a whole event, End of Track last), format 1 with two tracks each opened
//   by 4/4 and the tempo, a lyric track of Lyric events only, a music track of channel events
//   only, and every note-on ended by a note-off after it;
// - the events are those the records describe, at their ticks, worked out apart from the
//   conversions from the records each section's declared and decoded lengths cover.
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "driver/console.h"
#include "driver/run.h"
#include "expected_conversion.h"
#include "fuzz_check.h"
#include "midi/track_table.h"
#include "support/expected_midi.h"
#include "support/smf_reader.h"
#include "support/song_builder.h"

namespace {

using meldrix::fuzzing::ExpectedConversion;
using namespace meldrix::testing;

const std::string BANNER = "ZUNO (TARVIK Karaoke File Format) to MIDI Converter, version 1.0.0\n\n";
const std::string WRITING_DONE = "Writing the MIDI buffer to the file... Done\n";
const std::string TRACK_TOO_LONG = "Track too long for a MIDI file\n";
const char* const SONG_NAME = "song.zuno";
const char* const MIDI_NAME = "song.mid";

// Above this many records, the event-by-event comparison costs more than it finds; the
// structure of the file is still checked whole.
constexpr std::size_t MOST_RECORDS_COMPARED = 200000;

// A folder of this fuzzing process, on a memory file system when there is one; removed at exit.
class Workspace {
public:
    Workspace() {
        const char* base = std::getenv("TMPDIR");
        std::string root = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : (base != nullptr ? base : "/tmp");
        std::string pattern = root + "/meldrix-fuzz-XXXXXX";
        FUZZ_CHECK(::mkdtemp(pattern.data()) != nullptr, "cannot make a folder in %s", root.c_str());
        folder_ = pattern;
    }
    ~Workspace() {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    std::string path(const char* name) const { return folder_ + "/" + name; }

    // The names in the folder, sorted.
    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        DIR* directory = ::opendir(folder_.c_str());
        FUZZ_CHECK(directory != nullptr, "cannot list %s", folder_.c_str());
        while (const dirent* entry = ::readdir(directory)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        ::closedir(directory);
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    std::string folder_;
};

Workspace& workspace() {
    static Workspace instance;  // destroyed at exit, with the folder
    return instance;
}

void writeSongFile(const std::string& path, const std::uint8_t* data, std::size_t size) {
    const int descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    FUZZ_CHECK(descriptor >= 0, "cannot write %s", path.c_str());
    std::size_t written = 0;
    while (written < size) {
        const ssize_t count = ::write(descriptor, data + written, size - written);
        FUZZ_CHECK(count > 0, "cannot write %s", path.c_str());
        written += static_cast<std::size_t>(count);
    }
    ::close(descriptor);
}

bool endsWith(const std::string& text, const std::string& end) { return text.ends_with(end); }

void checkPreamble(const MidiTrack& track, const char* which) {
    FUZZ_CHECK(track.events.size() >= 3, "%s track without its preamble", which);
    const MidiEvent& signature = track.events[0];
    const MidiEvent& tempo = track.events[1];
    FUZZ_CHECK(signature.status == 0xFF && signature.metaType == 0x58 && signature.tick == 0 &&
                   signature.data == std::vector<std::uint8_t>({4, 2, 24, 8}),
               "%s track does not open with 4/4", which);
    FUZZ_CHECK(tempo.status == 0xFF && tempo.metaType == 0x51 && tempo.tick == 0 &&
                   tempo.data == std::vector<std::uint8_t>({0x07, 0x00, 0x00}),
               "%s track does not set the tempo 458752", which);
}

void checkLyricTrack(const MidiTrack& track) {
    checkPreamble(track, "lyric");
    for (std::size_t i = 2; i + 1 < track.events.size(); ++i) {
        const MidiEvent& event = track.events[i];
        FUZZ_CHECK(event.status == 0xFF && event.metaType == 0x05 && event.data.size() == 1,
                   "lyric track event %zu is not a one-character Lyric event", i);
    }
}

// Every note-on (of any velocity) has exactly one note-off on its channel and note after it.
void checkNotesEnd(const MidiTrack& track) {
    std::map<std::pair<int, int>, std::int64_t> sounding;
    for (std::size_t i = 2; i + 1 < track.events.size(); ++i) {
        const MidiEvent& event = track.events[i];
        const int kind = event.status & 0xF0;
        FUZZ_CHECK(event.status < 0xF0 && (kind == 0x80 || kind == 0x90 || kind == 0xB0 || kind == 0xC0 ||
                                           kind == 0xE0),
                   "music track event %zu has status %02X", i, event.status);
        const auto key = std::make_pair(event.status & 0x0F, int{event.data[0]});
        if (kind == 0x90) ++sounding[key];
        if (kind == 0x80) {
            FUZZ_CHECK(--sounding[key] >= 0, "a note-off of channel %d note %d at tick %lld comes before its note-on",
                       key.first, key.second, static_cast<long long>(event.tick));
        }
    }
    for (const auto& [key, count] : sounding) {
        FUZZ_CHECK(count == 0, "%lld note-ons of channel %d note %d never end", static_cast<long long>(count),
                   key.first, key.second);
    }
    // As a player hears them: a note-on of velocity 0 also ends a note.
    for (const HeardNote& note : notesOf(track)) {
        FUZZ_CHECK(note.offTick != -1, "note %d on channel %d at tick %lld never ends", note.note, note.channel,
                   static_cast<long long>(note.onTick));
    }
}

void checkConvertedFile(const ExpectedConversion& expected) {
    const std::vector<std::uint8_t> bytes = readFile(workspace().path(MIDI_NAME));
    const MidiReadResult midi = readMidiStrictly(bytes);
    FUZZ_CHECK(midi.file.has_value(), "the MIDI file is refused: %s", midi.error.c_str());
    FUZZ_CHECK(midi.file->format == 1 && midi.file->division == 27, "format %d, division %d", midi.file->format,
               midi.file->division);
    FUZZ_CHECK(midi.file->tracks.size() == 2, "%zu tracks", midi.file->tracks.size());
    const MidiTrack& lyrics = midi.file->tracks[0];
    const MidiTrack& music = midi.file->tracks[1];
    checkLyricTrack(lyrics);
    checkPreamble(music, "music");
    checkNotesEnd(music);

    if (expected.lyricRecords.size() / 4 <= MOST_RECORDS_COMPARED) {
        FUZZ_CHECK(lyricEventsOf(lyrics) == expectedLyricEvents(expected.lyricRecords),
                   "the lyric events differ from the %zu lyric records", expected.lyricRecords.size() / 4);
    }
    if (expected.musicRecords.size() / 5 <= MOST_RECORDS_COMPARED) {
        FUZZ_CHECK(musicEventsOf(music) == expectedMusicEvents(expected.musicRecords),
                   "the music events differ from the %zu music records", expected.musicRecords.size() / 5);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Workspace& place = workspace();
    const std::string song = place.path(SONG_NAME);
    const std::string midi = place.path(MIDI_NAME);
    writeSongFile(song, data, size);
    ::unlink(midi.c_str());

    meldrix::Console console;
    const int status = meldrix::runConverter({song, midi}, console);
    const std::string& transcript = console.recorded();
    const ExpectedConversion expected = meldrix::fuzzing::expectConversion({data, size});

    FUZZ_CHECK(transcript.starts_with(BANNER), "no banner");
    if (expected.stopsAtHeader) {
        FUZZ_CHECK(status == meldrix::EXIT_STOPPED, "status %d where the run must stop", status);
        FUZZ_CHECK(endsWith(transcript, expected.stopLine), "the run should end with '%s':\n%s",
                   expected.stopLine.c_str(), transcript.c_str());
    } else if (status == meldrix::EXIT_STOPPED) {
        FUZZ_CHECK(endsWith(transcript, TRACK_TOO_LONG), "a run with valid headers stopped:\n%s", transcript.c_str());
        FUZZ_CHECK(meldrix::fuzzing::musicDeltaSum(expected.musicRecords) > meldrix::MAX_VARIABLE_LENGTH,
                   "a track too long although no delta time can pass the limit");
    } else {
        FUZZ_CHECK(status == meldrix::EXIT_CONVERTED, "status %d", status);
        FUZZ_CHECK(endsWith(transcript, WRITING_DONE), "a converted run ends otherwise:\n%s", transcript.c_str());
    }

    const std::vector<std::string> expectedEntries =
        status == meldrix::EXIT_CONVERTED ? std::vector<std::string>{MIDI_NAME, SONG_NAME}
                                          : std::vector<std::string>{SONG_NAME};
    FUZZ_CHECK(place.entries() == expectedEntries, "the folder holds %zu files after status %d",
               place.entries().size(), status);
    if (status == meldrix::EXIT_CONVERTED) checkConvertedFile(expected);
    return 0;
}
