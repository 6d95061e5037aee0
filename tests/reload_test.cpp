// "SkyCrateHerald.Reload" from the console and over RCON, in every outcome.

#include <filesystem>

#include "Support.h"
#include "config/ConfigLimits.h"

using ::testing::ElementsAre;
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
    EXPECT_THAT(Transcript(), ElementsAre("rcon_reply 7 type=0 \"Reloaded config\"",
                                          "rcon_reply -3 type=0 \"Reloaded config\""));
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
    EXPECT_THAT(logged, ::testing::EndsWith("\xC3\xA9..."))  << "cut between characters, never inside one";
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

}  // namespace
