#include "bench_data.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>

#include "driver/console.h"
#include "lzw/lzw_decoder.h"
#include "support/lzw_encoder.h"
#include "support/song_builder.h"
#include "support/song_generator.h"

namespace meldrix::bench {

namespace {

constexpr std::uint32_t SEED = 2024;

}  // namespace

SectionData makeSection(std::vector<std::uint8_t> decoded) {
    SectionData section;
    section.stream = testing::lzwEncode(decoded);
    Console console;
    const DecodedSection check = LzwDecoder::decode(section.stream, decoded.size() + DECODED_SLACK, console);
    if (check.produced() != decoded.size() ||
        !std::equal(decoded.begin(), decoded.end(), check.bytes().begin()) || !console.recorded().empty()) {
        std::fprintf(stderr, "benchmark data does not decode back to itself\n");
        std::abort();
    }
    section.decoded = std::move(decoded);
    return section;
}

const SectionData& realisticLyrics() {
    static const SectionData section = makeSection(testing::realisticSong(SEED, 200000, 0).lyrics);
    return section;
}

const SectionData& realisticMusic() {
    static const SectionData section = makeSection(testing::realisticSong(SEED, 0, 1000000).music);
    return section;
}

const SectionData& allNotesAtOnceMusic() {
    static const SectionData section = makeSection(testing::allNotesAtOnce(200000));
    return section;
}

const SectionData& longChainMusic() {
    static const SectionData section = [] {
        std::vector<std::uint8_t> music;
        for (int i = 0; i < 1000000; ++i) testing::addMusicRecord(music, 0, 255, 0x00, 64, 100);
        return makeSection(std::move(music));
    }();
    return section;
}

const SectionData& frequentWrapMusic() {
    static const SectionData section = [] {
        std::mt19937 random(SEED);
        std::vector<std::uint8_t> bytes(5000000);
        for (std::uint8_t& byte : bytes) byte = static_cast<std::uint8_t>(random() >> 24);
        return makeSection(std::move(bytes));
    }();
    return section;
}

}  // namespace meldrix::bench
