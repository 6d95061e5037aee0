#pragma once
// herald_bench's benchmarks, registered by kind before the run.

namespace HeraldBench {

// Before a path's name, the name of its floor's benchmark.
inline constexpr char FloorPrefix[] = "floor:";

// Every path beside its floor, and reloads of three sizes.
void RegisterPaths();
// The building blocks the paths are made of.
void RegisterBlocks();
// SkyCrateHerald.Test on keys the config lacks.
void RegisterTestMisses();
// A player's choice saved, and stores of choices loaded.
void RegisterChoices();

}  // namespace HeraldBench
