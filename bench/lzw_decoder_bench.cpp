// Decoding speed of the LZW section decoder, in decoded bytes per second, on realistic sections
// and on the hardest streams: the longest strings and a table that wraps as often as it can.
#include <benchmark/benchmark.h>

#include "bench_data.h"
#include "driver/console.h"
#include "lzw/lzw_decoder.h"

namespace meldrix::bench {
namespace {

void decodeSection(benchmark::State& state, const SectionData& (*data)()) {
    const SectionData& section = data();
    Console console;
    for (auto _ : state) {
        const DecodedSection decoded =
            LzwDecoder::decode(section.stream, section.decoded.size() + DECODED_SLACK, console);
        benchmark::DoNotOptimize(decoded.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(section.decoded.size()));
    state.counters["ratio"] =
        static_cast<double>(section.decoded.size()) / static_cast<double>(section.stream.size());
}

BENCHMARK_CAPTURE(decodeSection, realistic_lyrics, realisticLyrics)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(decodeSection, realistic_music, realisticMusic)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(decodeSection, long_chains, longChainMusic)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(decodeSection, frequent_wraps, frequentWrapMusic)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace meldrix::bench
