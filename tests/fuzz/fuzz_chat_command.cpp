// Any chat line a player can send to the chat command, against a config with
// groups written in mixed case, one sending nothing, and asteroids on Gen2.
// Each line is answered with exactly one chat line to that player alone, of
// bounded length and well-formed; a choice it makes decides the next spawn
// as the command said; nothing is logged; the game allocator holds nothing
// afterwards.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "plugin/Plugin.h"

using namespace HeraldFuzz;
using StandIn::RecordKind;

namespace {

constexpr char Config[] = R"({
  "Items": {
    "SupplyCrate_Level03_C": { "Notification": { "Msg": "crate", "Type": "Chat" } },
    "ElementNode_C": { "Group": "Nodes-A_1", "Notification": { "Msg": "node", "Type": "Chat" } },
    "BeaverDam_C": { "Group": "dams", "Notification": { "Type": "Chat" } }
  },
  "AsteroidGen2": { "Enable": true, "Color": {}, "Name": {}, "PrimaryResources": {}, "SecondaryResources": {},
                    "Notification": { "Msg": "asteroid" } }
})";

// The longest reply: the list of states, or an unknown group's 32 characters
// of at most 4 bytes each with the groups named.
constexpr std::size_t ReplyLimit = 300;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    StartServer({"Alice", "Bob"});
    WriteConfigText(Config);
    PluginLoad();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const bool onGen2 = input.ConsumeBool();
    const std::string rest = input.ConsumeRemainingBytesAsString();
    StandIn::RunInitGame(onGen2 ? "Gen2" : "TheIsland");
    StandIn::ClearRecords();
    Require(StandIn::ChatLine("Alice", "/HERALD " + rest), "the chat command did not take its line");
    const auto& records = StandIn::Records();
    Require(records.size() == 1 && records[0].kind == RecordKind::Chat && records[0].player == "Alice" &&
                records[0].sender == "Server",
            "a line answered otherwise than with one chat line to its player");
    Require(records[0].text.size() <= ReplyLimit, "a reply beyond its bound");
    RequireRecordsWellFormed();

    StandIn::ClearRecords();
    HeraldFuzz::Require(StandIn::ChatLine("Alice", "/herald"), "the status line was not taken");
    const std::string status = StandIn::Records().empty() ? std::string() : StandIn::Records()[0].text;
    StandIn::ClearRecords();
    StandIn::SpawnStructure({u"SupplyCrate_Level03_C_1", StandIn::ObjectClass::ItemContainer});
    std::size_t toAlice = 0;
    for (const StandIn::Record& record : StandIn::Records()) {
        toAlice += record.player == "Alice" ? 1 : 0;
    }
    const bool hears = status.find("crates on") != std::string::npos;
    Require(toAlice == (hears ? 1u : 0u), "a crate's delivery disagrees with what the command says of crates");
    Require(CountRecords(RecordKind::Log) == 0, "a chat line logged an error line");
    StandIn::ClearRecords();
    RequireAllocatorClean("after a chat line");
    return 0;
}
