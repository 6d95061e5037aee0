// The plugin's commands from the console and over RCON: "SkyCrateHerald.Reload"
// in every outcome, and what "SkyCrateHerald.Test" sends, describes and refuses.

#include <cstdlib>
#include <filesystem>
#include <optional>

#include "Support.h"
#include "config/ConfigLimits.h"

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

namespace {

const nlohmann::json ChatConfig(const std::string& message) {
    return {{"Items", {{"SupplyCrate_Level03_C", {{"Notification", {{"Msg", message}, {"Type", "Chat"}}}}}}}};
}

class ReloadTest : public HeraldTest::ServerTest {
protected:
    const std::string alice = "Alice";
    const std::string bob = "Bob";

    void SetUp() override {
        StandIn::ConnectPlayer(alice, true);
        StandIn::ConnectPlayer(bob, false);
        server.WriteConfig(ChatConfig("first"));
        LoadPlugin();
    }
    void SpawnCrate() { StandIn::SpawnStructure({u"SupplyCrate_Level03_C_9", StandIn::ObjectClass::ItemContainer}); }
};

TEST_F(ReloadTest, ConsoleReloadTakesEffectAtTheNextSpawnAndAnswersGreen) {
    SpawnCrate();
    server.WriteConfig(ChatConfig("second"));
    EXPECT_TRUE(StandIn::ConsoleCommand(&alice, "SkyCrateHerald.Reload"));
    SpawnCrate();
    EXPECT_THAT(Transcript(), ElementsAre("chat Alice Server: \"first\"", "chat Bob Server: \"first\"",
                                          "console_reply Alice \"Reloaded config\" color=0,1,0,1",
                                          "chat Alice Server: \"second\"", "chat Bob Server: \"second\""));
}

TEST_F(ReloadTest, FailedReloadsAnswerAndLogInTheirOrderAndKeepTheSettings) {
    struct Case {
        const char* what;
        std::function<void(const HeraldTest::ServerDirectory&)> breakConfig;
        std::string error;  // the log line's text; empty: a parse error, checked by prefix
    };
    const std::vector<Case> cases = {
        {"missing file", [](const auto& dir) { dir.DeleteConfig(); }, "Can't open config.json"},
        {"syntax error", [](const auto& dir) { dir.WriteConfigText("{\"Items\": {"); }, ""},
        {"truncated after a good member",
         [](const auto& dir) { dir.WriteConfigText("{\"EnableNests\": true, \"Items\":"); }, ""},
        {"empty file", [](const auto& dir) { dir.WriteConfigText(""); }, ""},
        {"a directory in the file's place",
         [](const auto& dir) {
             dir.DeleteConfig();
             std::filesystem::create_directory(dir.ConfigPath());
         },
         ConfigNotRegularFileMessage},
        {"a file over the size limit",
         [](const auto& dir) { dir.WriteConfigText(std::string(ConfigFileSizeLimit + 1, ' ')); },
         ConfigTooLargeMessage},
        {"a document over the depth limit",
         [](const auto& dir) { dir.WriteConfigText(std::string(ConfigDepthLimit + 1, '[')); }, ConfigTooDeepMessage},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        StandIn::ClearRecords();
        test.breakConfig(server);

        EXPECT_TRUE(StandIn::ConsoleCommand(&alice, "SkyCrateHerald.Reload"));
        EXPECT_TRUE(StandIn::RconCommand("SkyCrateHerald.Reload", 42));
        SpawnCrate();

        const auto& records = StandIn::Records();
        ASSERT_EQ(records.size(), 6u) << ::testing::PrintToString(Transcript());
        // Console: the player hears first, then the reason goes to the log.
        EXPECT_EQ(StandIn::Describe(records[0]), "console_reply Alice \"Failed to reload config\" color=1,0,0,1");
        EXPECT_EQ(records[1].kind, StandIn::RecordKind::Log);
        // RCON: the log first, then the same text as the reply.
        EXPECT_EQ(records[2].kind, StandIn::RecordKind::Log);
        EXPECT_EQ(records[3].kind, StandIn::RecordKind::RconReply);
        EXPECT_EQ(records[3].id, 42);
        EXPECT_EQ(records[3].replyType, 0);
        EXPECT_EQ(records[3].text, records[2].text);
        EXPECT_EQ(records[1].text, records[2].text);
        if (test.error.empty()) {
            EXPECT_THAT(records[1].text, ::testing::StartsWith("[json.exception.parse_error."));
        } else {
            EXPECT_EQ(records[1].text, test.error);
        }
        // The settings that were in force still announce, whole.
        EXPECT_EQ(StandIn::Describe(records[4]), "chat Alice Server: \"first\"");
        EXPECT_EQ(StandIn::Describe(records[5]), "chat Bob Server: \"first\"");
        std::filesystem::remove(server.ConfigPath());
        server.WriteConfig(ChatConfig("first"));
    }
}

TEST_F(ReloadTest, ServerConsoleWithoutPlayerGetsNoReplyButFailuresAreLogged) {
    EXPECT_TRUE(StandIn::ConsoleCommand(nullptr, "SkyCrateHerald.Reload"));
    EXPECT_THAT(Transcript(), IsEmpty());
    server.DeleteConfig();
    EXPECT_TRUE(StandIn::ConsoleCommand(nullptr, "SkyCrateHerald.Reload"));
    EXPECT_THAT(Transcript(), ElementsAre("log SkyCrateHerald error \"Can't open config.json\""));
}

TEST_F(ReloadTest, RconSuccessRepliesWithTheRequestId) {
    EXPECT_TRUE(StandIn::RconCommand("SkyCrateHerald.Reload", 7));
    EXPECT_TRUE(StandIn::RconCommand("SkyCrateHerald.Reload", -3));
    EXPECT_THAT(Transcript(),
                ElementsAre("rcon_reply 7 type=0 \"Reloaded config\"", "rcon_reply -3 type=0 \"Reloaded config\""));
}

TEST_F(ReloadTest, RconReplyTurnsBytesAboveAsciiIntoQuestionMarks) {
    // The parser quotes the offending text; the log keeps it as it is.
    server.WriteConfigText("{\"Items\": \"caf\xC3\xA9\" x}");
    EXPECT_TRUE(StandIn::RconCommand("SkyCrateHerald.Reload", 1));
    const auto& records = StandIn::Records();
    ASSERT_EQ(records.size(), 2u);
    const std::string logged = records[0].text;
    ASSERT_NE(logged.find("\xC3\xA9"), std::string::npos) << logged;
    std::string expected = logged;
    for (char& byte : expected) {
        if (static_cast<unsigned char>(byte) > 127) {
            byte = '?';
        }
    }
    EXPECT_EQ(records[1].text, expected);
}

TEST_F(ReloadTest, AParseErrorQuotingMegabytesIsCutAlikeInTheLogAndTheReply) {
    // An unterminated string: the parser quotes all of it as what it last read.
    std::string text = "{\"Items\": \"";
    for (int i = 0; i < 1000000; ++i) {
        text += "\xC3\xA9";
    }
    server.WriteConfigText(text);
    EXPECT_TRUE(StandIn::ConsoleCommand(&alice, "SkyCrateHerald.Reload"));
    EXPECT_TRUE(StandIn::RconCommand("SkyCrateHerald.Reload", 5));
    const auto& records = StandIn::Records();
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(StandIn::Describe(records[0]), "console_reply Alice \"Failed to reload config\" color=1,0,0,1");
    const std::string& logged = records[1].text;
    EXPECT_LE(logged.size(), ErrorTextLimit);
    EXPECT_THAT(logged, ::testing::StartsWith("[json.exception.parse_error.101] parse error at line 1, column "));
    EXPECT_THAT(logged, ::testing::EndsWith("\xC3\xA9...")) << "cut between characters, never inside one";
    EXPECT_EQ(records[2].text, logged) << "the RCON side logs the same text";
    std::string replied = logged;
    for (char& byte : replied) {
        if (static_cast<unsigned char>(byte) > 127) {
            byte = '?';
        }
    }
    EXPECT_EQ(records[3].kind, StandIn::RecordKind::RconReply);
    EXPECT_EQ(records[3].text, replied);
}

TEST_F(ReloadTest, OnlyAdminsReachTheConsoleCommand) {
    EXPECT_FALSE(StandIn::ConsoleCommand(&bob, "SkyCrateHerald.Reload"));
    EXPECT_THAT(Transcript(), ElementsAre("refused \"Bob is not an admin\""));
}

TEST_F(ReloadTest, TwoReloadsInARowBothSucceed) {
    EXPECT_TRUE(StandIn::ConsoleCommand(&alice, "SkyCrateHerald.Reload"));
    EXPECT_TRUE(StandIn::ConsoleCommand(&alice, "SkyCrateHerald.Reload"));
    SpawnCrate();
    EXPECT_THAT(Transcript(), ElementsAre("console_reply Alice \"Reloaded config\" color=0,1,0,1",
                                          "console_reply Alice \"Reloaded config\" color=0,1,0,1",
                                          "chat Alice Server: \"first\"", "chat Bob Server: \"first\""));
}

TEST_F(ReloadTest, AReplyTheGameCannotDeliverIsLoggedNotThrownAtTheHost) {
    StandIn::RemoveGameEntry("AShooterPlayerController.ClientServerChatDirectMessage");
    EXPECT_TRUE(StandIn::ConsoleCommand(&alice, "SkyCrateHerald.Reload"));
    EXPECT_THAT(Transcript(), ElementsAre("log SkyCrateHerald error \"Unknown game entry: "
                                          "AShooterPlayerController.ClientServerChatDirectMessage\""));
}

// ---- SkyCrateHerald.Test ---------------------------------------------------------

class TestCommandTest : public HeraldTest::ServerTest {
protected:
    const std::string alice = "Alice";

