// Every path through the plugin, each beside its floor, and the building blocks
// the paths are made of. At the end a table gives each path as a ratio to its
// floor, from the same run.

#include <benchmark/benchmark.h>
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "Scenarios.h"
#include "StandIn.h"
#include "Workloads.h"
#include "announce/Broadcast.h"
#include "announce/SpawnDetours.h"
#include "announce/Templates.h"
#include "config/NearMisses.h"
#include "game/GameTypes.h"

namespace HeraldBench {

namespace {

constexpr char FloorPrefix[] = "floor:";

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

// ---- Building blocks ---------------------------------------------------------

const std::string CrateMessage = "{Name} has landed at {Lat}, {Lon} on {MapName}";

void BlockItemKey(benchmark::State& state) {
    PrepareServer("{}");
    const FString name = FString::FromNarrow("SupplyCrate_Level03_C_5");
    ItemKey key;
    for (auto _ : state) {
        MakeItemKey(name, key);
        benchmark::DoNotOptimize(key.View());
    }
}

void BlockNameSearch(benchmark::State& state) {
    PrepareServer("{}");
    // A name that matches nothing is read to its end: the longest search.
    const FString name = FString::FromNarrow("StorageBox_Large_C_7");
    for (auto _ : state) {
        const NameFragments found = FindFragments(name);
        benchmark::DoNotOptimize(found);
    }
}

void BlockFillTemplate(benchmark::State& state) {
    const std::string_view replacements[] = {"{MapName}", "TheIsland", "{Lat}",  "32.4",
                                             "{Lon}",     "70.1",      "{Name}", "Level 3 supply crate",
                                             "{EggLvl}",  "{EggLvl}"};
    std::string text;
    for (auto _ : state) {
        FillTemplateInto(text, CrateMessage, replacements);
        benchmark::DoNotOptimize(text);
    }
}

void BlockCoordinates(benchmark::State& state) {
    PrepareServer("{}");
    StandIn::SetWorldSettings(800.0f, -400000.0f, 800.0f, -400000.0f);
    void* settings = GameFunction<void*(UWorld*, bool, bool)>("UWorld.GetWorldSettings")(
        ArkApi::GetApiUtils().QueryWorld(), false, true);
    for (auto _ : state) {
        benchmark::DoNotOptimize(MapCoordinates(settings, 123456.0f, -65432.0f));
    }
}

void BlockCoordinateText(benchmark::State& state) {
    const MapPosition position{41.8f, 65.4f};
    for (auto _ : state) {
        benchmark::DoNotOptimize(FormatCoordinate(position.Latitude));
        benchmark::DoNotOptimize(FormatCoordinate(position.Longitude));
    }
}

void BlockColor(benchmark::State& state, const std::string& text) {
    PrepareServer("{}");
    for (auto _ : state) {
        benchmark::DoNotOptimize(LinearColor(ParseColorText(text)));
    }
}

const std::string Utf8Message = "Große Kiste (Stufe 3) bei 41.8, 65.4 auf Gen2 — schnell hin!";

void BlockToGameString(benchmark::State& state) {
    PrepareServer("{}");
    for (auto _ : state) {
        FString text = FString::FromUtf8(Utf8Message);
        benchmark::DoNotOptimize(text.Data);
    }
}

void BlockFromGameString(benchmark::State& state) {
    PrepareServer("{}");
    const FString text = FString::FromUtf8(Utf8Message);
    for (auto _ : state) {
        benchmark::DoNotOptimize(text.ToUtf8());
    }
}

// ---- SkyCrateHerald.Test on a key the config lacks ---------------------------------------
// The search for the nearest key runs on the game's thread, so what a miss
// costs is bounded whatever the config: each benchmark is one RCON request
// through the host, with the reply checked.

// A config of count entries whose keys are the given length, each distinct.
std::string ConfigOfKeys(std::size_t count, std::size_t length, char fill) {
    std::string text = R"({"Items": {)";
    for (std::size_t i = 0; i < count; ++i) {
        std::string key = std::to_string(i);
        key.insert(0, length - key.size(), fill);
        text += (i == 0 ? "\"" : ",\"") + key + R"(": {"Notification": {"Msg": "x"}})";
    }
    return text + "}}";
}

void RunTestMiss(benchmark::State& state, const std::string& configText, const std::string& typed,
                 const std::string& expected) {
    PrepareServer(configText);
    if (!StandIn::LoadPlugin(HERALD_PLUGIN_PATH).ok) {
        state.SkipWithError("the plugin refused the config");
        return;
    }
    const std::string line = "SkyCrateHerald.Test " + typed;
    for (auto _ : state) {
        StandIn::ClearRecords();
        StandIn::RconCommand(line, 1);
    }
    const std::string reply = StandIn::Records().empty() ? "" : StandIn::Records().back().text;
    if (reply != expected) {
        state.SkipWithError(("reply: " + reply.substr(0, 200)).c_str());
    }
    StandIn::UnloadPlugin();
}

void RegisterTestMisses() {
    std::ifstream example(std::string(HERALD_SOURCE_DIR) + "/examples/config.json", std::ios::binary);
    const std::string exampleText((std::istreambuf_iterator<char>(example)), std::istreambuf_iterator<char>());
    const std::vector<std::pair<std::string, std::string>> exampleTypos = {
        {"SupplyCrate_Levl03_C", "SupplyCrate_Level03_C"},
        {"supplycrate_level03_c_", "SupplyCrate_Level03_C"},
        {"ElementNod_C", "ElementNode_C"},
    };
    for (const auto& [typed, nearest] : exampleTypos) {
        benchmark::RegisterBenchmark(("test-command-miss/example/" + typed).c_str(), [=](benchmark::State& state) {
            RunTestMiss(state, exampleText, typed, "No entry " + typed + " in Items (did you mean " + nearest + "?)");
        })->Unit(benchmark::kMicrosecond);
    }
    // 15,000 keys of 1,000 characters: a legal config of 15 MB.
    const std::string longKeys = ConfigOfKeys(15'000, 1'000, 'k');
    const std::string longTypo = std::string(995, 'k') + "x1234";
    benchmark::RegisterBenchmark("test-command-miss/15000-keys-of-1000", [=](benchmark::State& state) {
        RunTestMiss(state, longKeys, longTypo, "No entry " + longTypo + " in Items");
    })->Unit(benchmark::kMicrosecond);
    // The costliest config the limits allow: 15,000 keys as long as a key the
    // search still names, each alike up to its end, and a typed text of their
    // length that is near none of them.
    const std::string capKeys = ConfigOfKeys(15'000, NearMissLengthLimit, 'k');
    const std::string capTypo = std::string(NearMissLengthLimit - 5, 'k') + "xyzzy";
    benchmark::RegisterBenchmark("test-command-miss/15000-keys-at-the-length-limit", [=](benchmark::State& state) {
        RunTestMiss(state, capKeys, capTypo, "No entry " + capTypo + " in Items");
    })->Unit(benchmark::kMicrosecond);
}

void RegisterBlocks() {
    benchmark::RegisterBenchmark("block:item-key", BlockItemKey);
    benchmark::RegisterBenchmark("block:name-search-miss", BlockNameSearch);
    benchmark::RegisterBenchmark("block:fill-template", BlockFillTemplate);
    benchmark::RegisterBenchmark("block:map-coordinates", BlockCoordinates);
    benchmark::RegisterBenchmark("block:coordinate-text-x2", BlockCoordinateText);
    benchmark::RegisterBenchmark("block:color-rgb", [](benchmark::State& state) { BlockColor(state, "255,215,0"); });
    benchmark::RegisterBenchmark("block:color-random", [](benchmark::State& state) { BlockColor(state, "Random"); });
    benchmark::RegisterBenchmark("block:utf8-to-game-string", BlockToGameString);
    benchmark::RegisterBenchmark("block:game-string-to-utf8", BlockFromGameString);
}

// ---- Players' choices: a save, and a load of many -----------------------------
//
// A choice is saved on the game's thread, a transaction committed to the disk
// (synchronous=FULL) before the player's reply: its time is mostly the disk's
// flush, so its spread matters as much as its middle. Each save is timed on
// its own; the median and the 99th percentile are counters, in milliseconds.

double Percentile(std::vector<double> samples, double fraction) {
    if (samples.empty()) {
        return 0;
    }
    const auto at = static_cast<std::size_t>(fraction * static_cast<double>(samples.size() - 1) + 0.5);
    std::nth_element(samples.begin(), samples.begin() + static_cast<std::ptrdiff_t>(at), samples.end());
    return samples[at];
}

void SetPercentiles(benchmark::State& state, const std::vector<double>& milliseconds) {
    state.counters["median_ms"] = Percentile(milliseconds, 0.5);
    state.counters["p99_ms"] = Percentile(milliseconds, 0.99);
    state.counters["max_ms"] = Percentile(milliseconds, 1.0);
}

using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// "/herald off crates" and "/herald on crates" in turn from a connected player
// without a choice, on the server of crate-chosen (ChosenStorePlayers players
// in the store, 70 connected): every line changes a row, so every line is a
// committed transaction, and its reply is checked to say so.
void RunChoiceSave(benchmark::State& state) {
    PrepareServer(ChosenConfig().dump(2));
    constexpr int Players = 70;
    ConnectChosenPlayers(Players);
    WriteChosenStore(ServerStorePath(), Players, ChosenStorePlayers);
    if (!StandIn::LoadPlugin(HERALD_PLUGIN_PATH).ok) {
        state.SkipWithError("the plugin refused to load");
        return;
    }
    // Survivor3 has no choice of its own: of every seven connected players
    // on crate-chosen, the last four chose nothing.
    const std::string player = "Survivor3";
    const std::string lines[] = {"/herald off crates", "/herald on crates"};
    const std::string replies[] = {"You will no longer receive crates announcements.",
                                   "You will receive crates announcements again."};
    std::vector<double> milliseconds;
    std::size_t n = 0;
    for (auto _ : state) {
        StandIn::ClearRecords();
        const Clock::time_point start = Clock::now();
        StandIn::ChatLine(player, lines[n % 2]);
        milliseconds.push_back(MillisecondsSince(start));
        state.SetIterationTime(milliseconds.back() / 1e3);
        const std::string reply = StandIn::Records().empty() ? "" : StandIn::Records().back().text;
        if (reply != replies[n % 2]) {
            state.SkipWithError(("reply: " + reply).c_str());
            break;
        }
        ++n;
    }
    StandIn::UnloadPlugin();
    SetPercentiles(state, milliseconds);
}

// A store of about `rows` rows, written once per process in memory (tmpfs,
// where a commit costs no flush) and copied to each server that loads it.
struct WrittenStores {
    std::map<std::size_t, std::string> paths;
    ~WrittenStores() {
        for (const auto& [rows, path] : paths) {
            std::error_code ignored;
            std::filesystem::remove(path, ignored);
        }
    }
};

std::string StoreOfRows(std::size_t rows) {
    static WrittenStores stores;
    std::map<std::size_t, std::string>& written = stores.paths;
    if (const auto found = written.find(rows); found != written.end()) {
        return found->second;
    }
    const std::filesystem::path path = std::filesystem::path("/dev/shm") /
                                       ("herald-bench-" + std::to_string(::getpid()) + "-" + std::to_string(rows) + ".sqlite");
    std::filesystem::remove(path);
    // The kinds of choice StoredPlayers deals take 1.25 rows a player.
    const std::size_t made = rows == 0 ? 0 : WriteChosenStore(path.string(), 0, static_cast<int>(rows * 4 / 5));
    if (made != rows) {
        throw std::runtime_error("the store holds " + std::to_string(made) + " rows, not " + std::to_string(rows));
    }
    written[rows] = path.string();
    return path.string();
}

// Heap in use, in KiB: what the allocator has handed out and not taken back.
long HeapInUseKiB() {
    const struct mallinfo2 info = ::mallinfo2();
    return static_cast<long>((info.uordblks + info.hblkhd) / 1024);
}

// StandIn::LoadPlugin with a store of so many rows in the plugin's folder:
// the library loaded, config.json read, the store opened and read whole. Each
// load is timed on its own (the unload is not); the memory the first load
// adds, resident and on the heap, are counters in KiB.
void RunChoiceLoad(benchmark::State& state, std::size_t rows) {
    std::string source;
    try {
        source = rows == 0 ? std::string() : StoreOfRows(rows);
    } catch (const std::exception& error) {
        state.SkipWithError(error.what());
        return;
    }
    PrepareServer(ChosenConfig().dump(2));
    ConnectChosenPlayers(70);
    if (!source.empty()) {
        std::filesystem::copy_file(source, ServerStorePath(), std::filesystem::copy_options::overwrite_existing);
    }
    std::vector<double> milliseconds;
    bool first = true;
    for (auto _ : state) {
        const long residentBefore = StandIn::ResidentKiB();
        const long heapBefore = HeapInUseKiB();
        const Clock::time_point start = Clock::now();
        const StandIn::LoadResult loaded = StandIn::LoadPlugin(HERALD_PLUGIN_PATH);
        milliseconds.push_back(MillisecondsSince(start));
        state.SetIterationTime(milliseconds.back() / 1e3);
        if (first) {
            state.counters["rss_added_KiB"] = static_cast<double>(StandIn::ResidentKiB() - residentBefore);
            state.counters["heap_added_KiB"] = static_cast<double>(HeapInUseKiB() - heapBefore);
            first = false;
        }
        if (!loaded.ok) {
            state.SkipWithError(("the plugin refused to load: " + loaded.error).c_str());
            break;
        }
        StandIn::UnloadPlugin();
    }
    SetPercentiles(state, milliseconds);
}

void RegisterChoices() {
    benchmark::RegisterBenchmark("choice-save", RunChoiceSave)
        ->Iterations(1000)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
    for (const std::size_t rows : {std::size_t{0}, std::size_t{100'000}}) {
        benchmark::RegisterBenchmark(("choice-load/" + std::to_string(rows)).c_str(),
                                     [=](benchmark::State& state) { RunChoiceLoad(state, rows); })
            ->Iterations(20)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond);
    }
}

// ---- The ratio table -----------------------------------------------------------

double Nanoseconds(const benchmark::BenchmarkReporter::Run& run) {
    const double time = run.GetAdjustedCPUTime();
    switch (run.time_unit) {
        case benchmark::kSecond:
            return time * 1e9;
        case benchmark::kMillisecond:
            return time * 1e6;
        case benchmark::kMicrosecond:
            return time * 1e3;
        case benchmark::kNanosecond:
            return time;
    }
    return time;
}

// The console output as usual, then each path against its floor. With
// repetitions the medians are compared.
class RatioReporter final : public benchmark::ConsoleReporter {
public:
    explicit RatioReporter(bool color) : ConsoleReporter(color ? OO_ColorTabular : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred) {
                continue;
            }
            const std::string name = run.run_name.str();
            if (order_.empty() || order_.back() != name) {
                order_.push_back(name);
            }
            if (run.run_type == Run::RT_Iteration) {
                last_[name] = Nanoseconds(run);
            } else if (run.aggregate_name == "median") {
                medians_[name] = Nanoseconds(run);
            }
        }
    }

    void Finalize() override {
        std::ostream& out = GetOutputStream();
        out << "\n| path | ns/op | floor ns/op | ratio |\n|---|---:|---:|---:|\n";
        for (const std::string& name : order_) {
            if (name.rfind(FloorPrefix, 0) == 0 || name.rfind("block:", 0) == 0) {
                continue;
            }
            const std::string floor = FloorPrefix + name;
            if (!Measured(name) || !Measured(floor)) {
                continue;
            }
            const double path = Time(name);
            const double floorTime = Time(floor);
            char line[160];
            std::snprintf(line, sizeof line, "| %s | %.0f | %.0f | %.2f |\n", name.c_str(), path, floorTime,
                          path / floorTime);
            out << line;
        }
        out.flush();
    }

private:
    bool Measured(const std::string& name) const { return last_.count(name) != 0 || medians_.count(name) != 0; }

    double Time(const std::string& name) const {
        const auto median = medians_.find(name);
        return median != medians_.end() ? median->second : last_.at(name);
    }

    std::vector<std::string> order_;
    std::map<std::string, double> last_;
    std::map<std::string, double> medians_;
};

}  // namespace

}  // namespace HeraldBench

int main(int argc, char** argv) {
    HeraldBench::RegisterPaths();
    HeraldBench::RegisterBlocks();
    HeraldBench::RegisterTestMisses();
    HeraldBench::RegisterChoices();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    HeraldBench::RatioReporter reporter(::isatty(STDOUT_FILENO) != 0);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
