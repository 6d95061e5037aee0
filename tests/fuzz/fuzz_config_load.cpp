// Any bytes as config.json when the plugin loads, a load and an unload per
// input (the reload path runs faster in fuzz_config). A refused load must
// write exactly one error line and register nothing, and leave nothing that
// stops the known-good file from loading next. Load and reload must judge a
// file alike: a file refused at load is refused by a reload with the same
// reason, a file taken at load is taken again and put through one spawn of
// every kind. After unload the game allocator must hold nothing.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "ConfigFuzzing.h"
#include "FuzzSupport.h"
#include "plugin/Plugin.h"

using namespace HeraldFuzz;
using StandIn::RecordKind;

namespace {

constexpr std::size_t Players = 2;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    StartServer({"Alice", "Bob"});
    StandIn::ClearRecords();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    WriteConfigText(text);
    if (LoadAsNewLibrary()) {
        Require(LoggedTheSettingsProblems(0, StandIn::Records().size()),
                "a good load wrote to the log beyond its settings' problems");
        SpawnEveryKind();
        Require(ReloadOverRcon(), "a file taken at load is refused by a reload");
    } else {
        Require(!HostWasAsked("Register") && !HostWasAsked("InstallHook"),
                "a plugin that refused to load registered something");
        const auto& records = StandIn::Records();
        Require(records.size() == 1 && records.front().kind == RecordKind::Log && records.front().level == "error",
                "a refused load must write exactly one error line");
        const std::string loadReason = records.front().text;

        WriteConfigText(KnownGoodConfig);
        Require(LoadAsNewLibrary(), "after a refused load the known-good config does not load");
        WriteConfigText(text);
        std::string reloadReason;
        Require(!ReloadOverRcon(&reloadReason), "a file refused at load is taken by a reload");
        if (reloadReason != loadReason) {
            Fail("load and reload refuse one file for two reasons: " + reloadReason);
        }
        RequireKnownGoodSettingsAnnounce("after a failed reload", Players);
    }

    RequireRecordsWellFormed();
    PluginUnload();
    RequireAllocatorClean("after unload");
    // The records go with the input that made them: libFuzzer runs an input
    // once more, as a suspected leak, whenever it frees less than it took.
    StandIn::ClearRecords();
    return 0;
}
