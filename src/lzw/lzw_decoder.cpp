#include "lzw/lzw_decoder.h"

#include <optional>
#include <vector>

#include "lzw/code_reader.h"
#include "lzw/decoded_area.h"
#include "lzw/string_table.h"

namespace meldrix {

namespace {

// The state of one decode call. Nothing outlives the call, so the lyric section and the music
// section never share anything.
struct SectionDecoder {
    SectionDecoder(std::span<const std::uint8_t> compressed, std::uint64_t capacity)
        : reader(compressed), output(capacity), decodeStack(DECODE_STACK_ROOM, 0) {}

    DecodedSection run(Console& console);

    CodeReader reader;
    StringTable table;
    DecodedArea output;
    // One string at a time, built back to front so that it can be copied out in one block.
    std::vector<std::uint8_t> decodeStack;
    // The entry the next accepted code assigns: FIRST_TABLE_CODE to LAST_TABLE_CODE, or one past
    // it right after entry LAST_TABLE_CODE was assigned (the wrap happens before the next code).
    std::uint32_t nextCode = FIRST_TABLE_CODE;
    // The code read before the current one: the prefix of the entry the current code assigns.
    std::uint32_t previousCode = 0;
    // The first byte of the string written last.
    std::uint8_t firstByte = 0;
};

DecodedSection SectionDecoder::run(Console& console) {
    // The first code is not judged: its low 8 bits are the first byte, whatever it is.
    previousCode = reader.readCode();
    firstByte = static_cast<std::uint8_t>(previousCode);
    output.append(firstByte);

    const std::size_t stackEnd = decodeStack.size();
    while (!output.full()) {
        const std::uint32_t code = reader.readCode();
        if (code == END_CODE) break;
        if (nextCode > LAST_TABLE_CODE) nextCode = FIRST_TABLE_CODE;

        std::optional<std::size_t> first;
        if (code < nextCode) {
            first = table.expandCode(code, decodeStack, stackEnd);
        } else if (code == nextCode) {
            // The code names the entry this very step assigns: the previous string followed by
            // its own first byte.
            decodeStack[stackEnd - 1] = firstByte;
            first = table.expandCode(previousCode, decodeStack, stackEnd - 1);
        } else {
            console.printf("Invalid code: offset:%zX new:%X next:%X\n", reader.bytesRead(), code,
                           nextCode);
            break;
        }
        if (!first) {
            console.print("Fatal error during code expansion.\n");
            break;
        }

        firstByte = decodeStack[*first];
        output.append(std::span<const std::uint8_t>(decodeStack).subspan(*first));
        table.assign(nextCode, previousCode, firstByte);
        ++nextCode;
        previousCode = code;
    }
    return output.release();
}

}  // namespace

DecodedSection LzwDecoder::decode(std::span<const std::uint8_t> compressed,
                                  std::uint64_t capacity, Console& console) {
    if (capacity == 0) return DecodedSection();  // outside the contract: nothing may be stored
    return SectionDecoder(compressed, capacity).run(console);
}

}  // namespace meldrix
