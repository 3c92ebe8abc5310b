#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "memory/byte_block.h"

namespace meldrix {

// Spare bytes that a decoded section may hold beyond its declared length: the decoder may store
// up to declared + DECODED_SLACK bytes, and a last partial record may reach into them.
inline constexpr std::uint64_t DECODED_SLACK = 10;

// Zero bytes kept after the produced bytes, so that a record that starts at any offset below
// the produced count can be read whole, straight from memory. At least the largest record (5).
inline constexpr std::size_t RECORD_PADDING = 8;

// One decompressed section: the bytes the decoder produced and nothing it did not.
//
// Guarantees: bytes().size() == produced(); the storage holds RECORD_PADDING zero bytes after
// them, so data()[i] for i < produced() + RECORD_PADDING is readable, and reads 0 past the
// produced bytes. byteAt() reads 0 at any offset past the produced bytes. Move-only: a section
// may be megabytes long and is never copied by accident.
class DecodedSection {
public:
    DecodedSection() : DecodedSection(ByteBlock(RECORD_PADDING), 0) {}

    // Copies the produced bytes; adds the zero padding.
    explicit DecodedSection(const std::vector<std::uint8_t>& produced)
        : DecodedSection(ByteBlock(produced.size() + RECORD_PADDING), produced.size()) {
        std::copy(produced.begin(), produced.end(), storage_.data());
    }

    // Takes storage whose first `produced` bytes are the section. Requires the storage to hold
    // at least produced + RECORD_PADDING bytes; the padding is zeroed here.
    DecodedSection(ByteBlock storage, std::size_t produced) : storage_(std::move(storage)), produced_(produced) {
        std::fill_n(storage_.data() + produced_, RECORD_PADDING, std::uint8_t{0});
    }

    DecodedSection(DecodedSection&&) noexcept = default;
    DecodedSection& operator=(DecodedSection&&) noexcept = default;

    std::uint64_t produced() const { return produced_; }
    std::span<const std::uint8_t> bytes() const { return {storage_.data(), produced_}; }
    const std::uint8_t* data() const { return storage_.data(); }
    std::uint8_t byteAt(std::uint64_t offset) const {
        return offset < produced_ ? storage_.data()[static_cast<std::size_t>(offset)] : 0;
    }

private:
    ByteBlock storage_;
    std::size_t produced_ = 0;
};

}  // namespace meldrix
