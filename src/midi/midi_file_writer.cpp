#include "midi/midi_file_writer.h"

#include <array>
#include <cstddef>

namespace meldrix {

namespace {

constexpr std::uint8_t byteOf(std::uint32_t value, int shift) {
    return static_cast<std::uint8_t>((value >> shift) & 0xFFu);
}

// What opens every track: delta 0, Time Signature 4/4 (24 clocks per click, 8 thirty-seconds per
// quarter), delta 0, Set Tempo.
constexpr std::array<std::uint8_t, 15> TRACK_PREAMBLE = {
    0x00, 0xFF, 0x58, 0x04, 0x04, 0x02, 0x18, 0x08,
    0x00, 0xFF, 0x51, 0x03,
    byteOf(TEMPO_USEC_PER_QUARTER, 16), byteOf(TEMPO_USEC_PER_QUARTER, 8),
    byteOf(TEMPO_USEC_PER_QUARTER, 0)};

constexpr std::array<std::uint8_t, 4> END_OF_TRACK = {0x00, 0xFF, 0x2F, 0x00};

static_assert(TRACK_PREAMBLE.size() + END_OF_TRACK.size() == TRACK_FIXED_BYTES);

constexpr std::size_t CHUNK_HEADER_BYTES = 8;

void putBigEndian32(std::uint8_t* destination, std::uint32_t value) {
    for (int index = 0; index < 4; ++index) destination[index] = byteOf(value, 24 - 8 * index);
}

bool writeBlock(std::FILE* stream, const std::uint8_t* bytes, std::size_t count) {
    if (count == 0) return true;
    return std::fwrite(bytes, 1, count, stream) == count;
}

bool writeFileHeader(std::FILE* stream, int trackCount) {
    const auto tracks = static_cast<std::uint16_t>(trackCount);
    const std::array<std::uint8_t, 14> header = {
        'M', 'T', 'h', 'd', 0x00, 0x00, 0x00, 0x06,
        0x00, static_cast<std::uint8_t>(tracks > 1 ? 1 : 0),
        byteOf(tracks, 8), byteOf(tracks, 0),
        byteOf(TICKS_PER_QUARTER, 8), byteOf(TICKS_PER_QUARTER, 0)};
    return writeBlock(stream, header.data(), header.size());
}

bool writeTrackChunk(std::FILE* stream, const TrackBuffer& track) {
    const std::uint64_t chunkLength = track.size() + TRACK_FIXED_BYTES;
    if (chunkLength > 0xFFFFFFFFu) return false;  // only a table built past its limit gets here

    std::array<std::uint8_t, CHUNK_HEADER_BYTES + TRACK_PREAMBLE.size()> opening{};
    opening[0] = 'M';
    opening[1] = 'T';
    opening[2] = 'r';
    opening[3] = 'k';
    putBigEndian32(&opening[4], static_cast<std::uint32_t>(chunkLength));
    for (std::size_t index = 0; index < TRACK_PREAMBLE.size(); ++index) {
        opening[CHUNK_HEADER_BYTES + index] = TRACK_PREAMBLE[index];
    }
    return writeBlock(stream, opening.data(), opening.size()) &&
           writeBlock(stream, track.bytes().data(), track.size()) &&
           writeBlock(stream, END_OF_TRACK.data(), END_OF_TRACK.size());
}

}  // namespace

bool MidiFileWriter::write(std::FILE* stream, TrackTable& table) {
    if (table.overflowed()) return false;
    if (table.trackCount() < 1) return true;
    if (!writeFileHeader(stream, table.trackCount())) return false;
    for (int slot = 0; slot < TRACK_SLOTS; ++slot) {
        const TrackBuffer* track = table.buffer(slot);
        if (track == nullptr) continue;
        if (!writeTrackChunk(stream, *track)) return false;
        table.release(slot);
    }
    return true;
}

}  // namespace meldrix
