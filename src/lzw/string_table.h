#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "lzw/lzw_decoder.h"

namespace meldrix {

// Room the decode stack needs for everything the chain limit admits: MAX_CHAIN_LINKS appended
// bytes, the final byte of the chain, and the extra byte of a code that names the entry it
// assigns. A chain without a loop fits in DECODE_STACK_SIZE (it meets each entry 257-4095 at
// most once); only a looping chain, stopped by the limit, gets further. It is also the longest
// string one code can write.
inline constexpr std::size_t DECODE_STACK_ROOM = std::size_t{MAX_CHAIN_LINKS} + 2;
static_assert(DECODE_STACK_ROOM >= DECODE_STACK_SIZE);

// Bytes readable past the start of any string copy (see TableEntry::copy): a short string may
// be moved as a whole block of this size.
inline constexpr std::size_t COPY_READ_AHEAD = 16;

// The one-byte strings of the codes not above 256 (256 stands for 00), followed by
// COPY_READ_AHEAD - 1 readable bytes, so that a literal is copied like any other string.
inline constexpr std::array<std::uint8_t, 257 + COPY_READ_AHEAD> LITERAL_BYTES = [] {
    std::array<std::uint8_t, 257 + COPY_READ_AHEAD> bytes{};
    for (std::size_t code = 0; code < 256; ++code) bytes[code] = static_cast<std::uint8_t>(code);
    return bytes;
}();

// One entry of the string table, 16 bytes, so that assigning it is one store.
//
// Entry n stands for the string of code prefixCode followed by the byte appendByte. Besides
// those links, it may say where a copy of its string already lies: copyLength bytes from copy,
// in the decoded area (or in LITERAL_BYTES for a code not above 256). A copyLength of 0 means no
// copy can be trusted, and the chain must be walked.
struct TableEntry {
    const std::uint8_t* copy = nullptr;
    std::uint32_t copyLength = 0;
    std::uint16_t prefixCode = 0;  // a 12-bit code
    std::uint8_t appendByte = 0;
};

// The decoder's string table, indexed by code.
//
// Codes not above 256 stand for their low 8 bits: their entries carry a copy in LITERAL_BYTES and
// are never assigned. Every other entry starts as prefix 0, byte 0, no copy, so an expansion
// through an entry never assigned reads zeros and stays inside the table; every prefix is a
// 12-bit code, so every link stays inside it.
class StringTable {
public:
    StringTable();

    // The entries, for the decoder's loop; indexes 0 to END_CODE. Assigning an entry: entries
    // 257 to LAST_TABLE_CODE only, with a prefix not above END_CODE.
    TableEntry* entries() { return entries_.data(); }

    // Writes the string of `code` into decodeStack back to front, its last byte at end - 1, and
    // returns the position of its first byte: the string is decodeStack[first, end).
    // Requires code <= END_CODE and MAX_CHAIN_LINKS + 1 <= end <= decodeStack.size(), so that
    // everything the chain limit admits fits below end.
    // Returns nothing when the chain needs more than MAX_CHAIN_LINKS links (a chain that leads
    // back into itself); the bytes written below end are then meaningless.
    std::optional<std::size_t> expandCode(std::uint32_t code, std::span<std::uint8_t> decodeStack,
                                          std::size_t end) const;

private:
    std::vector<TableEntry> entries_;
};

}  // namespace meldrix
