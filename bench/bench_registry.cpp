// Typed numbers: classification of typed texts and the registry look-up in the shipped
// block tables.
//   Classify:     one typed text of each kind (name, IDN, IPv4, IPv6, AS number, networks).
//   LoadTables:   ipv4.json, ipv6.json and asn.json read and indexed.
//   FindRegistry: a classified address, network or AS number to its registry.
// Target: a look-up well under a microsecond, so it never shows in a query's time.
#include "query/RegistryQuery.h"

#include <benchmark/benchmark.h>

#include <stdexcept>
#include <vector>

using namespace tesseron;

namespace {

const char* const kTexts[] = {"example.com",  "bücher.de",      "192.0.2.1",     "8.8.8.0/24",
                              "2001:4860::1", "2a00:1450::/32", "AS15169",       "as 3333",
                              "193.0.6.139",  "[2c0f:f000::1]", "200.3.12.0/22", "AS4608"};

const char* const kFolder = TESSERON_SOURCE_DIR "/data/rdap";

void BM_Classify(benchmark::State& state) {
    for (auto _ : state)
        for (const char* text : kTexts)
            benchmark::DoNotOptimize(ClassifyQuery(text));
    state.SetItemsProcessed(state.iterations() * std::size(kTexts));
}

void BM_LoadTables(benchmark::State& state) {
    for (auto _ : state) {
        RegistryBlocks blocks;
        if (!blocks.LoadFolder(kFolder).empty()) throw std::runtime_error("bootstrap files");
        benchmark::DoNotOptimize(blocks);
    }
}

void BM_FindRegistry(benchmark::State& state) {
    RegistryBlocks blocks;
    if (!blocks.LoadFolder(kFolder).empty()) throw std::runtime_error("bootstrap files");
    std::vector<QueryText> queries;
    for (const char* text : kTexts)
        queries.push_back(ClassifyQuery(text));
    for (auto _ : state)
        for (const auto& q : queries)
            benchmark::DoNotOptimize(FindRegistry(blocks, q));
    state.SetItemsProcessed(state.iterations() * queries.size());
}

} // namespace

BENCHMARK(BM_Classify);
BENCHMARK(BM_LoadTables)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FindRegistry);
BENCHMARK_MAIN();
