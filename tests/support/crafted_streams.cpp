#include "support/crafted_streams.h"

#include <algorithm>

#include "lzw/lzw_decoder.h"
#include "support/lzw_encoder.h"

namespace meldrix::testing {

std::vector<std::uint8_t> literalStream(std::span<const std::uint8_t> data, bool withEndCode) {
    std::vector<std::uint16_t> codes(data.begin(), data.end());
    if (withEndCode) codes.push_back(static_cast<std::uint16_t>(END_CODE));
    return packCodes(codes);
}

std::vector<std::uint8_t> literalStreamDecodedPrefix(std::span<const std::uint8_t> data, std::uint64_t streamBytes) {
    const std::uint64_t codes = streamBytes * 8 / CODE_BITS;
    // Without a whole code the first code reads as END_CODE, whose low 8 bits are FF.
    if (codes == 0) return {0xFF};
    const auto kept = static_cast<std::size_t>(std::min<std::uint64_t>(codes, data.size()));
    return std::vector<std::uint8_t>(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(kept));
}

ChainLoopStream wrapMadeChainLoop(std::uint8_t byte) {
    // Every string is made of `byte` alone, so the decoded bytes are known from their lengths.
    std::vector<std::uint16_t> codes;
    std::size_t decodedLength = 0;
    auto emit = [&](std::uint32_t code, std::size_t stringLength) {
        codes.push_back(static_cast<std::uint16_t>(code));
        decodedLength += stringLength;
    };
    emit(byte, 1);  // the first code assigns nothing
    emit(byte, 1);  // entry 257 = (byte, byte): 2 bytes long
    emit(257, 2);   // entry 258 = (byte, byte)
    emit(258, 2);   // entry 259 = (257, byte): its chain runs through 257
    // Literals assign entries 260 to 4094.
    for (std::uint32_t entry = 260; entry < LAST_TABLE_CODE; ++entry) emit(byte, 1);
    emit(259, 3);  // assigns entry 4095 and becomes the prefix of the first entry after the wrap
    // After the wrap nextCode is 257 again: 257 names the entry it assigns itself, the string of
    // 259 followed by its first byte, and entry 257 becomes (259, byte): 257 -> 259 -> 257 ...
    emit(257, 4);
    codes.push_back(257);  // the expansion that never reaches a literal

    return {packCodes(codes), std::vector<std::uint8_t>(decodedLength, byte)};
}

}  // namespace meldrix::testing
