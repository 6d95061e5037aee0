// herald check on the Discord relay against what the webhook receives, and
// webhook addresses kept out of every finding.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

#include "CheckSupport.h"
#include "StandIn.h"
#include "Support.h"
#include "check/Check.h"
#include "config/ConfigReaders.h"
#include "config/RelayReaders.h"

namespace {

using namespace CheckTest;
using Json = nlohmann::json;
using ::testing::HasSubstr;

struct RelayRow {
    const char* what;
    std::string config;
    std::string path;  // where check speaks; "" with says null: no finding at all
    const char* says;
    Severity severity = Severity::Error;  // the worst of the file's findings
    // The crate's announcement reaches the webhook, under this name; null: nothing is posted.
    const char* username = nullptr;
    const char* thread = "";   // the thread id each post carries
    const char* mention = "";  // what each post names before its line
};

// A crate in the group loot, a node in nodes and an ocean crate in ocean,
// asteroids switched on or off, and this Discord member ("" for none).
std::string RelayConfig(const std::string& discord, bool asteroids = false) {
    const std::string green = R"(, "Color": "0,255,0"}})";
    return std::string(R"({"Players": {"Store": "relay.sqlite"}, "AsteroidGen2": )") +
           (asteroids ? R"({"Enable": true, "Color": {}, "Name": {}, "PrimaryResources": {}, "SecondaryResources": {},
                         "Notification": {"Msg": "{Name}"}})"
                      : R"({"Enable": false})") +
           (discord.empty() ? "" : R"(, "Discord": )" + discord) + R"(, "Items": {
             "SupplyCrate_Level03_C": {"Group": "loot", "Notification": {"Msg": "crate *3*")" +
           green + R"(,
             "ElementNode_C": {"Notification": {"Msg": "node")" +
           green + R"(,
             "SupplyCreate_OceanInstant_High_C": {"Notification": {"Msg": "ocean")" +
           green + "}}";
}

std::vector<RelayRow> RelayRows() {
    const std::string hook = R"("https://discord.example/api/webhooks/1/key")";
    const auto discord = [&](const std::string& members) {
        return RelayConfig("{\"Webhook\": " + hook + members + "}");
    };
    return {
        {"no Discord", RelayConfig(""), "", nullptr},
        {"Discord null", RelayConfig("null"), "", nullptr},
        {"an https webhook, every group", discord(""), "", nullptr, {}, "TheIsland"},
        {"loopback http with a port",
         RelayConfig(R"({"Webhook": "http://127.0.0.1:8080/hook"})"),
         "",
         nullptr,
         {},
         "TheIsland"},
        {"localhost in capitals", RelayConfig(R"({"Webhook": "http://LocalHost/hook"})"), "", nullptr, {}, "TheIsland"},
        {"http beyond this machine", RelayConfig(R"({"Webhook": "http://discord.example/api/webhooks/1/key"})"),
         "/Discord/Webhook",
         "the address discord.example… is http:// to a host that is not loopback: only https:// leaves this machine: "
         "nothing is relayed, and an error line is logged at every load and reload"},
        {"no scheme", RelayConfig(R"({"Webhook": "discord.example/api/webhooks/1/key"})"), "/Discord/Webhook",
         "the address is not an https:// address: nothing is relayed"},
        {"no host", RelayConfig(R"({"Webhook": "https:///api/webhooks/1/key"})"), "/Discord/Webhook",
         "the address names no host: nothing is relayed"},
        {"a space in it", RelayConfig(R"({"Webhook": "https://discord.example/a b"})"), "/Discord/Webhook",
         "holds a space or a control character: nothing is relayed"},
        {"a webhook one byte too long",
         RelayConfig(R"({"Webhook": "https://)" + std::string(WebhookLimit - 7, 'h') + "\"}"), "/Discord/Webhook",
         "is longer than 2048 bytes: nothing is relayed"},
        {"a webhook of the longest",
         RelayConfig(
             R"({"Webhook": "https://discord.example/api/webhooks/1/)" +
             std::string(WebhookLimit - std::string_view("https://discord.example/api/webhooks/1/").size(), 'h') +
             "\"}"),
         "",
         nullptr,
         {},
         "TheIsland"},
        {"a webhook not text", RelayConfig(R"({"Webhook": 5})"), "/Discord/Webhook",
         "is a number, not a string: nothing is relayed, and an error line is logged"},
        {"Discord not an object", RelayConfig(R"(["https://discord.example/api/webhooks/1/key"])"), "/Discord",
         "is an array, not an object: nothing is relayed, and an error line is logged at every load and reload"},
        {"Discord empty", RelayConfig("{}"), "/Discord", "has no Webhook: nothing is relayed, and an error line"},
        {"Webhook null", RelayConfig(R"({"Webhook": null})"), "/Discord", "has no Webhook: nothing is relayed"},
        {"Webhook misspelt", RelayConfig(R"({"Webhok": "https://discord.example/api/webhooks/1/key"})"), "/Discord",
         "has no Webhook: nothing is relayed"},
        // Groups.
        {"a group in any case", discord(R"(, "Groups": ["LOOT"])"), "", nullptr, {}, "TheIsland"},
        {"another group only", discord(R"(, "Groups": ["nodes"])"), "", nullptr},
        {"an ocean crate's group, announced on Ragnarok alone",
         discord(R"(, "Groups": ["ocean", "loot"])"),
         "",
         nullptr,
         {},
         "TheIsland"},
        {"a group of no entry", discord(R"(, "Groups": ["loot", "nodez"])"), "/Discord/Groups/1",
         "\"nodez\" is no group that an entry of this file announces on any map: nothing of it is relayed (nearest "
         "announced group: \"nodes\")",
         Severity::Warning, "TheIsland"},
        {"asteroids while they are off", discord(R"(, "Groups": ["asteroids"])"), "/Discord/Groups/0",
         "is no group that an entry of this file announces on any map", Severity::Warning},
        {"asteroids while they are on", RelayConfig("{\"Webhook\": " + hook + R"(, "Groups": ["asteroids"]})", true),
         "", nullptr},
        {"no group at all", discord(R"(, "Groups": [])"), "/Discord/Groups",
         "is empty: nothing is relayed (without Groups, every group is)", Severity::Warning},
        {"Groups a text", discord(R"(, "Groups": "loot")"), "/Discord/Groups",
         "is a string, not an array: every group is relayed, and an error line is logged at every load and reload",
         Severity::Error, "TheIsland"},
        {"Groups null", discord(R"(, "Groups": null)"), "/Discord/Groups",
         "is null, not an array: every group is relayed", Severity::Error, "TheIsland"},
        {"a group that is no text", discord(R"(, "Groups": [5, "loot"])"), "/Discord/Groups/0",
         "is a number, not a string: it is left out, and an error line is logged", Severity::Error, "TheIsland"},
        {"a group that is no group's name", discord(R"(, "Groups": ["lo ot", "loot"])"), "/Discord/Groups/0",
         "\"lo ot\" is not a group name (1 to 32 ASCII letters, digits, - and _): it is left out", Severity::Error,
         "TheIsland"},
        // A warning beside the text's error.
        {"only texts that are no group's name", discord(R"(, "Groups": ["lo ot"])"), "/Discord/Groups",
         "names no group: nothing is relayed", Severity::Error},
        // Username.
        {"a name of the map's and more",
         discord(R"(, "Username": "Herald of {MapName}")"),
         "",
         nullptr,
         {},
         "Herald of TheIsland"},
        {"a placeholder a name does not fill", discord(R"(, "Username": "{Name} on {MapName}")"), "/Discord/Username",
         "{Name} is not filled in the name the relay's posts go under: it stays as written ({MapName} is the only one "
         "filled there)",
         Severity::Warning, "{Name} on TheIsland"},
        {"the map twice", discord(R"(, "Username": "{MapName} {MapName}")"), "/Discord/Username",
         "{MapName} is written twice: only the first is filled", Severity::Warning, "TheIsland {MapName}"},
        {"a name not text", discord(R"(, "Username": ["x"])"), "/Discord/Username",
         "is an array, not a string: the posts go under the map's name, {MapName}, and an error line is logged",
         Severity::Error, "TheIsland"},
        {"a name null", discord(R"(, "Username": null)"), "/Discord/Username", "is null, not a string", Severity::Error,
         "TheIsland"},
        // Thread.
        {"a thread",
         discord(R"(, "Thread": "123456789012345678")"),
         "",
         nullptr,
         {},
         "TheIsland",
         "123456789012345678"},
        {"the address's own thread",
         RelayConfig(R"({"Webhook": "https://discord.example/api/webhooks/1/key?thread_id=12345678901234567"})"),
         "",
         nullptr,
         {},
         "TheIsland",
         "12345678901234567"},
        {"a thread of too few digits", discord(R"(, "Thread": "1234567890123456")"), "/Discord/Thread",
         "is not a thread's id (a text of 17 to 20 digits): nothing is relayed, and an error line is logged"},
        {"a thread as a number", discord(R"(, "Thread": 123456789012345678)"), "/Discord/Thread",
         "is a number, not a string: nothing is relayed"},
        {"a thread beside the address's",
         RelayConfig(R"({"Webhook": "https://discord.example/api/webhooks/1/key?thread_id=12345678901234567",
                         "Thread": "123456789012345678"})"),
         "/Discord/Thread",
         "is given beside a webhook address that names its thread (?thread_id=): nothing is relayed"},
        // Mention.
        {"two roles",
         discord(R"(, "Mention": ["123456789012345678", "12345678901234567890"])"),
         "",
         nullptr,
         {},
         "TheIsland",
         "",
         "<@&123456789012345678> <@&12345678901234567890>\n"},
        {"a role of too few digits", discord(R"(, "Mention": ["1234567890123456", "123456789012345678"])"),
         "/Discord/Mention/0",
         "is not a role's id (a text of 17 to 20 digits): it is left out, and an error line is logged", Severity::Error,
         "TheIsland", "", "<@&123456789012345678>\n"},
        {"a role as a number", discord(R"(, "Mention": [123456789012345678])"), "/Discord/Mention/0",
         "is a number, not a string: it is left out", Severity::Error, "TheIsland"},
        {"six roles",
         discord(R"(, "Mention": ["10000000000000001", "10000000000000002", "10000000000000003", "10000000000000004",
                                  "10000000000000005", "10000000000000006"])"),
         "/Discord/Mention/5", "is past the 5 roles a post may name: it and the roles after it are left out",
         Severity::Error, "TheIsland", "",
         "<@&10000000000000001> <@&10000000000000002> <@&10000000000000003> <@&10000000000000004> "
         "<@&10000000000000005>\n"},
        {"Mention a text", discord(R"(, "Mention": "123456789012345678")"), "/Discord/Mention",
         "is a string, not an array: no one is mentioned, and an error line is logged", Severity::Error, "TheIsland"},
        {"no role", discord(R"(, "Mention": [])"), "/Discord/Mention", "is empty: no one is mentioned",
         Severity::Warning, "TheIsland"},
    };
}

// Check says where the relay posts nothing, and why, exactly where the plugin
// posts nothing to the webhook; what it says the log gets, the log gets.
TEST_F(HeraldCheckAgainstPlugin, DiscordRelaysAsCheckSays) {
    for (const RelayRow& row : RelayRows()) {
        const std::vector<Finding> findings = Herald::CheckConfigText(row.config);
        server.WriteConfigText(row.config);
        StandIn::ResetServer();
        StandIn::SetServerDirectory(server.root.string());
        StandIn::ConnectPlayer("Ann");
        ASSERT_TRUE(StandIn::LoadPlugin(HeraldTest::PluginPath).ok) << row.what;
        StandIn::SpawnStructure({u"SupplyCrate_Level03_C_1", StandIn::ObjectClass::ItemContainer});
        std::vector<Json> posts;
        int errorLines = 0;
        for (const StandIn::Record& record : StandIn::Records()) {
            if (record.kind == StandIn::RecordKind::Webhook) {
                EXPECT_EQ(record.host, row.config.find("discord.example") != std::string::npos ? "discord.example"
                                       : row.config.find("LocalHost") != std::string::npos     ? "LocalHost"
                                       : row.config.find("127.0.0.1") != std::string::npos
                                           ? "127.0.0.1"
                                           : std::string(WebhookLimit - 8, 'h'))
                    << row.what;
                EXPECT_EQ(record.thread, row.thread) << row.what;
                posts.push_back(Json::parse(record.text));
            }
            errorLines += record.kind == StandIn::RecordKind::Log ? 1 : 0;
        }
        StandIn::UnloadPlugin();
        const std::string what = std::string(row.what) + "\n" + Describe(findings) + ::testing::PrintToString(posts);

        ExpectCheckSaid(findings, row.path, row.says, row.severity, errorLines, what);
        if (row.username == nullptr) {
            EXPECT_THAT(posts, ::testing::IsEmpty()) << what;
        } else {
            ASSERT_EQ(posts.size(), 1u) << what;
            EXPECT_EQ(posts[0].value("username", ""), row.username) << what;
            EXPECT_EQ(posts[0].value("content", ""), std::string(row.mention) + "crate \\*3\\*") << what;
        }
    }
}

// A webhook's address lets anyone post to the channel: wherever an admin
// pastes it, check's words show its host alone, in the message and the path.
TEST(HeraldCheck, NoFindingHoldsAWholeWebAddress) {
    const std::string token = "T0kenOfTheChannel";
    const std::string address = "https://discord.example/api/webhooks/1/" + token;
    // Each config, and whether a finding names the address (by its host).
    const std::pair<std::string, bool> configs[] = {
        {RelayConfig(R"({"Webhook": "http://discord.example/api/webhooks/1/)" + token + R"("})"), true},
        {RelayConfig(R"({"Webhook": "https://discord.example/api/webhooks/1/)" + token + R"( "})"), true},
        {RelayConfig(R"({"Webhook": "https://discord.example/api/webhooks/1/x", "Groups": [")" + address + R"("]})"),
         true},
        {RelayConfig(R"({"Webhook": "https://discord.example/api/webhooks/1/x", ")" + address + R"(": 1})"), true},
        {RelayConfig(R"({"Webhook": "https://discord.example/api/webhooks/1/x", "Username": 5, "Hook": ")" + address +
                     R"("})"),
         false},
        {RelayConfig(R"({")" + address + R"(": true})"), true},
        // Written where the host ends in another way than a slash.
        {RelayConfig(R"({"Webhook": "https://discord.example\\api\\webhooks\\1\\)" + token + R"("})"), true},
        {RelayConfig(R"({"Webhook": "https://discord.example:)" + token + R"(/api/webhooks/1/x"})"), true},
        {RelayConfig(R"({"Webhook": "https://discord.example;)" + token + R"("})"), true},
        {RelayConfig(R"({"Webhook": "https://discord.example\t)" + token + R"("})"), true},
        // The library's words on a text that can't be parsed quote what it
        // read last: left out when it could hold an address, in any escaping.
        {R"({"Discord": {"Webhook": ")" + address + "\t\"}}", false},
        {R"({"Discord": {"Webhook": ")" + address, false},
        {R"({"Discord": {"Webhook": ")" + address + R"(\q"}})", false},
        {R"({"Discord": {"Webhook": "h\u0074tps://discord.example/api/webhooks/1/)" + token + R"(\q"}})", false},
    };
    for (const auto& [config, named] : configs) {
        const std::vector<Finding> findings = Herald::CheckConfigText(config);
        EXPECT_THAT(findings, Not(::testing::IsEmpty())) << config;
        for (const Finding& finding : findings) {
            EXPECT_THAT(finding.message, ::testing::Not(HasSubstr(token))) << config;
            EXPECT_THAT(finding.path, ::testing::Not(HasSubstr(token))) << config;
        }
        EXPECT_EQ(std::any_of(findings.begin(), findings.end(),
                              [](const Finding& finding) {
                                  return finding.message.find("discord.example…") != std::string::npos;
                              }),
                  named)
            << Describe(findings);
    }
}

}  // namespace
