#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "memory/huge_pages.h"

namespace meldrix {

// One block of uninitialised bytes of a fixed size, owned like a std::unique_ptr.
//
// A block of HUGE_PAGE_BLOCK bytes or more is mapped straight from the kernel at a 2 MiB
// boundary, rounded up to whole 2 MiB pages, and asks for transparent huge pages: filling it
// then costs one page fault per 2 MiB instead of one per 4 KiB, and on a virtual machine those
// faults are most of the cost of touching fresh memory. Only the pages written are ever made
// resident. A smaller block, a block that cannot be mapped, and every block under
// AddressSanitizer (which checks heap blocks byte by byte) come from the heap.
class ByteBlock {
public:
    ByteBlock() = default;
    // A block of at least `size` bytes. Throws std::bad_alloc when the memory cannot be had.
    explicit ByteBlock(std::size_t size);
    ~ByteBlock();
    ByteBlock(ByteBlock&& other) noexcept;
    ByteBlock& operator=(ByteBlock&& other) noexcept;
    ByteBlock(const ByteBlock&) = delete;
    ByteBlock& operator=(const ByteBlock&) = delete;

    std::uint8_t* data() { return bytes_; }
    const std::uint8_t* data() const { return bytes_; }

    // Makes the block hold at least `size` bytes, keeping its first `keep` bytes (a mapped block
    // keeps all of them: its pages move to a larger mapping instead of being copied). Throws
    // std::bad_alloc when the memory cannot be had; the block is unchanged then. Pointers into
    // the block are invalid afterwards.
    void grow(std::size_t size, std::size_t keep);

    // The bytes the block holds: the size asked for, or more for a mapped block.
    std::size_t size() const { return size_; }

private:
    void unmap();

    std::uint8_t* bytes_ = nullptr;
    std::size_t size_ = 0;
    std::unique_ptr<std::uint8_t[]> heap_;  // the block, when it comes from the heap
    std::size_t mappedLength_ = 0;          // the mapping's length, when it is mapped
};

}  // namespace meldrix