    void SetUp() override {
        StandIn::ConnectPlayer(alice, true);
        StandIn::ConnectPlayer("Bob", false);
        StandIn::SetMapName("Gen2");
        server.WriteConfig(nlohmann::json::object());
        LoadPlugin();
    }
    // The config, read by a reload whose reply is not kept.
    void UseConfig(const nlohmann::json& config) {
        server.WriteConfig(config);
        ASSERT_TRUE(StandIn::RconCommand("SkyCrateHerald.Reload", 0));
        ASSERT_EQ(StandIn::Records().back().text, "Reloaded config");
        StandIn::ClearRecords();
    }
};

// The console delivers to the admin alone what a spawn delivers to each, and
// RCON says it in words: text decoded from UTF-8 and ended at a zero as the
// game's string ends, the colour's 8 bits, size and time as an admin writes them
// and as the game receives them.
TEST_F(TestCommandTest, RconReplyDescribesWhatTheConsoleDelivers) {
    struct Case {
        nlohmann::json notification;
        std::string delivered;  // to Alice, and to nobody else
        std::string described;
    } cases[] = {
        {{{"Msg", "{Name} at {Lat} / {Lon} {EggLvl}"}, {"Color", "255,128,0"}, {"Size", 1.2}, {"Time", 10}},
         "notification Alice \"Crate at 48.0 / 51.0 {EggLvl}\" color=1,0.215861,0,1 size=1.2 time=10",
         "Notification \"Crate at 48.0 / 51.0 {EggLvl}\" colour 255,128,0 size 1.2 time 10"},
        {{{"Msg", "x"}, {"Color", "300,-1,12abc"}, {"Size", 1e30}, {"Time", 7.9}},
         "notification Alice \"x\" color=0.0251869,1,0.00367651,1 size=1e+30 time=7",
         "Notification \"x\" colour 44,255,12 size 1e+30 time 7"},
        {{{"Msg", "x"}, {"Color", "blue"}, {"Size", 0.1}},
         "notification Alice \"x\" color=0,1,0,1 size=0.1 time=10",
         "Notification \"x\" colour 0,255,0 size 0.1 time 10"},
        {{{"Msg", "x"}, {"Size", 2}, {"Time", -3}},
         "notification Alice \"x\" color=0,1,0,1 size=2 time=-3",
         "Notification \"x\" colour 0,255,0 size 2 time -3"},
        {{{"Msg", "Caf\u00e9 {Name}"}, {"Type", "Chat"}, {"Sender", "H\u00e9raut"}},
         "chat Alice H\u00e9raut: \"Caf\u00e9 Crate\"",
         "Chat from H\u00e9raut: \"Caf\u00e9 Crate\""},
        {{{"Msg", "x"}, {"Type", "notification"}}, "chat Alice Server: \"x\"", "Chat from Server: \"x\""},
        {{{"Msg", std::string("seen\0unseen", 11)}, {"Color", "1,2,3"}},
         "notification Alice \"seen\" color=0.000303527,0.000607054,0.000910581,1 size=1.2 time=10",
         "Notification \"seen\" colour 1,2,3 size 1.2 time 10"},
        {{{"Msg", "x"}, {"Type", "Chat"}, {"Sender", std::string("Her\0ald", 7)}},
         "chat Alice Her: \"x\"",
         "Chat from Her: \"x\""},
        // The time and the size as the game receives them, single-precision
        // numbers, which skip whole numbers past 2^24.
        {{{"Msg", "x"}, {"Color", "0,255,0"}, {"Size", 2}, {"Time", 33554431}},
         "notification Alice \"x\" color=0,1,0,1 size=2 time=3.35544e+07",
         "Notification \"x\" colour 0,255,0 size 2 time 33554432"},
        {{{"Msg", "x"}, {"Color", "0,255,0"}, {"Size", 16777217}, {"Time", 2147483647}},
         "notification Alice \"x\" color=0,1,0,1 size=1.67772e+07 time=2.14748e+09",
         "Notification \"x\" colour 0,255,0 size 16777216 time 2147483648"},
        {{{"Msg", "x"}, {"Color", "0,255,0"}, {"Size", 1.1}, {"Time", -2147483647}},
         "notification Alice \"x\" color=0,1,0,1 size=1.1 time=-2.14748e+09",
         "Notification \"x\" colour 0,255,0 size 1.1 time -2147483648"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.notification.dump());
        UseConfig({{"Items", {{"SupplyCrate_Level03_C", {{"Name", "Crate"}, {"Notification", c.notification}}}}}});
        EXPECT_TRUE(StandIn::ConsoleCommand(&alice, "SkyCrateHerald.Test SupplyCrate_Level03_C 8000 -16000"));
        EXPECT_TRUE(StandIn::RconCommand("SkyCrateHerald.Test SupplyCrate_Level03_C 8000 -16000", 3));
        EXPECT_THAT(Transcript(), ElementsAre(c.delivered, "rcon_reply 3 type=0 \"" + c.described + " group crates\""));
    }
}

TEST_F(TestCommandTest, RandomColourIsDrawnOnceForTheOneRecipient) {
    UseConfig({{"Items", {{"SupplyCrate_Level03_C", {{"Notification", {{"Msg", "x"}, {"Color", "Random"}}}}}}}});
    std::srand(11);
    const auto blue = static_cast<uint8_t>(std::rand() % 256);
    const auto green = static_cast<uint8_t>(std::rand() % 256);
    const auto red = static_cast<uint8_t>(std::rand() % 256);
    const int next = std::rand();
    std::srand(11);
    EXPECT_TRUE(StandIn::ConsoleCommand(&alice, "SkyCrateHerald.Test SupplyCrate_Level03_C"));
    EXPECT_EQ(std::rand(), next) << "three draws, for Alice alone";
    const FColorLinear expected = LinearColor({blue, green, red, 255});
    ASSERT_EQ(StandIn::Records().size(), 1u);
    const StandIn::Record& record = StandIn::Records()[0];
    EXPECT_EQ(record.player, alice);
    EXPECT_THAT(std::vector<float>({record.color.R, record.color.G, record.color.B, record.color.A}),
                ElementsAre(expected.R, expected.G, expected.B, expected.A));
    std::srand(11);
    EXPECT_TRUE(StandIn::RconCommand("SkyCrateHerald.Test SupplyCrate_Level03_C", 4));
    EXPECT_EQ(StandIn::Records().back().text, "Notification \"x\" colour Random size 1.2 time 10 group crates");
    EXPECT_EQ(std::rand() % 256, blue) << "over RCON nothing is drawn";
}

// Each refusal is one line, red on the console, the same over RCON, and never
// logged; where a lookup fails on the config's types it is the very line a
// spawn of that object logs.
TEST_F(TestCommandTest, RefusalsAnswerOneLineAndASpawnWouldLogTheSameError) {
    using StandIn::ObjectClass;
    const nlohmann::json sends = {{"Notification", {{"Msg", "x"}}}};
    const nlohmann::json asteroids = {{"Enable", true},
                                      {"Color", nlohmann::json::object()},
                                      {"PrimaryResources", nlohmann::json::object()},
                                      {"SecondaryResources", nlohmann::json::object()},
                                      {"Notification", {{"Msg", "x"}}}};
    const auto asteroidsWith = [&](const nlohmann::json& changes) {
        nlohmann::json changed = asteroids;
        changed.update(changes);
        return changed;
    };
    nlohmann::json withoutNotification = asteroidsWith({{"Name", {{"Metal", "M"}}}});
    withoutNotification.erase("Notification");
    const StandIn::StructureSpawn crate{u"SupplyCrate_Level03_C_1", ObjectClass::ItemContainer};
    const StandIn::StructureSpawn asteroid{u"SupplyCrate_Space_01_Metal_C_1", ObjectClass::ItemContainer};
    const std::string typeError = "[json.exception.type_error.";
    struct Case {
        nlohmann::json config;
        std::string arguments;
        std::string reply;
        std::optional<StandIn::StructureSpawn> spawn;  // logs the same text
    } cases[] = {
        {{{"Items", {1}}},
         "SupplyCrate_Level03_C",
         typeError + "305] cannot use operator[] with a string argument with array",
         crate},
        {{{"Items", {{"SupplyCrate_Level03_C", "crate"}}}},
         "SupplyCrate_Level03_C",
         typeError + "306] cannot use value() with string",
         crate},
        {{{"Items", {{"SupplyCrate_Level03_C", {{"Notification", {{"Msg", "x"}, {"Type", "Chat"}, {"Sender", 7}}}}}}}},
         "SupplyCrate_Level03_C",
         typeError + "302] type must be string, but is number",
         crate},
        {{{"Items", {{"SupplyCrate_Level03_C", {{"Notification", {{"Msg", "x"}, {"Size", true}}}}}}}},
         "SupplyCrate_Level03_C",
         typeError + "302] type must be number, but is boolean",
         crate},
        {{{"EnableNests", 1}, {"Items", {{"Rex_Character_BP_C", sends}}}},
         "Rex_Character_BP_C",
         typeError + "302] type must be boolean, but is number",
         StandIn::StructureSpawn{u"Nest_C_1"}},
        {nlohmann::json::object(), "AsteroidGen2 Metal", typeError + "306] cannot use value() with null", asteroid},
        {{{"AsteroidGen2", {{"Enable", "yes"}}}},
         "AsteroidGen2 Metal",
         typeError + "302] type must be boolean, but is string",
         asteroid},
        {{{"AsteroidGen2", asteroids}},
         "AsteroidGen2 Metal",
         typeError + "306] cannot use value() with null",
         asteroid},
        {{{"AsteroidGen2", asteroidsWith({{"Name", nlohmann::json::object()}, {"Notification", "loud"}})}},
         "AsteroidGen2 Metal",
         typeError + "305] cannot use operator[] with a string argument with string",
         asteroid},
        {{{"Items", {{"SupplyCrate_Level03_C", nullptr}}}},
         "SupplyCrate_Level03_C",
         "No entry SupplyCrate_Level03_C in Items",
         std::nullopt},
        // Entries that a spawn never finds: its name is cut at the first "_C_".
        {{{"Items", {{"SupplyCrate_Level03_C_5", sends}}}},
         "SupplyCrate_Level03_C_5",
         "SupplyCrate_Level03_C_5 sends nothing: no spawned object has this item key (an item key ends at its first "
         "\"_C\")",
         std::nullopt},
        {{{"Items", {{"SupplyCrate_Level15_C_C_", sends}}}, {"EnableNests", true}},
         "SupplyCrate_Level15_C_C_",
         "SupplyCrate_Level15_C_C_ sends nothing: no spawned object has this item key (an item key ends at its first "
         "\"_C\")",
         std::nullopt},
        // An asteroid without a Notification is silent for that reason.
        {{{"AsteroidGen2", asteroidsWith({{"Name", {{"Metal", "M"}}}, {"Notification", nullptr}})}},
         "AsteroidGen2 Metal",
         "AsteroidGen2 Metal sends nothing: it has no Notification",
         std::nullopt},
        {{{"AsteroidGen2", withoutNotification}},
         "AsteroidGen2 Metal",
         "AsteroidGen2 Metal sends nothing: it has no Notification",
         std::nullopt},
        // An asteroid code typed where an Items key goes.
        {{{"Items", {{"Metal_C", sends}}}, {"AsteroidGen2", asteroidsWith({{"Name", {{"Metal", "M"}}}})}},
         "Metal",
         "No entry Metal in Items (for an asteroid, type SkyCrateHerald.Test AsteroidGen2 Metal)",
         std::nullopt},
        {{{"Items", {{"Metal_C", sends}}}, {"AsteroidGen2", asteroidsWith({{"Name", {{"Metal", "M"}}}})}},
         "Metal_",
         "No entry Metal_ in Items (did you mean Metal_C?)",
         std::nullopt},
        {{{"Items", {{"Caf\u00e9_C", sends}}}},
         "Caf\u00e8_C",
         "No entry Caf\u00e8_C in Items (did you mean Caf\u00e9_C?)",
         std::nullopt},
        {{{"Items", {{"Dodo_Nest_C", sends}}}},
         "Dodo_Nest_C",
         "Dodo_Nest_C sends nothing: EnableNests is false",
         std::nullopt},
        {{{"AsteroidGen2", asteroidsWith({{"Enable", false}})}},
         "ASTEROIDGEN2 Metal 1 2",
         "AsteroidGen2 Metal sends nothing: AsteroidGen2 is not enabled",
         std::nullopt},
        {{{"Items", {{"SupplyCrate_Level03_C", sends}}}},
         "SupplyCrate_Level03_C " + std::string(2000, '1') + " 0",
         "Usage: SkyCrateHerald.Test KEY [X Y], or SkyCrateHerald.Test AsteroidGen2 CODE [X Y]",
         std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.config.dump() + " / " + c.arguments.substr(0, 40));
        UseConfig(c.config);
        EXPECT_TRUE(StandIn::ConsoleCommand(&alice, "SkyCrateHerald.Test " + c.arguments));
        EXPECT_TRUE(StandIn::RconCommand("SkyCrateHerald.Test " + c.arguments, 5));
        EXPECT_THAT(Transcript(), ElementsAre("console_reply Alice \"" + c.reply + "\" color=1,0,0,1",
                                              "rcon_reply 5 type=0 \"" + c.reply + "\""));
        if (c.spawn) {
            StandIn::ClearRecords();
            StandIn::SpawnStructure(*c.spawn);
            EXPECT_THAT(Transcript(), ElementsAre("log SkyCrateHerald error \"" + c.reply + "\""));
        }
    }
}

// An asteroid code is cut as a crate's name is, so the test announces the code
// the crate named with it would; a code that no map of AsteroidGen2 names
// still announces the defaults, and the admin is told, on the console on a
// line of its own and over RCON at the end of the reply.
TEST_F(TestCommandTest, AsteroidCodesAreCutAsASpawnCutsThemAndAnUnconfiguredOneIsNamed) {
    const nlohmann::json asteroids = {
        {"Enable", true},
        {"Color", {{"Metal", "255,0,0"}, {"Crystal", "0,0,255"}}},
        {"Name", {{"Metal", "Metal asteroid"}}},
        {"PrimaryResources", {{"Red", "rubies"}}},
        {"SecondaryResources", nlohmann::json::object()},
        {"Notification", {{"Msg", "{Name}: {PrimaryResources}"}, {"Type", "Chat"}}},
    };
    UseConfig({{"AsteroidGen2", asteroids}});
    struct Case {
        std::string typed;
        std::string chat;                   // what Alice and a spawn's players receive
        std::optional<std::string> remark;  // said besides
    } cases[] = {
        {"Metal", "Metal asteroid: ", std::nullopt},
        {"Red_C_Gem", "Red: rubies", std::nullopt},
        {"Metal_C_", "Metal asteroid: ", std::nullopt},
        {"Cristal", "Cristal: ", "(AsteroidGen2 has no entry for Cristal; did you mean Crystal?)"},
        {"Gold_C_x", "Gold: ", "(AsteroidGen2 has no entry for Gold)"},
        {"C_Metal", "C: ", "(AsteroidGen2 has no entry for C)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        StandIn::ClearRecords();
        EXPECT_TRUE(StandIn::ConsoleCommand(&alice, "SkyCrateHerald.Test AsteroidGen2 " + c.typed));
        EXPECT_TRUE(StandIn::RconCommand("SkyCrateHerald.Test AsteroidGen2 " + c.typed, 6));
        std::vector<std::string> expected = {"chat Alice Server: \"" + c.chat + "\""};
        if (c.remark) {
            expected.push_back("console_reply Alice \"" + *c.remark + "\" color=1,0,0,1");
        }
        expected.push_back("rcon_reply 6 type=0 \"Chat from Server: \"" + c.chat + "\" group asteroids" +
                           (c.remark ? " " + *c.remark : "") + "\"");
        EXPECT_THAT(Transcript(), ElementsAreArray(expected));
        // The crate named with the typed code announces the same.
        StandIn::ClearRecords();
        StandIn::SpawnStructure(
            {StandIn::Utf16("SupplyCrate_Space_01_" + c.typed + "_C_1"), StandIn::ObjectClass::ItemContainer});
        EXPECT_THAT(Transcript(),
                    ElementsAre("chat Alice Server: \"" + c.chat + "\"", "chat Bob Server: \"" + c.chat + "\""));
        // A different code comes between, so that the next crate is announced.
        StandIn::SpawnStructure({u"SupplyCrate_Space_01_Between_C_1", StandIn::ObjectClass::ItemContainer});
    }
}

// The test command answers from the same plan as a spawn: on a map where a
// spawn of the entry sends nothing it says so, and where it would be sent.
TEST_F(TestCommandTest, OnAMapWhereASpawnSendsNothingTheReplyNamesTheMapItIsSentOn) {
    const nlohmann::json chat = {{"Msg", "{Name}"}, {"Type", "Chat"}};
    const nlohmann::json none = nlohmann::json::object();
    UseConfig({{"AsteroidGen2",
                {{"Enable", true},
                 {"Color", none},
                 {"Name", {{"Metal", "Metal"}}},
                 {"PrimaryResources", none},
                 {"SecondaryResources", none},
                 {"Notification", chat}}},
               {"Items", {{"SupplyCreate_OceanInstant_High_C", {{"Notification", chat}}}}}});
    const struct {
        const char* map;
        const char* typed;
        std::string reply;
    } cases[] = {
        {"TheIsland", "AsteroidGen2 Metal",
         "AsteroidGen2 Metal sends nothing on TheIsland: asteroid crates are announced on Gen2"},
        {"TheIsland", "SupplyCreate_OceanInstant_High_C",
         "SupplyCreate_OceanInstant_High_C sends nothing on TheIsland: ocean crates are announced on Ragnarok"},
        {"Ragnarok", "AsteroidGen2 Metal",
         "AsteroidGen2 Metal sends nothing on Ragnarok: asteroid crates are announced on Gen2"},
        {"Ragnarok", "SupplyCreate_OceanInstant_High_C",
         "Chat from Server: \"SupplyCreate_OceanInstant_High_C\" group ocean"},
        {"Gen2", "AsteroidGen2 Metal", "Chat from Server: \"Metal\" group asteroids"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.map) + " " + c.typed);
        StandIn::RunInitGame(c.map);
        StandIn::ClearRecords();
        EXPECT_TRUE(StandIn::RconCommand(std::string("SkyCrateHerald.Test ") + c.typed, 4));
        EXPECT_THAT(Transcript(), ElementsAre("rcon_reply 4 type=0 \"" + c.reply + "\""));
        if (c.reply.starts_with("Chat")) {
            continue;
        }
        StandIn::ClearRecords();
        EXPECT_TRUE(StandIn::ConsoleCommand(&alice, std::string("SkyCrateHerald.Test ") + c.typed));
        EXPECT_THAT(Transcript(), ElementsAre("console_reply Alice \"" + c.reply + "\" color=1,0,0,1"))
            << "nothing is sent to the admin";
    }
}

TEST_F(TestCommandTest, TheReplySaysWhenTheEntrysGroupIsRelayedToDiscord) {
    const nlohmann::json chat = {{"Msg", "x"}, {"Type", "Chat"}};
    const nlohmann::json items = {{"SupplyCrate_Level03_C", {{"Notification", chat}}},
                                  {"CrystalWyvern_ElementNode_C", {{"Notification", chat}}}};
    const struct {
        nlohmann::json discord;
        const char* crate;
        const char* node;
    } cases[] = {
        {nullptr, " group crates", " group nodes"},
        {{{"Webhook", "http://127.0.0.1:9/hook"}},
         " group crates relayed to Discord",
         " group nodes relayed to Discord"},
        {{{"Webhook", "http://127.0.0.1:9/hook"}, {"Groups", {"CRATES"}}},
         " group crates relayed to Discord",
         " group nodes"},
        {{{"Groups", {"crates"}}}, " group crates", " group nodes"},  // no webhook: nothing relayed
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.discord.dump());
        nlohmann::json config = {{"Items", items}};
        if (!c.discord.is_null()) {
            config["Discord"] = c.discord;
        }
        UseConfig(config);
        EXPECT_TRUE(StandIn::RconCommand("SkyCrateHerald.Test SupplyCrate_Level03_C", 5));
        EXPECT_TRUE(StandIn::RconCommand("SkyCrateHerald.Test CrystalWyvern_ElementNode_C", 5));
        EXPECT_THAT(Transcript(), ElementsAre(::testing::EndsWith(std::string(c.crate) + "\""),
                                              ::testing::EndsWith(std::string(c.node) + "\"")));
    }
}

}  // namespace
