#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace meldrix::bench {

// A section as the converter gets it: the decoded bytes and the compressed stream that decodes
// to them (made by the project's own encoder).
struct SectionData {
    std::vector<std::uint8_t> decoded;
    std::vector<std::uint8_t> stream;
};

// Compresses `decoded` and checks that the decoder gives the same bytes back, so that no figure
// is ever measured on a stream that decodes wrongly (aborts if it does not).
SectionData makeSection(std::vector<std::uint8_t> decoded);

// Section data sets, each made once and kept for the whole run.
const SectionData& realisticLyrics();        // 200000 lyric records
const SectionData& realisticMusic();         // 1000000 music records
const SectionData& allNotesAtOnceMusic();    // 200000 note-ons at delta 0 lasting 255 ticks
const SectionData& longChainMusic();         // 1000000 identical records: the longest strings
const SectionData& frequentWrapMusic();      // 5 MB of random bytes: the table wraps every ~4 KB

}  // namespace meldrix::bench
