#include "memory/huge_pages.h"

#include <sys/mman.h>

namespace meldrix {

namespace {

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

}  // namespace

std::uint8_t* mapHugePages(std::size_t length) {
    // Recent kernels align such a mapping by themselves; otherwise it is mapped again with room
    // to align it, as the kernel only promises page alignment.
    void* mapped = mapAnonymous(length);
    if (mapped != nullptr && reinterpret_cast<std::uintptr_t>(mapped) % HUGE_PAGE != 0) {
        ::munmap(mapped, length);
        mapped = mapTrimmed(length);
    }
    if (mapped == nullptr) return nullptr;
    // Only a hint: without huge pages the memory works the same, page by page.
    ::madvise(mapped, length, MADV_HUGEPAGE);
    return static_cast<std::uint8_t*>(mapped);
}

void unmapHugePages(void* address, std::size_t length) { ::munmap(address, length); }

}  // namespace meldrix
