#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

namespace meldrix {

// Large buffers are mapped straight from the kernel and ask for transparent huge pages: filling
// fresh memory then costs one page fault per 2 MiB instead of one per 4 KiB, and on a virtual
// machine those faults are most of the cost of touching fresh memory. Only the pages written
// become resident.
inline constexpr std::size_t HUGE_PAGE = std::size_t{2} << 20;
// Buffers from this size on are mapped; smaller ones come from the heap. Faulting in one huge
// page costs about as much as five 4 KiB pages on this kind of machine (some 50 us against 10 us
// each), so a buffer of 32 pages or more is clearly cheaper to map. The unused rest of its huge
// page is bounded because only a few such buffers live at once: the compressed stream being
// decoded, the decoded sections, the two tracks.
inline constexpr std::size_t HUGE_PAGE_BLOCK = std::size_t{128} << 10;
// For containers of which many may live at once (the note-off schedule keeps 256): mapped only
// from half a huge page on, so that no mapping leaves unused more than it holds, however many
// there are.
inline constexpr std::size_t HUGE_PAGE_HALF_USED = HUGE_PAGE / 2;

// True when the program is built with AddressSanitizer.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool ADDRESS_SANITIZER_BUILD = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool ADDRESS_SANITIZER_BUILD = true;
#else
inline constexpr bool ADDRESS_SANITIZER_BUILD = false;
#endif
#else
inline constexpr bool ADDRESS_SANITIZER_BUILD = false;
#endif

// Under AddressSanitizer every buffer comes from the heap, where each byte past its end is caught.
inline constexpr bool HEAP_ONLY = ADDRESS_SANITIZER_BUILD;

inline std::size_t roundUp(std::size_t value, std::size_t step) { return (value + step - 1) / step * step; }

// Maps `length` bytes (a multiple of HUGE_PAGE) at a HUGE_PAGE boundary, asking for huge pages;
// nullptr if it fails.
std::uint8_t* mapHugePages(std::size_t length);
void unmapHugePages(void* address, std::size_t length);

// A std::allocator for buffers that grow large (read blocks, pending note-offs): allocations of
// MIN_MAPPED_BYTES or more are mapped in huge pages, smaller ones come from the heap.
template <typename T, std::size_t MIN_MAPPED_BYTES = HUGE_PAGE_BLOCK>
struct HugePageAllocator {
    using value_type = T;
    template <typename U>
    struct rebind {
        using other = HugePageAllocator<U, MIN_MAPPED_BYTES>;
    };

    HugePageAllocator() = default;
    template <typename U>
    HugePageAllocator(const HugePageAllocator<U, MIN_MAPPED_BYTES>&) noexcept {}

    T* allocate(std::size_t count) {
        const std::size_t bytes = count * sizeof(T);
        if (mapped(bytes)) {
            if (std::uint8_t* block = mapHugePages(roundUp(bytes, HUGE_PAGE))) return reinterpret_cast<T*>(block);
            throw std::bad_alloc();
        }
        return static_cast<T*>(::operator new(bytes));
    }
    void deallocate(T* pointer, std::size_t count) noexcept {
        const std::size_t bytes = count * sizeof(T);
        if (mapped(bytes)) {
            unmapHugePages(pointer, roundUp(bytes, HUGE_PAGE));
        } else {
            ::operator delete(pointer);
        }
    }
    // Elements are default-initialised: resizing a vector of bytes that are about to be written
    // (read from a file) does not clear them first.
    template <typename U>
    void construct(U* pointer) noexcept(std::is_nothrow_default_constructible_v<U>) {
        ::new (static_cast<void*>(pointer)) U;
    }
    template <typename U, typename... Arguments>
    void construct(U* pointer, Arguments&&... arguments) {
        ::new (static_cast<void*>(pointer)) U(std::forward<Arguments>(arguments)...);
    }

    template <typename U>
    bool operator==(const HugePageAllocator<U, MIN_MAPPED_BYTES>&) const noexcept { return true; }

private:
    static bool mapped(std::size_t bytes) { return !HEAP_ONLY && bytes >= MIN_MAPPED_BYTES; }
};

// Bytes read in bulk (a song file's compressed streams): large blocks in huge pages, and growing
// the vector leaves the new bytes uninitialised until they are read into.
using ByteBuffer = std::vector<std::uint8_t, HugePageAllocator<std::uint8_t>>;

}  // namespace meldrix
