// Any bytes as config.json, taken in by the reload commands of a plugin that
// stays loaded (the load path is fuzz_config_load's). Each input starts from
// the known-good file in force and is reloaded twice, over RCON and from an
// admin's console: both must answer once and agree. A file taken is put
// through one spawn of every kind on every map where it is special, then the
// known-good file is reloaded; a file refused must leave the known-good
// settings in force. Either way they are in force, value for value, when the
// input ends, so each input is judged on its own; and the game allocator is
// empty. (That those settings also still announce after a failed reload is
// shown by a probe crate in fuzz_config_load: a spawn on every input here
// would cost about a tenth of the rate.)

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "ConfigFuzzing.h"
#include "FuzzSupport.h"
#include "announce/SpawnDetours.h"

using namespace HeraldFuzz;

namespace {

const std::string Admin = "Alice";

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    StartServer({"Bob"});
    StandIn::ConnectPlayer(Admin, true);
    WriteConfigText(KnownGoodConfig);
    Require(LoadAsNewLibrary(), "the known-good config does not load");
    StandIn::ClearRecords();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The asteroid last announced is the one module state a spawn leaves;
    // every input starts as if none had been.
    LastAsteroidCode.clear();

    WriteConfigText(std::string_view(reinterpret_cast<const char*>(data), size));
    std::string rconReason;
    std::string consoleReason;
    const bool taken = ReloadOverRcon(&rconReason);
    Require(ReloadFromConsole(Admin, &consoleReason) == taken, "the console and RCON reloads disagree on one file");
    if (rconReason != consoleReason) {
        Fail("the console and RCON reloads give two reasons for one file: " + consoleReason);
    }
    if (taken) {
        SpawnEveryKind();
        RestoreKnownGoodConfig();
    }
    RequireKnownGoodSettingsInForce(taken ? "after the known-good file was reloaded" : "after a failed reload");

    RequireRecordsWellFormed();
    RequireAllocatorClean("after the reloads of one input");
    // The records go with the input that made them: libFuzzer runs an input
    // once more, as a suspected leak, whenever it frees less than it took.
    StandIn::ClearRecords();
    return 0;
}
