#pragma once

#include <cstdint>

namespace meldrix {

// Where everything lies in a song file. The file is two sections back to back, the lyric section
// first; each starts with a 12-byte header (compressedLength and decodedLength, each a signed
// 32-bit big-endian number that must not be negative, then 4 bytes that are never read) followed
// by its compressed stream. Positions are 64-bit: a lyric compressedLength near 2^31 puts the
// music section past what 32-bit arithmetic reaches.
inline constexpr std::uint64_t SECTION_HEADER_SIZE = 12;

struct SectionPositions {
    std::uint64_t compressedLength;  // the header's first field
    std::uint64_t decodedLength;     // the header's second field
    std::uint64_t stream;            // the compressed stream
};

// The lyric section starts the file.
inline constexpr SectionPositions lyricSectionPositions() { return {0, 4, 12}; }

// The music section follows the lyric stream directly; its place depends only on the lyric
// compressedLength.
inline constexpr SectionPositions musicSectionPositions(std::uint64_t lyricCompressedLength) {
    const std::uint64_t start = SECTION_HEADER_SIZE + lyricCompressedLength;
    return {start, start + 4, start + SECTION_HEADER_SIZE};
}

// The signed 32-bit value of 4 bytes in file order, most significant first, on any host.
// 00 00 01 00 gives 256; FF FF FF FF gives -1.
inline constexpr std::int32_t readBigEndian32(const std::uint8_t bytes[4]) {
    const std::uint32_t value = (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
                                (std::uint32_t{bytes[2]} << 8) | std::uint32_t{bytes[3]};
    return static_cast<std::int32_t>(value);
}

}  // namespace meldrix
