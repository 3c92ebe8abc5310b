#include "memory/byte_block.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

namespace meldrix {

ByteBlock::ByteBlock(std::size_t size) : size_(size) {
    if (!HEAP_ONLY && size >= HUGE_PAGE_BLOCK) {
        const std::size_t length = roundUp(size, HUGE_PAGE);
        bytes_ = mapHugePages(length);
        if (bytes_ != nullptr) {
            mappedLength_ = length;
            size_ = length;
            return;
        }
    }
    heap_ = std::make_unique_for_overwrite<std::uint8_t[]>(size);
    bytes_ = heap_.get();
}

void ByteBlock::grow(std::size_t size, std::size_t keep) {
    if (size <= size_) return;
    if (mappedLength_ != 0) {
        // The old pages move to the start of a new, larger mapping: no byte is copied and no
        // page is cleared twice. MREMAP_FIXED replaces that part of the new mapping.
        const std::size_t length = roundUp(size, HUGE_PAGE);
        std::uint8_t* const grown = mapHugePages(length);
        if (grown != nullptr &&
            ::mremap(bytes_, mappedLength_, mappedLength_, MREMAP_MAYMOVE | MREMAP_FIXED, grown) != MAP_FAILED) {
            bytes_ = grown;
            mappedLength_ = length;
            size_ = length;
            return;
        }
        if (grown != nullptr) unmapHugePages(grown, length);
    }
    ByteBlock larger(size);
    if (size_ != 0) std::memcpy(larger.data(), bytes_, std::min(keep, size_));
    *this = std::move(larger);
}

ByteBlock::~ByteBlock() { unmap(); }

ByteBlock::ByteBlock(ByteBlock&& other) noexcept
    : bytes_(std::exchange(other.bytes_, nullptr)), size_(std::exchange(other.size_, 0)),
      heap_(std::move(other.heap_)), mappedLength_(std::exchange(other.mappedLength_, 0)) {}

ByteBlock& ByteBlock::operator=(ByteBlock&& other) noexcept {
    if (this != &other) {
        unmap();
        bytes_ = std::exchange(other.bytes_, nullptr);
        size_ = std::exchange(other.size_, 0);
        heap_ = std::move(other.heap_);
        mappedLength_ = std::exchange(other.mappedLength_, 0);
    }
    return *this;
}

void ByteBlock::unmap() {
    if (mappedLength_ != 0) unmapHugePages(bytes_, mappedLength_);
    mappedLength_ = 0;
}

}  // namespace meldrix
