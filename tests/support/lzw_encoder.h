#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace meldrix::testing {

// The project's own LZW encoder, for tests, tools, benchmarks and fuzz seeds.
//
// It writes 12-bit codes, most significant bit first, that the decoder reads back to exactly
// `data`: it mirrors the decoder's string table (entries 257 to 4095, one per code after the
// first, re-assigned from 257 after the wrap) and only emits a code whose string it knows and
// that the decoder accepts at that point. Requires data to be non-empty (the decoder always
// produces at least one byte). withEndCode appends an END_CODE after the last code.
std::vector<std::uint8_t> lzwEncode(std::span<const std::uint8_t> data, bool withEndCode = false);

// Packs 12-bit codes, most significant bit first; an odd count leaves 4 zero bits at the end.
std::vector<std::uint8_t> packCodes(std::span<const std::uint16_t> codes);

}  // namespace meldrix::testing
