#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "lzw/lzw_decoder.h"

namespace meldrix {

// Takes 12-bit codes out of a compressed stream, most significant bit first.
//
// Code k lies at bits 12k to 12k + 11, so it is read straight from the two bytes that hold it,
// with no bit buffer to refill. bytesRead() still counts the bytes a reader with a 32-bit bit
// buffer would have taken in: one that takes whole bytes while it holds at most 24 bits.
//
// Invariants: codesRead_ codes have been returned; exhausted_ once fewer than 12 bits were left.
class CodeReader {
public:
    // Starts at the first bit of `compressed`, which must outlive the reader.
    explicit CodeReader(std::span<const std::uint8_t> compressed)
        : compressed_(compressed), bitLength_(std::uint64_t{compressed.size()} * 8) {}

    // Returns the next code (0-4095), or END_CODE once fewer than 12 bits are left; after that
    // every call returns END_CODE again. Never reads outside the stream.
    std::uint32_t readCode() {
        const std::uint64_t firstBit = codesRead_ * CODE_BITS;
        if (firstBit + CODE_BITS > bitLength_) {
            exhausted_ = true;
            return END_CODE;
        }
        // Both bytes exist: the code ends at or before the last bit of the stream.
        const auto byte = static_cast<std::size_t>(firstBit / 8);
        const std::uint32_t pair = std::uint32_t{compressed_[byte]} << 8 | compressed_[byte + 1];
        ++codesRead_;
        // An even code starts on a byte boundary, an odd one in the middle of a byte.
        return (firstBit % 8 == 0) ? pair >> 4 : pair & 0xFFF;
    }

    // Bytes taken into the bit buffer so far, including those whose bits belong to codes not
    // yet returned (the offset the invalid-code message shows). Reading code k takes bytes up to
    // the first count above 1.5k + 3 (more than 24 bits left after the 12k bits used), or all
    // of them; once the stream is exhausted, all of them.
    std::size_t bytesRead() const {
        if (exhausted_) return compressed_.size();
        if (codesRead_ == 0) return 0;
        const std::uint64_t lastCode = codesRead_ - 1;
        return static_cast<std::size_t>(std::min<std::uint64_t>(compressed_.size(), lastCode * 3 / 2 + 4));
    }

private:
    std::span<const std::uint8_t> compressed_;
    std::uint64_t bitLength_;
    std::uint64_t codesRead_ = 0;
    bool exhausted_ = false;
};

}  // namespace meldrix
