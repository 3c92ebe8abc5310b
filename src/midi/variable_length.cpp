#include "midi/track_table.h"

namespace meldrix {

int writeVariableLength(std::int64_t value, std::uint8_t destination[4]) {
    // Masking keeps an out-of-range value to the 4 bytes the destination holds.
    const auto bits = static_cast<std::uint32_t>(value) & 0x0FFFFFFFu;
    int count = 1;
    while (count < 4 && (bits >> (7 * count)) != 0) ++count;
    for (int index = 0; index < count; ++index) {
        const int shift = 7 * (count - 1 - index);
        const auto group = static_cast<std::uint8_t>((bits >> shift) & 0x7Fu);
        const bool more = index + 1 < count;
        destination[index] = static_cast<std::uint8_t>(more ? (group | 0x80u) : group);
    }
    return count;
}

}  // namespace meldrix
