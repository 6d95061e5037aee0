// The stand-in's chat commands, game clock and timers, and players' unique
// ids, driven as a plugin drives them: registrations through the framework's
// interface, the clock and the ids through the game's fields and functions
// by name.

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "Support.h"
#include "game/GameAccess.h"
#include "game/GameTypes.h"

namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

constexpr char UniqueIdFunction[] = "AShooterPlayerController.GetUniqueNetIdAsString";

// What a test registers itself, removed however the test ends: the host keeps
// registrations across resets, and a later test must never call into a
// frame that is gone.
class HostRegistrations {
public:
    HostRegistrations() = default;
    HostRegistrations(const HostRegistrations&) = delete;
    HostRegistrations& operator=(const HostRegistrations&) = delete;
    ~HostRegistrations() {
        for (const std::string& name : chat_) {
            ArkApi::GetCommands().UnregisterChatCommand(FString::FromUtf8(name));
        }
        for (const std::string& id : timers_) {
            ArkApi::GetCommands().UnregisterTimerCallback(FString::FromUtf8(id));
        }
    }
    void Chat(const std::string& name, const ArkApi::ChatCommandHandler& handler) {
        chat_.push_back(name);
        ArkApi::GetCommands().RegisterChatCommand(FString::FromUtf8(name), handler);
    }
    void Timer(const std::string& id, const ArkApi::TimerCallback& callback) {
        timers_.push_back(id);
        ArkApi::GetCommands().RegisterTimerCallback(FString::FromUtf8(id), callback);
    }

private:
    std::vector<std::string> chat_;
    std::vector<std::string> timers_;
};

bool UnregisterChat(const char* name) { return ArkApi::GetCommands().UnregisterChatCommand(FString::FromUtf8(name)); }
bool UnregisterTimer(const char* id) { return ArkApi::GetCommands().UnregisterTimerCallback(FString::FromUtf8(id)); }

// A player's unique id as the plugin asks the game for it.
std::string UniqueIdOf(AShooterPlayerController* player) {
    FString id;
    GameFunction<void(AShooterPlayerController*, FString*)>(UniqueIdFunction)(player, &id);
    return id.ToUtf8();
}

// The game clock as the plugin reads it.
float WorldSeconds() { return GameField<float>(ArkApi::GetApiUtils().QueryWorld(), "UWorld.TimeSeconds"); }

// The game time as a callback sees it, "1" for 1.0f.
std::string WorldSecondsText() {
    char text[32];
    std::snprintf(text, sizeof text, "%g", static_cast<double>(WorldSeconds()));
    return text;
}

// The live controllers of the world's list, in joining order.
std::vector<AShooterPlayerController*> Controllers() {
    std::vector<AShooterPlayerController*> live;
    const auto& list =
        GameField<TGameArray<FWeakObjectPtr>>(ArkApi::GetApiUtils().QueryWorld(), "UWorld.PlayerControllerList");
    for (const FWeakObjectPtr& entry : list) {
        FWeakObjectPtr reference = entry;
        if (auto* player = GameFunction<AShooterPlayerController*(FWeakObjectPtr*, bool)>("FWeakObjectPtr.Get")(
                &reference, false)) {
            live.push_back(player);
        }
    }
    return live;
}

class HostServicesTest : public HeraldTest::ServerTest {};

// ---- Chat commands ----------------------------------------------------------

struct ChatReceived {
    std::string command;
    std::string playerId;
    std::string line;
    EChatSendMode::Type mode;
    std::size_t gameBlocksAdded;  // while the handler runs: the line's own storage
    bool operator==(const ChatReceived&) const = default;
};

void PrintTo(const ChatReceived& received, std::ostream* out) {
    *out << received.command << " from " << received.playerId << ": \"" << received.line << "\" mode " << received.mode
         << ", " << received.gameBlocksAdded << " game block(s)";
}

