#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

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
// produced bytes. byteAt() reads 0 at any offset past the produced bytes.
class DecodedSection {
public:
    DecodedSection() : storage_(RECORD_PADDING, 0) {}
    // Takes the produced bytes; adds the zero padding.
    explicit DecodedSection(std::vector<std::uint8_t> produced)
        : storage_(std::move(produced)), produced_(storage_.size()) {
        storage_.resize(produced_ + RECORD_PADDING, 0);
    }

    std::uint64_t produced() const { return produced_; }
    std::span<const std::uint8_t> bytes() const { return {storage_.data(), produced_}; }
    const std::uint8_t* data() const { return storage_.data(); }
    std::uint8_t byteAt(std::uint64_t offset) const {
        return offset < produced_ ? storage_[static_cast<std::size_t>(offset)] : 0;
    }

private:
    std::vector<std::uint8_t> storage_;
    std::uint64_t produced_ = 0;
};

}  // namespace meldrix
