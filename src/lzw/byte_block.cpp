#include "lzw/byte_block.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

namespace meldrix {

namespace {

constexpr std::size_t HUGE_PAGE = std::size_t{2} << 20;

// Under AddressSanitizer every block comes from the heap, where each byte past its end is caught.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool HEAP_ONLY = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool HEAP_ONLY = true;
#else
constexpr bool HEAP_ONLY = false;
#endif
#else
constexpr bool HEAP_ONLY = false;
#endif

std::size_t roundUp(std::size_t value, std::size_t step) { return (value + step - 1) / step * step; }

void* mapAnonymous(std::size_t length) {
    void* const mapped = ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return mapped == MAP_FAILED ? nullptr : mapped;
}

// Maps one huge page more than `length` and trims the mapping to `length` bytes at a HUGE_PAGE
// boundary; nullptr if it fails.
void* mapTrimmed(std::size_t length) {
    void* const mapped = mapAnonymous(length + HUGE_PAGE);
    if (mapped == nullptr) return nullptr;
    const auto address = reinterpret_cast<std::uintptr_t>(mapped);
    const std::uintptr_t aligned = roundUp(address, HUGE_PAGE);
    const std::size_t head = aligned - address;
    if (head != 0) ::munmap(mapped, head);
    const std::size_t tail = HUGE_PAGE - head;
    if (tail != 0) ::munmap(reinterpret_cast<void*>(aligned + length), tail);
    return reinterpret_cast<void*>(aligned);
}

// Maps `length` bytes (a multiple of HUGE_PAGE) at a HUGE_PAGE boundary, asking for huge pages;
// nullptr if it fails. Recent kernels align such a mapping by themselves; otherwise it is mapped
// again with room to align it, as the kernel only promises page alignment.
std::uint8_t* mapAligned(std::size_t length) {
    void* mapped = mapAnonymous(length);
    if (mapped != nullptr && reinterpret_cast<std::uintptr_t>(mapped) % HUGE_PAGE != 0) {
        ::munmap(mapped, length);
        mapped = mapTrimmed(length);
    }
    if (mapped == nullptr) return nullptr;
    // Only a hint: without huge pages the block works the same, page by page.
    ::madvise(mapped, length, MADV_HUGEPAGE);
    return static_cast<std::uint8_t*>(mapped);
}

}  // namespace

ByteBlock::ByteBlock(std::size_t size) : size_(size) {
    if (!HEAP_ONLY && size >= HUGE_PAGE_BLOCK) {
        const std::size_t length = roundUp(size, HUGE_PAGE);
        bytes_ = mapAligned(length);
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
        std::uint8_t* const grown = mapAligned(length);
        if (grown != nullptr &&
            ::mremap(bytes_, mappedLength_, mappedLength_, MREMAP_MAYMOVE | MREMAP_FIXED, grown) != MAP_FAILED) {
            bytes_ = grown;
            mappedLength_ = length;
            size_ = length;
            return;
        }
        if (grown != nullptr) ::munmap(grown, length);
    }
    ByteBlock larger(size);
    std::memcpy(larger.data(), bytes_, std::min(keep, size_));
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
    if (mappedLength_ != 0) ::munmap(bytes_, mappedLength_);
    mappedLength_ = 0;
}

}  // namespace meldrix
