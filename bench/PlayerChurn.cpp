// Players coming and going on the stand-in: what a connect/disconnect pair
// costs the host as the churn grows (it must stay linear), and what a spawn
// with 20 players costs after 20,000 others came and went (no more than with
// the 20 alone: the world's list doesn't keep the leavers for good).
// Build with -DHERALD_BENCHMARKS=ON -DCMAKE_BUILD_TYPE=Release.

#include <benchmark/benchmark.h>

#include <stdexcept>
#include <string>

#include "Scenarios.h"
#include "StandIn.h"

namespace {

constexpr char Config[] =
    R"({"Items": {"SupplyCrate_Level03_C": {"Notification": {"Msg": "Crate at {Lat} / {Lon}", "Color": "0,255,0"}}}})";

void ComeAndGo(long guests) {
    for (long i = 0; i < guests; ++i) {
        const std::string name = "Guest" + std::to_string(i);
        StandIn::ConnectPlayer(name);
        StandIn::DisconnectPlayer(name);
    }
}

// A crate announced to the 20 players who stay, after range(0) guests came and went.
void SpawnAfterChurn(benchmark::State& state) {
    HeraldBench::PrepareServer(Config);
    for (int i = 0; i < 20; ++i) {
        StandIn::ConnectPlayer("Player" + std::to_string(i));
    }
    if (!StandIn::LoadPlugin(HERALD_PLUGIN_PATH).ok) {
        throw std::runtime_error("the plugin refused to load");
    }
    ComeAndGo(state.range(0));
    const StandIn::StructureSpawn crate{
        u"SupplyCrate_Level03_C_7", StandIn::ObjectClass::ItemContainer, {8000, 8000, 0}};
    const std::uint64_t walkedBefore = StandIn::Resolutions("FWeakObjectPtr.Get");
    for (auto _ : state) {
        StandIn::SpawnStructure(crate);
        StandIn::ClearRecords();
    }
    state.counters["list_entries_walked"] =
        benchmark::Counter(static_cast<double>(StandIn::Resolutions("FWeakObjectPtr.Get") - walkedBefore),
                           benchmark::Counter::kAvgIterations);
    StandIn::UnloadPlugin();
}
BENCHMARK(SpawnAfterChurn)->Arg(0)->Arg(20000);

// range(0) guests coming and going, one at a time, beside 20 players who stay.
void ConnectDisconnectPairs(benchmark::State& state) {
    for (auto _ : state) {
        StandIn::ResetServer();
        for (int i = 0; i < 20; ++i) {
            StandIn::ConnectPlayer("Player" + std::to_string(i));
        }
        ComeAndGo(state.range(0));
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(ConnectDisconnectPairs)->RangeMultiplier(10)->Range(1000, 100000)->Complexity(benchmark::oN);

}  // namespace

BENCHMARK_MAIN();
