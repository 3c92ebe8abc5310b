#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace meldrix::fuzzing {

// What converting a song file must give, worked out from the file's layout apart from the
// driver: whether the run stops at a length field (and with which console line), and otherwise
// the records each conversion reads.
struct ExpectedConversion {
    bool stopsAtHeader = false;
    // When it stops: the last console line, stage text included, e.g.
    // "Getting MIDI compressed length... Unexpected end of input file\n".
    std::string stopLine;
    // When it converts: the records read from each section, whole, a last partial record filled
    // with zeros past the decoded bytes.
    std::vector<std::uint8_t> lyricRecords;
    std::vector<std::uint8_t> musicRecords;
};

// Reads the four length fields where the layout puts them (a field the file does not hold
// whole, or a negative one, stops the run), takes each stream from the bytes the file holds,
// decodes it with the section decoder into declared length + 10 bytes, and keeps the records
// that start below the smaller of the declared and the decoded length.
ExpectedConversion expectConversion(std::span<const std::uint8_t> songFile);

// The sum of the music records' delta times: a bound on every delta time the music track needs.
std::int64_t musicDeltaSum(std::span<const std::uint8_t> musicRecords);

}  // namespace meldrix::fuzzing
