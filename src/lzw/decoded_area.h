#pragma once

#include <cstddef>
#include <cstdint>

#include "memory/byte_block.h"
#include "lzw/decoded_section.h"

namespace meldrix {

// The memory the decoder writes a section into, grown as bytes arrive.
//
// The capacity may come from a header claim of up to 2 GiB while the real data is tiny, so the
// area starts small and grows by a constant factor as bytes arrive, never reserving much beyond
// the capacity: memory follows the bytes produced. Past the current write position it always has
// room for one whole string (stringRoom bytes) and the padding a DecodedSection adds, so the
// decoder writes a string with plain copies and no check per byte, even when the string runs
// past the capacity: release() keeps only what fits.
class DecodedArea {
public:
    // capacity: the most bytes kept. stringRoom: the longest string written in one go.
    DecodedArea(std::uint64_t capacity, std::size_t stringRoom);

    std::size_t capacity() const { return capacity_; }

    // A string of stringRoom bytes may be written from any position up to this one.
    std::size_t roomyUpTo() const { return writable_ - stringRoom_; }

    // Makes sure stringRoom bytes can be written from `position`. Requires position <= capacity().
    // Pointers into the area are invalid afterwards.
    void makeRoomAt(std::size_t position) {
        if (position > roomyUpTo()) grow(position);
    }

    // The area's memory; valid up to the position given to the last makeRoomAt + stringRoom.
    std::uint8_t* data() { return bytes_.data(); }

    // Hands the first min(written, capacity()) bytes over as a section; the area is empty then.
    DecodedSection release(std::size_t written);

private:
    void grow(std::size_t position);

    std::size_t capacity_;
    std::size_t stringRoom_;
    std::size_t writable_;  // bytes that may be written; the padding lies beyond them
    ByteBlock bytes_;
};

}  // namespace meldrix
