#pragma once

#include <cstdint>
#include <span>

#include "driver/console.h"
#include "lzw/decoded_section.h"

namespace meldrix {

// The compressed stream of a section: LZW with fixed 12-bit codes packed most significant bit
// first, no clear code, and a string table that wraps back to its first entry once full.
inline constexpr std::uint32_t CODE_BITS = 12;
inline constexpr std::uint32_t END_CODE = 4095;          // ends the stream (not as first code)
inline constexpr std::uint32_t FIRST_TABLE_CODE = 257;   // first entry a code assigns
inline constexpr std::uint32_t LAST_TABLE_CODE = 4095;   // after assigning it, the table wraps
inline constexpr std::uint32_t TABLE_ENTRIES = 5021;
// The entries a 12-bit code can name, 0 to END_CODE: the decoder's table holds only these, as
// entries from END_CODE + 1 to TABLE_ENTRIES - 1 are never assigned nor read.
inline constexpr std::uint32_t CODE_VALUES = 1u << CODE_BITS;
static_assert(CODE_VALUES == END_CODE + 1 && CODE_VALUES <= TABLE_ENTRIES);
inline constexpr std::uint32_t MAX_CHAIN_LINKS = 4094;   // links one expansion may follow
inline constexpr std::uint32_t DECODE_STACK_SIZE = 4000;

class LzwDecoder {
public:
    // Decodes one compressed stream.
    //
    // capacity: the most bytes the section may hold (its declared length + DECODED_SLACK).
    // Requires capacity >= 1.
    //
    // Guarantees: the result holds the bytes decoded, at least 1 and at most capacity; decoding
    // stops at an END_CODE, when fewer than 12 bits are left, at an invalid code ("Invalid code:
    // offset:%X new:%X next:%X\n"), at a chain that needs more than MAX_CHAIN_LINKS links
    // ("Fatal error during code expansion.\n"), or as soon as capacity bytes are stored (a
    // string that reaches past it is stored up to it, and no further code is read). Memory
    // grows with the bytes produced, not with capacity. Never reads outside `compressed`.
    static DecodedSection decode(std::span<const std::uint8_t> compressed, std::uint64_t capacity,
                                 Console& console);
};

}  // namespace meldrix
