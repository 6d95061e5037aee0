// Each path with the plugin beside the same path with its floor, and reloads
// of the plugin's config.json beside a floor that only reads and parses it.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "Benchmarks.h"
#include "Scenarios.h"

namespace HeraldBench {

namespace {

std::size_t ExpectedDeliveries(Path path, int players) {
    switch (path) {
        case Path::CrateNotification:
        case Path::CrateChat:
        case Path::Nest:
        case Path::AsteroidAnnounced:
        case Path::CrateAfterCooldown:
        case Path::CrateRelayed:
            return static_cast<std::size_t>(players);
        case Path::CrateChosen:
            return ChosenHearers(players);
        default:
            return 0;
    }
}

void RunPath(benchmark::State& state, Path path, Side side, int players) {
    PathRun run(path, side, players);
    // Both sides must do the same visible work, or the ratio means nothing.
    // The first spawn is left out: a repeated asteroid is announced once.
    run.BetweenSpawns();
    run.SpawnOnce();
    run.BetweenSpawns();
    run.SpawnOnce();
    if (run.LastDeliveries() != ExpectedDeliveries(path, players)) {
        state.SkipWithError(("deliveries: " + std::to_string(run.LastDeliveries())).c_str());
        return;
    }
    const bool between = run.NeedsTimeBetweenSpawns();
    for (auto _ : state) {
        if (between) {
            state.PauseTiming();
            run.BetweenSpawns();
            state.ResumeTiming();
        }
        run.SpawnOnce();
    }
    state.SetItemsProcessed(state.iterations());
}

void RunReload(benchmark::State& state, const std::string& configText, Side side) {
    ReloadRun run(configText, side);
    for (auto _ : state) {
        run.ReloadOnce();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(configText.size()));
}

void RegisterPair(const std::string& name, Path path, int players) {
    benchmark::RegisterBenchmark(name.c_str(),
                                 [=](benchmark::State& state) { RunPath(state, path, Side::Plugin, players); });
    benchmark::RegisterBenchmark((FloorPrefix + name).c_str(),
                                 [=](benchmark::State& state) { RunPath(state, path, Side::Floor, players); });
}

}  // namespace

void RegisterPaths() {
    // Players are connected on every path; only announcements depend on their number.
    constexpr int Players = 70;
    RegisterPair("wall", Path::Wall, Players);
    RegisterPair("storage-box", Path::StorageBox, Players);
    RegisterPair("crate-without-entry", Path::CrateWithoutEntry, Players);
    for (int players : {1, 10, 70, 100, 200}) {
        RegisterPair("crate-notification/" + std::to_string(players), Path::CrateNotification, players);
    }
    for (int players : {1, 10, 70, 100, 200}) {
        RegisterPair("crate-chat/" + std::to_string(players), Path::CrateChat, players);
    }
    RegisterPair("nest/70", Path::Nest, Players);
    RegisterPair("asteroid-announced/70", Path::AsteroidAnnounced, Players);
    RegisterPair("asteroid-repeated/70", Path::AsteroidRepeated, Players);
    RegisterPair("crate-chosen/70", Path::CrateChosen, Players);
    RegisterPair("crate-held/70", Path::CrateHeld, Players);
    RegisterPair("crate-after-cooldown/1", Path::CrateAfterCooldown, 1);
    RegisterPair("crate-relayed/1", Path::CrateRelayed, 1);

    for (const auto& [label, bytes] :
         std::vector<std::pair<std::string, std::size_t>>{{"1KB", 1024}, {"100KB", 100 * 1024}, {"1MB", 1024 * 1024}}) {
        const std::string text = ConfigOfSize(bytes);
        const std::string name = "reload/" + label;
        benchmark::RegisterBenchmark(name.c_str(), [=](benchmark::State& state) {
            RunReload(state, text, Side::Plugin);
        })->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark((FloorPrefix + name).c_str(), [=](benchmark::State& state) {
            RunReload(state, text, Side::Floor);
        })->Unit(benchmark::kMicrosecond);
    }
}

}  // namespace HeraldBench
