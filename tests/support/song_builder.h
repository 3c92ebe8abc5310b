#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace meldrix::testing {

// One section of a song file as stored: the two header fields and the compressed stream.
struct SongSection {
    std::uint32_t compressedLength = 0;  // as written in the header (may disagree with stream)
    std::uint32_t decodedLength = 0;
    std::vector<std::uint8_t> stream;
};

// A section whose stream is the encoder's output for `decoded` and whose header tells the truth.
// An empty `decoded` gives an empty stream declared as 0 bytes.
SongSection compressedSection(std::span<const std::uint8_t> decoded);

// The bytes of a song file: each section's 12-byte header (lengths big-endian, 4 spare bytes)
// followed by its stream.
std::vector<std::uint8_t> songFileBytes(const SongSection& lyrics, const SongSection& music);

// The song file of two decoded sections.
std::vector<std::uint8_t> songFile(std::span<const std::uint8_t> lyrics, std::span<const std::uint8_t> music);

// Record builders: a lyric record (character, time) and a music record.
void addLyricRecord(std::vector<std::uint8_t>& section, std::uint8_t character, std::uint16_t time);
void addMusicRecord(std::vector<std::uint8_t>& section, std::uint8_t delta, std::uint8_t duration,
                    std::uint8_t kind, std::uint8_t data1, std::uint8_t data2);

void writeFile(const std::string& path, std::span<const std::uint8_t> bytes);
std::vector<std::uint8_t> readFile(const std::string& path);

}  // namespace meldrix::testing
