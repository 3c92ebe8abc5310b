#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace meldrix::testing {

// Compressed streams made by hand for hostile-input tests and fuzz seeds, where the project's
// encoder would never produce them.

// Every byte of `data` as its own literal 12-bit code (a literal is accepted at any point of a
// stream), optionally followed by an END_CODE. Every 3 stream bytes hold 2 codes, so a stream cut
// after m bytes decodes to exactly the first m * 2 / 3 bytes of data (rounded down), or to the
// single byte FF when fewer than 12 bits are left (m < 2): the bytes any cut decodes to are known.
std::vector<std::uint8_t> literalStream(std::span<const std::uint8_t> data, bool withEndCode = false);

// What literalStream(data) cut after `streamBytes` bytes decodes to (see above).
std::vector<std::uint8_t> literalStreamDecodedPrefix(std::span<const std::uint8_t> data, std::uint64_t streamBytes);

// A stream whose string table leads back into itself once it has wrapped.
//
// It fills entries 257 to 4095 with strings of `byte` alone, the last of them assigned by a code
// whose chain runs through entry 257. After the wrap, entry 257 is assigned again with that code
// as its prefix, so entry 257 leads to that code and that code back to 257; the code 257 that
// follows can only be expanded until the chain limit stops it ("Fatal error during code
// expansion.\n"). `decodedBeforeFailure` is everything the codes before that one decode to.
struct ChainLoopStream {
    std::vector<std::uint8_t> stream;
    std::vector<std::uint8_t> decodedBeforeFailure;
};
ChainLoopStream wrapMadeChainLoop(std::uint8_t byte);

}  // namespace meldrix::testing