TEST_F(HostServicesTest, AChatLineReachesTheCommandNamedBeforeItsFirstSpaceInAnyAsciiCase) {
    StandIn::ConnectPlayer("Alice", false, "76561198000000001");
    StandIn::ConnectPlayer("Bob");
    HostRegistrations registrations;
    std::vector<ChatReceived> received;
    std::size_t blocksBefore = 0;
    for (const char* command : {"/herald", "/h\xC3\xA9rald", "/other"}) {
        registrations.Chat(command,
                           [&, command](AShooterPlayerController* player, FString* line, EChatSendMode::Type mode) {
                               received.push_back({command, UniqueIdOf(player), line->ToUtf8(), mode,
                                                   StandIn::Allocator().liveBlocks - blocksBefore});
                           });
    }
    struct Case {
        const char* what;
        const char* player;
        const char* line;
        bool handled;
        std::vector<ChatReceived> received;
        std::vector<std::string> records;
    };
    const auto answered = [](const char* command, const char* id, const char* line) {
        return std::vector<ChatReceived>{{command, id, line, EChatSendMode::GlobalChat, 1}};
    };
    const Case cases[] = {
        {"the whole line, arguments and all",
         "Alice",
         "/herald off crates",
         true,
         answered("/herald", "76561198000000001", "/herald off crates"),
         {}},
        {"any ASCII case; an id defaults to the name",
         "Bob",
         "/HeRaLd on",
         true,
         answered("/herald", "Bob", "/HeRaLd on"),
         {}},
        {"the name alone", "Bob", "/other", true, answered("/other", "Bob", "/other"), {}},
        {"every space after the first stays in the line",
         "Bob",
         "/other  a  b ",
         true,
         answered("/other", "Bob", "/other  a  b "),
         {}},
        {"non-ASCII letters match as written",
         "Alice",
         "/H\xC3\xA9RALD x",
         true,
         answered("/h\xC3\xA9rald", "76561198000000001", "/H\xC3\xA9RALD x"),
         {}},
        {"and only so", "Alice", "/H\xC3\x89RALD x", false, {}, {}},
        {"a tab does not end the name", "Alice", "/herald\toff", false, {}, {}},
        {"a leading space leaves no name", "Alice", " /herald off", false, {}, {}},
        {"a longer word is another name", "Alice", "/heraldry", false, {}, {}},
        {"plain chat is no command", "Alice", "hello /herald", false, {}, {}},
        {"an empty line", "Alice", "", false, {}, {}},
        {"a player who is not connected is refused",
         "Carol",
         "/herald off",
         false,
         {},
         {"refused \"no connected player named Carol\""}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        StandIn::ClearRecords();
        received.clear();
        blocksBefore = StandIn::Allocator().liveBlocks;
        EXPECT_EQ(StandIn::ChatLine(c.player, c.line), c.handled);
        EXPECT_THAT(received, ElementsAreArray(c.received));
        EXPECT_THAT(Transcript(), ElementsAreArray(c.records));
        EXPECT_EQ(StandIn::Allocator().liveBlocks, blocksBefore) << "the line's storage goes back to the game";
    }
}

TEST_F(HostServicesTest, ARemovedChatCommandNoLongerAnswersAndRemovalIsByExactName) {
    StandIn::ConnectPlayer("Alice");
    HostRegistrations registrations;
    std::vector<std::string> answered;
    registrations.Chat("/herald",
                       [&](AShooterPlayerController*, FString*, EChatSendMode::Type) { answered.push_back("first"); });
    registrations.Chat("/herald",
                       [&](AShooterPlayerController*, FString*, EChatSendMode::Type) { answered.push_back("second"); });
    registrations.Chat("/once", [&](AShooterPlayerController*, FString*, EChatSendMode::Type) {
        answered.push_back("once");
        UnregisterChat("/once");  // from inside its own call
    });
    struct Step {
        const char* remove;  // null: none
        bool removed;
        const char* line;
        std::vector<std::string> answered;
    };
    const Step steps[] = {
        {nullptr, false, "/herald x", {"first"}},  // the earliest of a name answers
        {"/HERALD", false, "/herald x", {"first"}},
        {"/herald", true, "/herald x", {"second"}},
        {"/herald", true, "/herald x", {}},
        {"/herald", false, "/herald x", {}},
        {nullptr, false, "/once", {"once"}},
        {nullptr, false, "/once", {}},
        {"/once", false, "/once", {}},
    };
    for (std::size_t i = 0; i < std::size(steps); ++i) {
        const Step& step = steps[i];
        SCOPED_TRACE(::testing::Message() << "step " << i);
        if (step.remove != nullptr) {
            EXPECT_EQ(UnregisterChat(step.remove), step.removed);
        }
        answered.clear();
        EXPECT_EQ(StandIn::ChatLine("Alice", step.line), !step.answered.empty());
        EXPECT_THAT(answered, ElementsAreArray(step.answered));
    }
    EXPECT_THAT(
        StandIn::HostCalls(),
        ElementsAre("RegisterChatCommand /herald", "RegisterChatCommand /herald", "RegisterChatCommand /once",
                    "UnregisterChatCommand /HERALD", "UnregisterChatCommand /herald", "UnregisterChatCommand /herald",
                    "UnregisterChatCommand /herald", "UnregisterChatCommand /once", "UnregisterChatCommand /once"));
    EXPECT_THAT(Transcript(), IsEmpty());
}

// ---- The clock and timers -------------------------------------------------------

TEST_F(HostServicesTest, EachSecondOfAWaitRunsEveryTimerOnceInRegistrationOrder) {
    struct Case {
        const char* what;
        std::vector<int> waits;
        std::vector<std::string> runs;  // timer@the game time it read
        std::int64_t seconds;
    };
    const Case cases[] = {
        {"no wait", {}, {}, 0},
        {"nothing for 0 or fewer seconds", {0, -3}, {}, 0},
        {"one second", {1}, {"b@1", "a@1"}, 1},
        {"waits add up", {2, 0, 1}, {"b@1", "a@1", "b@2", "a@2", "b@3", "a@3"}, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        StandIn::ResetServer();
        std::vector<std::string> runs;
        HostRegistrations registrations;
        for (const char* id : {"b", "a"}) {
            registrations.Timer(id, [&runs, id] { runs.push_back(std::string(id) + "@" + WorldSecondsText()); });
        }
        EXPECT_EQ(WorldSeconds(), 0.0f);
        for (const int seconds : c.waits) {
            StandIn::Wait(seconds);
        }
        EXPECT_THAT(runs, ElementsAreArray(c.runs));
        EXPECT_EQ(StandIn::GameSeconds(), c.seconds);
        EXPECT_EQ(WorldSeconds(), static_cast<float>(c.seconds));
    }
}

TEST_F(HostServicesTest, TimersMayRemoveThemselvesAndOthersWhileATickRuns) {
    std::vector<std::string> runs;
    HostRegistrations registrations;
    const auto log = [&runs](const char* id) { runs.push_back(std::string(id) + "@" + WorldSecondsText()); };
    registrations.Timer("early", [&] { log("early"); });
    registrations.Timer("once", [&] {
        log("once");
        EXPECT_TRUE(UnregisterTimer("once"));
    });
    registrations.Timer("remover", [&] {
        log("remover");
        if (WorldSeconds() == 2.0f) {
            EXPECT_TRUE(UnregisterTimer("early"));  // has run this second already
            EXPECT_TRUE(UnregisterTimer("later"));  // has not
        }
    });
    registrations.Timer("later", [&] { log("later"); });
    registrations.Timer("adder", [&] {
        log("adder");
        if (WorldSeconds() == 1.0f) {
            registrations.Timer("added", [&] { log("added"); });  // from the next second
        }
    });
    StandIn::Wait(3);
    EXPECT_THAT(runs, ElementsAre("early@1", "once@1", "remover@1", "later@1", "adder@1",  //
                                  "early@2", "remover@2", "adder@2", "added@2",            //
                                  "remover@3", "adder@3", "added@3"));
    EXPECT_FALSE(UnregisterTimer("once")) << "already removed";
    EXPECT_THAT(StandIn::HostCalls(), ElementsAre("RegisterTimerCallback early", "RegisterTimerCallback once",
                                                  "RegisterTimerCallback remover", "RegisterTimerCallback later",
                                                  "RegisterTimerCallback adder", "UnregisterTimerCallback once",
                                                  "RegisterTimerCallback added", "UnregisterTimerCallback early",
                                                  "UnregisterTimerCallback later", "UnregisterTimerCallback once"));
}

TEST_F(HostServicesTest, AResetRestartsTheClockAndKeepsWhatWasRegistered) {
    HostRegistrations registrations;
    int ticks = 0;
    int lines = 0;
    registrations.Timer("tick", [&] { ++ticks; });
    registrations.Chat("/herald", [&](AShooterPlayerController*, FString*, EChatSendMode::Type) { ++lines; });
    StandIn::Wait(5);
    StandIn::ResetServer();
    EXPECT_EQ(StandIn::GameSeconds(), 0);
    EXPECT_EQ(WorldSeconds(), 0.0f);
    StandIn::Wait(2);
    StandIn::ConnectPlayer("Alice");
    EXPECT_TRUE(StandIn::ChatLine("Alice", "/herald"));
    EXPECT_EQ(ticks, 5 + 2) << "the timer outlives the reset, as a loaded plugin's registrations do";
    EXPECT_EQ(lines, 1);
    EXPECT_EQ(WorldSeconds(), 2.0f);
}

// ---- Players' unique ids ------------------------------------------------------

TEST_F(HostServicesTest, AGameStringReceivesEachPlayersIdOverWhatItHeld) {
    struct Case {
        const char* name;
        std::optional<std::string> id;
        const char* heldBefore;  // the caller's string before the call
        std::string expected;
    };
    const Case cases[] = {
        {"Alice", std::nullopt, "", "Alice"},
        {"Bob", "76561198000000001", "stale text of some length", "76561198000000001"},
        {"Zo\xC3\xAB", std::nullopt, "x", "Zo\xC3\xAB"},
        {"Dan", "", "held", ""},
        {"Alice", "76561198000000002", "", "76561198000000002"},  // a second Alice, an id of her own
    };
    for (const Case& c : cases) {
        StandIn::ConnectPlayer(c.name, false, c.id);
    }
    const std::vector<AShooterPlayerController*> players = Controllers();
    ASSERT_EQ(players.size(), std::size(cases));
    const std::size_t blocksBefore = StandIn::Allocator().liveBlocks;
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(::testing::Message() << "player " << i << " " << c.name);
        {
            FString id = FString::FromUtf8(c.heldBefore);
            GameFunction<void(AShooterPlayerController*, FString*)>(UniqueIdFunction)(players[i], &id);
            EXPECT_EQ(id.ToUtf8(), c.expected);
            const std::size_t units = StandIn::Utf16(c.expected).size();
            EXPECT_EQ(id.ArrayNum, units == 0 ? 0 : static_cast<int32_t>(units + 1)) << "UTF-16 units and a zero";
            EXPECT_EQ(StandIn::Allocator().liveBlocks, blocksBefore + (c.expected.empty() ? 0 : 1))
                << "what the string held went back to the game";
        }
        EXPECT_EQ(StandIn::Allocator().liveBlocks, blocksBefore);
    }
    EXPECT_THAT(StandIn::Allocator().faults, IsEmpty());

    StandIn::RemoveGameEntry(UniqueIdFunction);
    EXPECT_EQ(ArkApi::GetAddress(UniqueIdFunction), nullptr);
    StandIn::RemoveGameEntry("UWorld.TimeSeconds");
    EXPECT_EQ(ArkApi::GetAddress(ArkApi::GetApiUtils().QueryWorld(), "UWorld.TimeSeconds"), nullptr);
}

}  // namespace
