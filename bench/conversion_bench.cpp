// Speed of the conversions, in records per second: lyric records into the lyric track, music
// records into the music track (with the note-off schedule), the schedule alone with every note
// sounding at once, and writing the MIDI file.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

#include "bench_data.h"
#include "convert/lyric_conversion.h"
#include "convert/music_conversion.h"
#include "convert/note_off_schedule.h"
#include "driver/console.h"
#include "lzw/decoded_section.h"
#include "midi/midi_file_writer.h"
#include "midi/track_table.h"

namespace meldrix::bench {
namespace {

void convertLyricRecords(benchmark::State& state) {
    const DecodedSection section(realisticLyrics().decoded);
    for (auto _ : state) {
        TrackTable table;
        Console console;
        convertLyrics(section, section.produced(), table, console);
        benchmark::DoNotOptimize(table.buffer(LYRIC_TRACK));
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(section.produced() / LYRIC_RECORD_SIZE));
}
BENCHMARK(convertLyricRecords)->Unit(benchmark::kMillisecond);

// Converts the music records and flushes the note-offs left, as a run does.
void convertMusicRecords(benchmark::State& state, const SectionData& (*data)()) {
    const DecodedSection section(data().decoded);
    for (auto _ : state) {
        TrackTable table;
        Console console;
        NoteOffSchedule schedule;
        MusicTrackState musicState;
        convertMusic(section, section.produced(), table, schedule, musicState, console);
        flushNoteOffs(table, schedule, musicState, console);
        benchmark::DoNotOptimize(table.buffer(MUSIC_TRACK));
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(section.produced() / MUSIC_RECORD_SIZE));
}
BENCHMARK_CAPTURE(convertMusicRecords, realistic, realisticMusic)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(convertMusicRecords, all_notes_at_once, allNotesAtOnceMusic)->Unit(benchmark::kMillisecond);

// The schedule alone: state.range(0) notes added at one time, then all taken out.
void scheduleNotesSoundingAtOnce(benchmark::State& state) {
    const auto notes = state.range(0);
    for (auto _ : state) {
        NoteOffSchedule schedule;
        for (std::int64_t i = 0; i < notes; ++i) {
            schedule.addNoteOff(255, static_cast<std::uint8_t>(i % 128), 100, static_cast<std::uint8_t>(i % 16));
        }
        while (const auto due = schedule.takeEarliestDue(255)) benchmark::DoNotOptimize(due->note);
    }
    state.SetItemsProcessed(state.iterations() * notes);
}
BENCHMARK(scheduleNotesSoundingAtOnce)->Arg(1000)->Arg(200000)->Unit(benchmark::kMillisecond);

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// Writes the MIDI file of the realistic song into a temporary file, over and over from its start,
// in bytes per second of MIDI file.
void writeMidiFile(benchmark::State& state) {
    const DecodedSection lyrics(realisticLyrics().decoded);
    const DecodedSection music(realisticMusic().decoded);
    std::unique_ptr<std::FILE, FileCloser> sink(std::tmpfile());
    if (!sink) {
        state.SkipWithError("no temporary file");
        return;
    }
    std::int64_t fileBytes = 0;
    for (auto _ : state) {
        state.PauseTiming();
        TrackTable table;
        Console console;
        NoteOffSchedule schedule;
        MusicTrackState musicState;
        convertLyrics(lyrics, lyrics.produced(), table, console);
        convertMusic(music, music.produced(), table, schedule, musicState, console);
        flushNoteOffs(table, schedule, musicState, console);
        fileBytes = static_cast<std::int64_t>(table.buffer(LYRIC_TRACK)->size() +
                                              table.buffer(MUSIC_TRACK)->size());
        std::rewind(sink.get());
        state.ResumeTiming();
        if (!MidiFileWriter::write(sink.get(), table)) state.SkipWithError("the MIDI file was not written");
        std::fflush(sink.get());
    }
    state.SetBytesProcessed(state.iterations() * fileBytes);
}
// Refilling the table costs far more than writing it, so the number of runs is fixed.
BENCHMARK(writeMidiFile)->Iterations(30)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace meldrix::bench
