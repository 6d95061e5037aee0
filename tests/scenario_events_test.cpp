// The scenario events of chat lines, waits and players' ids: what the reader
// refuses and how, what a run does with them on the stand-in, and how the
// two transcripts show them.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "StandIn.h"
#include "Support.h"
#include "game/GameAccess.h"
#include "game/GameTypes.h"
#include "run/Play.h"
#include "run/Printers.h"
#include "scenario/Scenario.h"

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

// A scenario of these events; gives the reader's refusal, or "" when it accepts it.
std::string EventsRefusal(const std::string& events, const std::string& players = "[]") {
    try {
        Herald::CheckScenarioText(R"({"players": )" + players + R"(, "events": )" + events + "}", "s.json");
    } catch (const Herald::ScenarioError& error) {
        return error.what();
    }
    return "";
}

TEST(ScenarioEvents, ChatWaitAndIdsOutsideTheFormatAreRefusedSayingWhereAndWhy) {
    struct Case {
        std::string events;
        std::string players;
        std::string refusal;  // all of it after the file's name; empty: accepted
    };
    const Case cases[] = {
        // A wait of whole seconds, from 1 to a day.
        {R"([{"event": "wait", "seconds": 1}])", "[]", ""},
        {R"([{"event": "wait", "seconds": 86400}])", "[]", ""},
        {R"([{"event": "wait", "seconds": 0}])", "[]",
         R"(event 0 (wait): "seconds" must be a whole number from 1 to 86400, not 0)"},
        {R"([{"event": "wait", "seconds": 86401}])", "[]",
         R"(event 0 (wait): "seconds" must be a whole number from 1 to 86400, not 86401)"},
        {R"([{"event": "wait", "seconds": -1}])", "[]",
         R"(event 0 (wait): "seconds" must be a whole number from 1 to 86400, not -1)"},
        {R"([{"event": "wait", "seconds": 1.5}])", "[]",
         R"(event 0 (wait): "seconds" must be a whole number from 1 to 86400, not 1.5)"},
        {R"([{"event": "wait", "seconds": 2.0}])", "[]",
         R"(event 0 (wait): "seconds" must be a whole number from 1 to 86400, not 2.0)"},
        {R"([{"event": "wait", "seconds": "5"}])", "[]",
         R"(event 0 (wait): "seconds" must be a whole number from 1 to 86400, not string)"},
        // Would be 1 as a 32-bit int, and 2^63 would be negative as a 64-bit one.
        {R"([{"event": "wait", "seconds": 4294967297}])", "[]",
         R"(event 0 (wait): "seconds" must be a whole number from 1 to 86400, not 4294967297)"},
        {R"([{"event": "wait", "seconds": 9223372036854775808}])", "[]",
         R"(event 0 (wait): "seconds" must be a whole number from 1 to 86400, not 9223372036854775808)"},
        {R"([{"event": "load"}, {"event": "wait"}])", "[]",
         R"(event 1 (wait): "seconds" is missing (a whole number from 1 to 86400))"},
        {R"([{"event": "wait", "seconds": 1, "minutes": 1}])", "[]",
         R"(event 0 (wait): unknown key "minutes" (expected one of "event", "seconds"))"},
        // A chat line: a player's name and any text.
        {R"([{"event": "chat", "player": "Ann", "text": ""}])", "[]", ""},
        {R"([{"event": "chat", "player": "Ann"}])", "[]", R"(event 0 (chat): "text" is missing (a string))"},
        {R"([{"event": "chat", "text": "/herald"}])", "[]", R"(event 0 (chat): "player" is missing (a string))"},
        {R"([{"event": "chat", "player": null, "text": "/herald"}])", "[]",
         R"(event 0 (chat): "player" must be a string, not null)"},
        {R"([{"event": "chat", "player": "Ann", "text": ["/herald"]}])", "[]",
         R"(event 0 (chat): "text" must be a string, not array)"},
        {R"([{"event": "chat", "player": "Ann", "text": "/herald", "mode": "tribe"}])", "[]",
         R"(event 0 (chat): unknown key "mode" (expected one of "event", "player", "text"))"},
        // Ids, of a listed player and of one who connects.
        {R"([{"event": "connect", "player": "Ann", "id": ""}])", R"([{"name": "Ben", "id": "7656"}])", ""},
        {R"([{"event": "connect", "player": "Ann", "id": 7656}])", "[]",
         R"(event 0 (connect): "id" must be a string, not number)"},
        {"[]", R"([{"name": "Ann", "id": null}])", R"("players"[0]: "id" must be a string, not null)"},
        {"[]", R"([{"name": "Ann", "ids": "7656"}])",
         R"("players"[0]: unknown key "ids" (expected one of "name", "admin", "id"))"},
        {R"([{"event": "shout"}])", "[]",
         "event 0: unknown event \"shout\" (expected load, unload, init_game, spawn_structure, spawn_container, "
         "connect, disconnect, console, chat, rcon, write_config, delete_config, world_settings or wait)"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(EventsRefusal(c.events, c.players), c.refusal.empty() ? "" : "s.json: " + c.refusal)
            << c.events << " " << c.players;
    }
}

// The ids of the world's live players, in joining order, as the plugin reads them.
std::vector<std::string> ConnectedIds() {
    std::vector<std::string> ids;
    const auto& list = GameField<TGameArray<FWeakObjectPtr>>(ArkApi::GetApiUtils().QueryWorld(),
                                                             "UWorld.PlayerControllerList");
    for (const FWeakObjectPtr& entry : list) {
        FWeakObjectPtr reference = entry;
        auto* player =
            GameFunction<AShooterPlayerController*(FWeakObjectPtr*, bool)>("FWeakObjectPtr.Get")(&reference, false);
        if (player != nullptr) {
            FString id;
            GameFunction<void(AShooterPlayerController*, FString*)>(
                "AShooterPlayerController.GetUniqueNetIdAsString")(player, &id);
            ids.push_back(id.ToUtf8());
        }
    }
    return ids;
}

// The lines of a transcript from the one that begins with `first`.
std::vector<std::string> LinesFrom(const std::string& text, const std::string& first) {
    const std::vector<std::string> lines = HeraldTest::Lines(text);
    auto start = lines.begin();
    while (start != lines.end() && start->rfind(first, 0) != 0) {
        ++start;
    }
    return {start, lines.end()};
}

TEST(ScenarioEvents, ARunConnectsWithIdsSendsChatLinesWaitsAndPrintsEachEvent) {
    // No config.json: the plugin refuses to load, so that nothing but the host answers.
    Herald::ScenarioSetup setup;
    setup.players = {{"Ann"}, {"Ben", true, "B-2"}};
    const std::vector<Herald::Event> events = {
        Herald::ConnectEvent{{"Cid", false, "C-3"}},
        Herald::ConnectEvent{{"Dan", true}},
        Herald::ConnectEvent{{"Fay", true, "F-6"}},
        Herald::ChatEvent{"Ann", "/weather sunny"},
        Herald::ChatEvent{"Eve", "/weather"},
        Herald::WaitEvent{30},
        Herald::WaitEvent{1},
    };
    const Herald::TemporaryServerFolder folder;
    const Herald::PlayedScenario played = Herald::PlayInMemory(setup, events, HeraldTest::PluginPath, folder);
    // What the run left on the stand-in: its clock, and its players' ids.
    EXPECT_EQ(StandIn::GameSeconds(), 31);
    EXPECT_THAT(ConnectedIds(), ElementsAre("Ann", "B-2", "C-3", "Dan", "F-6"));

    std::ostringstream human;
    Herald::PrintPlayed(played, Herald::TranscriptFormat::Human, human);
    EXPECT_THAT(LinesFrom(human.str(), "#0"),
                ElementsAre("#0 connect Cid (id C-3)", "#1 connect Dan (admin)", "#2 connect Fay (admin, id F-6)",
                            "#3 chat Ann: /weather sunny", "#4 chat Eve: /weather",
                            "    refused  by host  no connected player named Eve", "#5 wait 30 seconds",
                            "#6 wait 1 second", "", "Game memory still held after unload: 0 blocks, 0 bytes"));

    std::ostringstream json;
    Herald::PrintPlayed(played, Herald::TranscriptFormat::Json, json);
    EXPECT_THAT(json.str(), HasSubstr(R"({"type": "load", "ok": false)"));
    EXPECT_THAT(LinesFrom(json.str(), R"({"type": "refused")"),
                ElementsAre(R"({"type": "refused", "event": 4, "reason": "no connected player named Eve"})",
                            R"({"type": "memory", "live_blocks": 0, "live_bytes": 0})"));
}

}  // namespace
