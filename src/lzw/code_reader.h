#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "lzw/lzw_decoder.h"

namespace meldrix {

// Takes 12-bit codes out of a compressed stream, most significant bit first.
//
// Invariants: bitBuffer_ holds bitCount_ valid bits, left-aligned (the next code's first bit is
// its most significant bit), with zeros below them; 0 <= bitCount_ <= 32; bytesRead_ never
// exceeds the stream's length.
class CodeReader {
public:
    // Starts at the first bit of `compressed`, which must outlive the reader.
    explicit CodeReader(std::span<const std::uint8_t> compressed) : compressed_(compressed) {}

    // Returns the next code (0-4095), or END_CODE once fewer than 12 bits are left; after that
    // every call returns END_CODE again. Never reads outside the stream.
    std::uint32_t readCode() {
        while (bitCount_ <= 24 && bytesRead_ < compressed_.size()) {
            bitBuffer_ |= std::uint32_t{compressed_[bytesRead_]} << (24 - bitCount_);
            ++bytesRead_;
            bitCount_ += 8;
        }
        // Fewer than 12 bits are left only once every byte has been taken in.
        if (bitCount_ < CODE_WIDTH) return END_CODE;
        const std::uint32_t code = bitBuffer_ >> (32 - CODE_WIDTH);
        bitBuffer_ <<= CODE_WIDTH;
        bitCount_ -= CODE_WIDTH;
        return code;
    }

    // Bytes taken into the bit buffer so far, including those whose bits belong to codes not
    // yet returned (the offset the invalid-code message shows).
    std::size_t bytesRead() const { return bytesRead_; }

private:
    static constexpr int CODE_WIDTH = static_cast<int>(CODE_BITS);

    std::span<const std::uint8_t> compressed_;
    std::uint32_t bitBuffer_ = 0;
    int bitCount_ = 0;
    std::size_t bytesRead_ = 0;
};

}  // namespace meldrix
