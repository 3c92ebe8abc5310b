#include "support/lzw_encoder.h"

#include <stdexcept>
#include <vector>

#include "lzw/lzw_decoder.h"

namespace meldrix::testing {

namespace {

constexpr std::size_t CODE_SPACE = std::size_t{END_CODE} + 1;
constexpr std::uint16_t NO_ENTRY = 0;  // code 0 is a literal, never a table entry

// The encoder's copy of the decoder's string table, kept as a trie: child(prefix, byte) is the
// entry assigned (prefix, byte), so the path from a literal down to an entry spells exactly the
// string the decoder expands that entry to, also after entries on the way were re-assigned.
//
// Two entries may hold the same (prefix, byte): every code assigns an entry, even when the
// string is already in the table under an entry the decoder would refuse. The trie keeps the
// newer one; the older one's strings are simply never used again.
class EncoderTable {
public:
    EncoderTable()
        : children_(CODE_SPACE * 256, NO_ENTRY), prefixCode_(CODE_SPACE, 0),
          appendByte_(CODE_SPACE, 0), assigned_(CODE_SPACE, false) {}

    std::uint16_t child(std::uint32_t prefix, std::uint8_t byte) const {
        return children_[prefix * 256 + byte];
    }

    // The entry's old string leaves the trie; its old children stay below it, as they do in
    // the decoder, where their strings change with it.
    void assign(std::uint32_t entry, std::uint32_t prefix, std::uint8_t byte) {
        if (assigned_[entry]) {
            std::uint16_t& oldSlot = children_[prefixCode_[entry] * 256 + appendByte_[entry]];
            if (oldSlot == entry) oldSlot = NO_ENTRY;
        }
        children_[prefix * 256 + byte] = static_cast<std::uint16_t>(entry);
        prefixCode_[entry] = prefix;
        appendByte_[entry] = byte;
        assigned_[entry] = true;
    }

private:
    std::vector<std::uint16_t> children_;
    std::vector<std::uint32_t> prefixCode_;
    std::vector<std::uint8_t> appendByte_;
    std::vector<bool> assigned_;
};

}  // namespace

std::vector<std::uint8_t> lzwEncode(std::span<const std::uint8_t> data, bool withEndCode) {
    if (data.empty()) throw std::invalid_argument("lzwEncode needs at least one byte");

    EncoderTable table;
    std::vector<std::uint16_t> codes;
    codes.reserve(data.size() / 2 + 2);

    // The first code is a literal and assigns nothing.
    std::uint32_t previousCode = data[0];
    codes.push_back(static_cast<std::uint16_t>(previousCode));
    std::size_t position = 1;
    std::uint32_t nextCode = FIRST_TABLE_CODE;

    while (position < data.size()) {
        if (nextCode > LAST_TABLE_CODE) nextCode = FIRST_TABLE_CODE;
        // The entry that the code about to be written assigns in the decoder: the previous
        // string followed by the first byte of the next one. Assigning it first lets the walk
        // find it, the code that names its own entry.
        const std::uint32_t assignedNow = nextCode;
        table.assign(assignedNow, previousCode, data[position]);

        // Walk the trie along the data and keep the deepest entry the decoder accepts now: one
        // of this cycle (not above assignedNow; older ones are refused although they hold
        // strings) and not END_CODE. The walk stops at assignedNow: during this step the decoder
        // still expands the entries below it through the entry's old content.
        std::uint32_t node = data[position];
        std::uint32_t bestCode = node;
        std::size_t bestLength = 1;
        std::size_t length = 1;
        while (node != assignedNow && position + length < data.size()) {
            const std::uint16_t next = table.child(node, data[position + length]);
            if (next == NO_ENTRY) break;
            node = next;
            ++length;
            if (node <= assignedNow && node != END_CODE) {
                bestCode = node;
                bestLength = length;
            }
        }

        codes.push_back(static_cast<std::uint16_t>(bestCode));
        previousCode = bestCode;
        position += bestLength;
        ++nextCode;
    }

    if (withEndCode) codes.push_back(static_cast<std::uint16_t>(END_CODE));
    return packCodes(codes);
}

std::vector<std::uint8_t> packCodes(std::span<const std::uint16_t> codes) {
    std::vector<std::uint8_t> packed;
    packed.reserve((codes.size() * 3 + 1) / 2);
    for (std::size_t i = 0; i + 1 < codes.size(); i += 2) {
        const std::uint32_t pair = (std::uint32_t{codes[i]} & 0xFFF) << 12 |
                                   (std::uint32_t{codes[i + 1]} & 0xFFF);
        packed.push_back(static_cast<std::uint8_t>(pair >> 16));
        packed.push_back(static_cast<std::uint8_t>(pair >> 8));
        packed.push_back(static_cast<std::uint8_t>(pair));
    }
    if (codes.size() % 2 == 1) {
        const std::uint32_t last = std::uint32_t{codes.back()} & 0xFFF;
        packed.push_back(static_cast<std::uint8_t>(last >> 4));
        packed.push_back(static_cast<std::uint8_t>(last << 4));
    }
    return packed;
}

}  // namespace meldrix::testing
