// Every path through the plugin, each beside its floor, and the building blocks
// the paths are made of. At the end a table gives each path as a ratio to its
// floor, from the same run.

#include "Benchmarks.h"

#include <benchmark/benchmark.h>
#include <unistd.h>

#include "RatioReporter.h"

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
