// Runs one path a given number of times, for counting instructions under
// callgrind: only HeraldMeasuredSpawns or HeraldMeasuredReloads is collected
// (--toggle-collect), after a warm-up that takes lazy binding and first-use
// set-up out of the count.
//
//   herald_hotpaths PATH plugin|floor PLAYERS COUNT
//   herald_hotpaths reload-1KB|reload-100KB|reload-1MB plugin|floor 0 COUNT
//   herald_hotpaths chat-change plugin|floor PLAYERS COUNT

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "Scenarios.h"

// noipa: called with a count of 1 (a path that needs time between spawns),
// GCC would otherwise call a clone of another name, which is not collected.
extern "C" __attribute__((noinline, noipa)) void HeraldMeasuredSpawns(HeraldBench::PathRun* run, long count) {
    for (long i = 0; i < count; ++i) {
        run->SpawnOnce();
    }
}

extern "C" __attribute__((noinline)) void HeraldMeasuredChats(HeraldBench::ChatRun* run, long count) {
    for (long i = 0; i < count; ++i) {
        run->ChangeOnce();
    }
}

extern "C" __attribute__((noinline)) void HeraldMeasuredReloads(HeraldBench::ReloadRun* run, long count) {
    for (long i = 0; i < count; ++i) {
        run->ReloadOnce();
    }
}

namespace {

// "reload-1KB", "reload-100KB", "reload-1MB": a reload of a config.json of that size.
std::size_t ReloadSize(const std::string& name) {
    if (name == "reload-1KB") {
        return 1024;
    }
    if (name == "reload-100KB") {
        return 100 * 1024;
    }
    return name == "reload-1MB" ? 1024 * 1024 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    HeraldBench::Path path{};
    const bool chat = argc == 5 && std::string(argv[1]) == "chat-change";
    if (argc != 5 || (!chat && !HeraldBench::ParsePath(argv[1], path) && ReloadSize(argv[1]) == 0) ||
        (std::string(argv[2]) != "plugin" && std::string(argv[2]) != "floor")) {
        std::fprintf(stderr,
                     "usage: %s PATH|chat-change|reload-1KB|reload-100KB|reload-1MB plugin|floor PLAYERS COUNT\n",
                     argv[0]);
        return 2;
    }
    const HeraldBench::Side side =
        std::string(argv[2]) == "plugin" ? HeraldBench::Side::Plugin : HeraldBench::Side::Floor;
    const int players = std::atoi(argv[3]);
    const long count = std::atol(argv[4]);
    try {
        if (chat) {
            HeraldBench::ChatRun run(side, players);
            for (int i = 0; i < 64; ++i) {
                run.ChangeOnce();
            }
            HeraldMeasuredChats(&run, count);
            return 0;
        }
        if (const std::size_t bytes = ReloadSize(argv[1])) {
            HeraldBench::ReloadRun run(HeraldBench::ConfigOfSize(bytes), side);
            run.ReloadOnce();
            HeraldMeasuredReloads(&run, count);
            return 0;
        }
        HeraldBench::PathRun run(path, side, players);
        if (run.NeedsTimeBetweenSpawns()) {
            // The game's seconds between two spawns are counted in neither.
            for (int i = 0; i < 64; ++i) {
                run.BetweenSpawns();
                run.SpawnOnce();
            }
            for (long i = 0; i < count; ++i) {
                run.BetweenSpawns();
                HeraldMeasuredSpawns(&run, 1);
            }
        } else {
            for (int i = 0; i < 64; ++i) {
                run.SpawnOnce();
            }
            HeraldMeasuredSpawns(&run, count);
        }
        std::printf("%s %s: %zu deliveries per spawn\n", argv[1], argv[2], run.LastDeliveries());
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
