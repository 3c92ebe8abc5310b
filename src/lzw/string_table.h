#pragma once

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
// most once); only a looping chain, stopped by the limit, gets further.
inline constexpr std::size_t DECODE_STACK_ROOM = std::size_t{MAX_CHAIN_LINKS} + 2;
static_assert(DECODE_STACK_ROOM >= DECODE_STACK_SIZE);

// The decoder's string table: entry n stands for the string of code prefixCode[n] followed by
// the byte appendByte[n]; a code not above 256 stands for its low 8 bits.
//
// Every entry starts as prefix 0, byte 0, so an expansion through an entry never assigned reads
// zeros and stays inside the table. Every prefix is a 12-bit code, so every link stays inside it.
class StringTable {
public:
    StringTable() : prefixCode_(TABLE_ENTRIES, 0), appendByte_(TABLE_ENTRIES, 0) {}

    // Requires entry <= LAST_TABLE_CODE and prefix <= END_CODE.
    void assign(std::uint32_t entry, std::uint32_t prefix, std::uint8_t byte) {
        prefixCode_[entry] = prefix;
        appendByte_[entry] = byte;
    }

    // Writes the string of `code` into decodeStack back to front, its last byte at end - 1, and
    // returns the position of its first byte: the string is decodeStack[first, end).
    // Requires code <= END_CODE and MAX_CHAIN_LINKS + 1 <= end <= decodeStack.size(), so that
    // everything the chain limit admits fits below end.
    // Returns nothing when the chain needs more than MAX_CHAIN_LINKS links (a chain that leads
    // back into itself); the bytes written below end are then meaningless.
    std::optional<std::size_t> expandCode(std::uint32_t code, std::span<std::uint8_t> decodeStack,
                                          std::size_t end) const;

private:
    std::vector<std::uint32_t> prefixCode_;
    std::vector<std::uint8_t> appendByte_;
};

}  // namespace meldrix
