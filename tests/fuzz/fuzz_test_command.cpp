// Any line an admin or an RCON client can send as SkyCrateHerald.Test (and as
// SkyCrateHerald.Status, which reads its words alike), against
// one configuration of well-typed values with near keys, asteroid codes and
// keys no spawn produces. The line is read as the game's 16-bit text (lone
// surrogates, zeros and Unicode spaces included) and, through the host, as a
// console line and an RCON request. Every request is answered, on RCON with
// exactly one reply; nothing is logged; what an admin is sent is UTF-8; the
// game allocator holds nothing afterwards.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "announce/TestCommandLine.h"
#include "plugin/Plugin.h"

using namespace HeraldFuzz;
using StandIn::RecordKind;

namespace {

constexpr char Config[] = R"({
  "EnableNests": true,
  "Items": {
    "SupplyCrate_Level03_C": { "Name": "Crate", "Notification": {
      "Msg": "{MapName} {Name} {Lat} {Lon} {EggLvl}", "Color": "Random", "Time": 33554431, "Size": 1e300 } },
    "SupplyCrate_Level05_C": { "Notification": { "Type": "Chat", "Sender": "Späher", "Msg": "{Name}@{Lat},{Lon}" } },
    "SupplyCrate_Level03_C_5": { "Notification": { "Msg": "{Name}" } },
    "SupplyCreate_OceanInstant_High_C": { "Notification": { "Msg": "{Name} {Lat} {Lon}", "Time": 7.9 } },
    "Rex_Character_BP_C": { "Name": "Rex", "Notification": { "Msg": "{Name} {EggLvl}" } },
    "Caf\u00e9_C": { "Notification": { "Msg": "\u00e9" } },
    "Metal_C": null,
    "ElementNode_C": { "Name": "x" }
  },
  "AsteroidGen2": {
    "Enable": true,
    "Color": { "Metal": "255,0,0", "Crystal": "Random", "": "0,0,255" },
    "Name": { "Metal": "Metal asteroid", "Red": "{PrimaryResources}" },
    "PrimaryResources": { "Metal": "Metal, Stone" },
    "SecondaryResources": { "Crystal": "Flint" },
    "Notification": { "Msg": "{MapName}: {Name} {PrimaryResources} / {SecondaryResources}" }
  }
})";

const std::string Admin = "Alice";

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    StartServer({});
    StandIn::ConnectPlayer(Admin, true);
    StandIn::ConnectPlayer("Bob");
    WriteConfigText(Config);
    PluginLoad();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const bool onGen2 = input.ConsumeBool();
    const std::string rest = input.ConsumeRemainingBytesAsString();

    const std::u16string units = Units(rest);
    if (const std::optional<TestRequest> request = ReadTestCommand(units)) {
        Require(units.size() <= TestCommandLengthLimit, "a line beyond the limit was read");
        Require(units.find(u'\0') == std::u16string::npos, "a line holding a zero was read");
        Require(!request->key.empty(), "a request without a key");
        Require(IsWellFormedUtf8(request->key), "a key that is not UTF-8");
    }

    StandIn::RunInitGame(onGen2 ? "Gen2" : "Ragnarok");
    StandIn::ClearRecords();
    const std::string line = "SkyCrateHerald.Test " + rest;
    StandIn::ConsoleCommand(&Admin, line);
    const std::size_t beforeRcon = StandIn::Records().size();
    // An announcement and at most two reply lines (a refusal or a remark).
    Require(beforeRcon <= 3, "more than an announcement and two lines for one console test");
    StandIn::RconCommand(line, 9);
    Require(StandIn::Records().size() == beforeRcon + 1 && StandIn::Records().back().kind == RecordKind::RconReply,
            "an RCON test answered otherwise than with one reply");
    // The status command reads its line the same way: one reply, whatever it is.
    const std::size_t beforeStatus = StandIn::Records().size();
    StandIn::RconCommand("SkyCrateHerald.Status " + rest, 10);
    Require(StandIn::Records().size() == beforeStatus + 1 && StandIn::Records().back().kind == RecordKind::RconReply,
            "a status request answered otherwise than with one reply");
    Require(CountRecords(RecordKind::Log) == 0, "a test of a well-typed configuration logged an error line");
    RequireRecordsWellFormed();
    RequireAllocatorClean("after a test");
    return 0;
}
