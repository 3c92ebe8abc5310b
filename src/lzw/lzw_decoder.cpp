#include "lzw/lzw_decoder.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

#include "lzw/code_reader.h"
#include "lzw/decoded_area.h"
#include "lzw/string_table.h"

namespace meldrix {

namespace {

// Strings up to this length are copied as one fixed-size block, which costs less than a call to
// memcpy with a variable length.
constexpr std::size_t SHORT_STRING = COPY_READ_AHEAD;
static_assert(SHORT_STRING == 16 && SHORT_STRING <= DECODE_STACK_ROOM);

// Copies `length` bytes from `source` to `destination`. Requires: the source is a table entry's
// copy (in LITERAL_BYTES, or in the decoded area with source + length <= destination) and the
// area has room for a whole string at destination. A short string is moved as SHORT_STRING
// bytes: the bytes past `length` are read from the room after the literals or from inside the
// area (source + SHORT_STRING <= destination + SHORT_STRING), and written into the room past the
// string, which the next string overwrites.
inline void copyString(std::uint8_t* destination, const std::uint8_t* source, std::size_t length) {
    if (length <= SHORT_STRING) {
        // Both halves are read before either is written, so that a source that runs into the
        // destination is well defined; the compiler keeps them in registers.
        std::uint64_t low = 0;
        std::uint64_t high = 0;
        std::memcpy(&low, source, 8);
        std::memcpy(&high, source + 8, 8);
        std::memcpy(destination, &low, 8);
        std::memcpy(destination + 8, &high, 8);
    } else {
        std::memcpy(destination, source, length);
    }
}

// Walks the chain of `code`, appends `lastByte` (when given) after it, and writes the string at
// `destination`, which has room for DECODE_STACK_ROOM bytes. Returns the string's length, or
// nothing when the chain limit stops the walk (nothing is written then).
std::optional<std::size_t> walkString(const StringTable& table, std::span<std::uint8_t> decodeStack,
                                      std::uint32_t code, std::optional<std::uint8_t> lastByte,
                                      std::uint8_t* destination) {
    std::size_t end = decodeStack.size();
    if (lastByte) decodeStack[--end] = *lastByte;
    const std::optional<std::size_t> first = table.expandCode(code, decodeStack, end);
    if (!first) return std::nullopt;
    const std::size_t length = decodeStack.size() - *first;
    std::memcpy(destination, decodeStack.data() + *first, length);
    return length;
}

// Decodes one stream. Nothing outlives the call, so the lyric section and the music section
// never share anything. Everything the loop changes is a local, so that the compiler keeps it in
// registers although the loop stores bytes through pointers.
//
// How strings are found: a code's string is, by definition, its chain walked as the table
// stands when the code is expanded. Walking costs one step per byte, so each entry may also say
// where its string already lies in the decoded area, and the string is copied from there in one
// block. That copy is recorded only for an entry whose chain is sure to stay as it is for as
// long as a code can name the entry:
//   - entries are assigned in order, 257 upwards, so in the current cycle every entry below
//     nextCode has been (re)assigned in this cycle, and an accepted code names one of them;
//     the entries of this cycle are not re-assigned before the next wrap;
//   - an entry above 257 takes as prefix the code read just before, which was accepted when
//     nextCode was one lower: a literal or an entry of this cycle below the new one;
//   - so an entry whose prefix is a literal, or an entry of this cycle that has a copy, has a
//     chain made only of entries of this cycle, and its string stays fixed until the wrap. Its
//     copy is the previous string followed by the first byte of the current one, which lie side
//     by side in the decoded area.
// Entry 257 takes as prefix the last code of the cycle before, whose chain runs through entries
// that this cycle re-assigns one by one, so 257 has a copy only when that prefix is a literal.
// Every entry without a copy, and the code that names its own entry right after the wrap (whose
// prefix is of the cycle before), is walked link by link under the chain limit.
DecodedSection decodeStream(std::span<const std::uint8_t> compressed, std::uint64_t capacity,
                            Console& console) {
    CodeReader reader(compressed);
    StringTable table;
    TableEntry* const entries = table.entries();
    // One walked string at a time, built back to front so that it can be copied out in one block.
    std::vector<std::uint8_t> decodeStack(DECODE_STACK_ROOM, 0);
    DecodedArea output(capacity, DECODE_STACK_ROOM);
    std::uint8_t* area = output.data();
    // Below this, a code needs no check: the area is not full and has room for a whole string.
    std::size_t quickUpTo = std::min(output.capacity(), output.roomyUpTo() + 1);

    // The first code is not judged: its low 8 bits are the first byte, whatever it is.
    std::uint32_t previousCode = reader.readCode();
    std::uint8_t firstByte = static_cast<std::uint8_t>(previousCode);
    area[0] = firstByte;
    // The string written last ends at `produced`; firstByte is its first byte.
    std::size_t previousLength = 1;
    std::size_t produced = 1;
    // The entry the next accepted code assigns: FIRST_TABLE_CODE to LAST_TABLE_CODE, or one past
    // it right after entry LAST_TABLE_CODE was assigned (the wrap happens before the next code).
    std::uint32_t nextCode = FIRST_TABLE_CODE;

    while (true) {
        if (produced >= quickUpTo) {
            if (produced >= output.capacity()) break;
            // The area moves: the copies of the entries move with it (the literals' stay).
            std::vector<std::size_t> offsets(CODE_VALUES, 0);
            for (std::uint32_t entry = FIRST_TABLE_CODE; entry <= LAST_TABLE_CODE; ++entry) {
                if (entries[entry].copyLength != 0) offsets[entry] = static_cast<std::size_t>(entries[entry].copy - area);
            }
            output.makeRoomAt(produced);
            area = output.data();
            quickUpTo = std::min(output.capacity(), output.roomyUpTo() + 1);
            for (std::uint32_t entry = FIRST_TABLE_CODE; entry <= LAST_TABLE_CODE; ++entry) {
                if (entries[entry].copyLength != 0) entries[entry].copy = area + offsets[entry];
            }
        }
        const std::uint32_t code = reader.readCode();
        if (code == END_CODE) break;
        if (nextCode > LAST_TABLE_CODE) {
            nextCode = FIRST_TABLE_CODE;
            // previousCode is an entry of the cycle that just ended (or a literal): its copy is
            // not to be trusted any more, and no code consults it again before it is re-assigned.
            if (previousCode > 256) entries[previousCode].copyLength = 0;
        }
        std::uint8_t* const destination = area + produced;
        std::uint8_t* const previousString = destination - previousLength;
        // Whether previousCode's string is fixed for this cycle (a literal, or an entry of this
        // cycle with a copy); only then may the entry this code assigns get a copy.
        const bool previousIsFixed = entries[previousCode].copyLength != 0;

        std::size_t length = 0;
        if (code < nextCode) {
            const TableEntry entry = entries[code];
            if (entry.copyLength != 0) {
                firstByte = *entry.copy;
                copyString(destination, entry.copy, entry.copyLength);
                length = entry.copyLength;
            } else {
                const std::optional<std::size_t> walked = walkString(table, decodeStack, code, std::nullopt, destination);
                if (!walked) {
                    console.print("Fatal error during code expansion.\n");
                    break;
                }
                firstByte = *destination;
                length = *walked;
            }
        } else if (code == nextCode) {
            // The code names the entry this very step assigns: previousCode's string, as the table
            // stands now, followed by the first byte of the string written last.
            if (previousIsFixed) {
                // That string is the one written last, unchanged since: firstByte stays.
                copyString(destination, previousString, previousLength);
                destination[previousLength] = firstByte;
                length = previousLength + 1;
            } else {
                const std::optional<std::size_t> walked =
                    walkString(table, decodeStack, previousCode, firstByte, destination);
                if (!walked) {
                    console.print("Fatal error during code expansion.\n");
                    break;
                }
                // The chain as it stands now may begin otherwise than the string written last.
                firstByte = *destination;
                length = *walked;
            }
        } else {
            console.printf("Invalid code: offset:%zX new:%X next:%X\n", reader.bytesRead(), code,
                           nextCode);
            break;
        }

        // The new entry is the previous string followed by this string's first byte: the two lie
        // side by side.
        entries[nextCode] = TableEntry{previousIsFixed ? previousString : nullptr,
                                       previousIsFixed ? static_cast<std::uint32_t>(previousLength + 1) : 0,
                                       static_cast<std::uint16_t>(previousCode), firstByte};
        ++nextCode;
        previousCode = code;
        previousLength = length;
        produced += length;
    }
    return output.release(produced);
}

}  // namespace

DecodedSection LzwDecoder::decode(std::span<const std::uint8_t> compressed,
                                  std::uint64_t capacity, Console& console) {
    if (capacity == 0) return DecodedSection();  // outside the contract: nothing may be stored
    return decodeStream(compressed, capacity, console);
}

}  // namespace meldrix
