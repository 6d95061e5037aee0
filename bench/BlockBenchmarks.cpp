// The building blocks the paths are made of, each on its own: the item key,
// the name search, a template, coordinates, colours and game strings.

#include <benchmark/benchmark.h>

#include <string>
#include <string_view>

#include "Benchmarks.h"
#include "Scenarios.h"
#include "StandIn.h"
#include "announce/Broadcast.h"
#include "announce/SpawnDetours.h"
#include "announce/Templates.h"
#include "config/ConfigReaders.h"
#include "game/GameTypes.h"

namespace HeraldBench {

namespace {

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

}  // namespace

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

}  // namespace HeraldBench
