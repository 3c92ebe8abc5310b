#include "convert/lyric_conversion.h"

#include <algorithm>

#include "convert/progress_dots.h"
#include "midi/track_writer.h"

namespace meldrix {

namespace {

constexpr std::uint8_t META_EVENT = 0xFF;
constexpr std::uint8_t META_LYRIC = 0x05;
// A lyric record's event: a delta time of at most 3 bytes and the 4 bytes of the Lyric event.
constexpr std::uint64_t MAX_EVENT_BYTES = 7;

static_assert(LYRIC_RECORD_SIZE <= RECORD_PADDING, "a partial record must be readable whole");

}  // namespace

void convertLyrics(const DecodedSection& section, std::uint64_t coveredLength, TrackTable& table,
                   Console& console) {
    // Never read a record that starts past the produced bytes, whatever the caller passes.
    const std::uint64_t covered = std::min(coveredLength, section.produced());
    const std::uint8_t* bytes = section.data();
    std::int64_t lastNonZeroTime = 0;
    table.reserve(LYRIC_TRACK, (covered + LYRIC_RECORD_SIZE - 1) / LYRIC_RECORD_SIZE * MAX_EVENT_BYTES);

    TrackWriter track(table, LYRIC_TRACK);
    ProgressDots dots(console);
    for (std::uint64_t offset = 0; offset < covered; offset += LYRIC_RECORD_SIZE) {
        // A record that starts below the produced count lies inside the zero padding at worst.
        const std::uint8_t* record = bytes + offset;
        const std::uint8_t character = record[0];
        const std::int64_t time = record[2] | (record[3] << 8);

        std::int64_t delta = 0;
        // Time 0 means "with the record before"; a time that goes back is written at the time
        // already reached, so the deltas after it still count from there.
        if (time != 0 && time >= lastNonZeroTime) {
            delta = time - lastNonZeroTime;
            lastNonZeroTime = time;
        }
        // A Lyric meta event of one character: FF 05, text length 1, the character.
        track.append(delta, TrackEvent{{META_EVENT, META_LYRIC, 1, character}, 4});

        dots.recordConverted();
    }
}

}  // namespace meldrix
