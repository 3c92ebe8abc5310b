#include "lzw/string_table.h"

namespace meldrix {

static_assert(sizeof(TableEntry) == 16, "one entry, one store");

StringTable::StringTable() : entries_(CODE_VALUES) {
    for (std::uint32_t code = 0; code <= 256; ++code) entries_[code] = {&LITERAL_BYTES[code], 1, 0, 0};
}

std::optional<std::size_t> StringTable::expandCode(std::uint32_t code,
                                                   std::span<std::uint8_t> decodeStack,
                                                   std::size_t end) const {
    std::size_t position = end;
    std::uint32_t linksFollowed = 0;
    while (code > 256) {
        // Only a loop gets this far: a chain without one meets each entry 257-4095 at most once.
        if (linksFollowed == MAX_CHAIN_LINKS) return std::nullopt;
        ++linksFollowed;
        decodeStack[--position] = entries_[code].appendByte;
        code = entries_[code].prefixCode;
    }
    decodeStack[--position] = static_cast<std::uint8_t>(code);
    return position;
}

}  // namespace meldrix
