// The section decoder over any stream, with any capacity a header can give it.
//
// Input: 4 bytes that give the capacity (big-endian, the sign bit ignored, plus 1: from 1 byte to
// 2^31, a header's length after its sign test), then the compressed stream. What must hold
// whatever the stream holds:
// - the decoder stores at least 1 byte and never more than the capacity, with zero padding after
//   them, and prints at most one of its two diagnostics;
// - a smaller capacity only cuts the bytes short: they are a prefix of what a larger one gives,
//   and when the capacity is not reached, exactly the same bytes and diagnostics.
// (Round trips through the project's encoder are left to the unit tests: the encoder clears a
// 2 MB table per call, which would be most of every run here.)
#include <algorithm>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

#include "driver/console.h"
#include "fuzz_check.h"
#include "lzw/decoded_section.h"
#include "lzw/lzw_decoder.h"

namespace {

using meldrix::Console;
using meldrix::DecodedSection;
using meldrix::LzwDecoder;

constexpr std::size_t CAPACITY_BYTES = 4;
// Far more than any stream of a fuzz input's size can decode to (4095 bytes per 12-bit code),
// so a decode with it is never cut short by the capacity; memory follows the bytes produced.
constexpr std::uint64_t UNBOUNDED = std::uint64_t{1} << 40;

const std::string FATAL = "Fatal error during code expansion.\n";

// The decoder requires a capacity of at least 1; the driver gives a declared length + 10.
std::uint64_t capacityFrom(const std::uint8_t* field) {
    const std::uint32_t length = (std::uint32_t{field[0]} << 24 | std::uint32_t{field[1]} << 16 |
                                  std::uint32_t{field[2]} << 8 | std::uint32_t{field[3]}) &
                                 0x7FFFFFFFu;
    return std::uint64_t{length} + 1;
}

// The decoder's diagnostics: nothing, the chain error, or one invalid code whose numbers make
// sense (a code above nextCode, which lies in the table's range; the offset within the stream).
void checkDiagnostic(const std::string& text, std::size_t streamSize) {
    if (text.empty() || text == FATAL) return;
    unsigned long offset = 0;
    unsigned code = 0;
    unsigned next = 0;
    int consumed = 0;
    const int fields = std::sscanf(text.c_str(), "Invalid code: offset:%lX new:%X next:%X\n%n", &offset, &code, &next,
                                   &consumed);
    FUZZ_CHECK(fields == 3 && static_cast<std::size_t>(consumed) == text.size(), "unexpected console text: %s",
               text.c_str());
    FUZZ_CHECK(offset <= streamSize, "offset %lX past a stream of %zu bytes", offset, streamSize);
    FUZZ_CHECK(next >= meldrix::FIRST_TABLE_CODE && next <= meldrix::LAST_TABLE_CODE, "next %X", next);
    FUZZ_CHECK(code > next && code < meldrix::END_CODE, "code %X refused with next %X", code, next);
}

void checkSection(const DecodedSection& section, std::uint64_t capacity) {
    FUZZ_CHECK(section.produced() >= 1, "nothing produced");
    FUZZ_CHECK(section.produced() <= capacity, "%" PRIu64 " bytes stored in a capacity of %" PRIu64,
               section.produced(), capacity);
    FUZZ_CHECK(section.bytes().size() == section.produced(), "bytes() disagrees with produced()");
    for (std::size_t i = 0; i < meldrix::RECORD_PADDING; ++i) {
        FUZZ_CHECK(section.data()[section.produced() + i] == 0, "padding byte %zu is not 0", i);
        FUZZ_CHECK(section.byteAt(section.produced() + i) == 0, "byteAt past the produced bytes is not 0");
    }
}

bool sameBytes(std::span<const std::uint8_t> left, std::span<const std::uint8_t> right) {
    return left.size() == right.size() && std::equal(left.begin(), left.end(), right.begin());
}

void checkCapacityOnlyCuts(std::span<const std::uint8_t> stream, std::uint64_t capacity) {
    Console boundedConsole;
    const DecodedSection bounded = LzwDecoder::decode(stream, capacity, boundedConsole);
    checkSection(bounded, capacity);
    checkDiagnostic(boundedConsole.recorded(), stream.size());

    Console unboundedConsole;
    const DecodedSection unbounded = LzwDecoder::decode(stream, UNBOUNDED, unboundedConsole);
    checkSection(unbounded, UNBOUNDED);
    const std::size_t kept = static_cast<std::size_t>(std::min<std::uint64_t>(capacity, unbounded.produced()));
    FUZZ_CHECK(sameBytes(bounded.bytes(), unbounded.bytes().first(kept)),
               "capacity %" PRIu64 " gives %" PRIu64 " bytes that are not the first of the %" PRIu64 " decoded",
               capacity, bounded.produced(), unbounded.produced());
    if (bounded.produced() < capacity) {
        FUZZ_CHECK(boundedConsole.recorded() == unboundedConsole.recorded(), "diagnostics differ: '%s' and '%s'",
                   boundedConsole.recorded().c_str(), unboundedConsole.recorded().c_str());
    } else {
        // Decoding stops once the area is full: no later code is judged or reported.
        FUZZ_CHECK(boundedConsole.recorded().empty(), "a full area still reported: %s",
                   boundedConsole.recorded().c_str());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < CAPACITY_BYTES) return 0;
    const std::span<const std::uint8_t> stream(data + CAPACITY_BYTES, size - CAPACITY_BYTES);
    checkCapacityOnlyCuts(stream, capacityFrom(data));
    return 0;
}
