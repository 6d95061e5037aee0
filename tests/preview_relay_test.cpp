// herald preview on the Discord relay: what each entry posts to the webhook,
// and no output of check's or preview's holding the whole webhook.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "PreviewSupport.h"
#include "Support.h"

namespace {

using HeraldTest::Outcome;
using HeraldTest::ReadFile;
using HeraldTest::ScratchFolder;
using ::testing::HasSubstr;
using ::testing::Not;
using Json = nlohmann::json;
using namespace PreviewTest;

struct RelayCase {
    const char* name;
    std::string config;
    std::string map;                // --map; "" for the default
    std::vector<std::string> text;  // the lines from "Discord" on, up to the blank line
    Json discord;                   // the "discord" line; null: none
    // Each entry (or asteroid code) with whether it is relayed and its posts' and its digest's (name, content).
    std::vector<std::tuple<std::string, bool, std::vector<std::pair<Json, std::string>>,
                           std::vector<std::pair<Json, std::string>>>>
        relays;
};

// What each entry posts to the webhook, as the plugin posts it: the text
// players read with Markdown's characters escaped, under the name filled for
// the entry's map; where the webhook is, by its host alone; and which entries
// are not relayed, and why.
TEST(HeraldPreview, EachEntryShowsWhatItPostsToDiscord) {
    const std::string green = R"(, "Color": "0,255,0"})";
    // The node may cool down, for a digest.
    const auto entries = [&](const std::string& node) {
        return R"j("Items": {
        "SupplyCrate_Level03_C": {"Name": "Crate_3", "Notification": {"Msg": "{Name} *at* {Lat} / {Lon}", "Color": "0,255,0"}},
        "ElementNode_C": {"Group": "Loot", )j" +
               node + R"j("Notification": {"Msg": "node # > @everyone", "Type": "Chat"}},
        "BeaverDam_C": {"Notification": {"Msg": ""}},
        "SupplyCreate_OceanInstant_High_C": {"Notification": {"Msg": "ocean [x](y)", "Color": "0,255,0"}}})j";
    };
    const std::string asteroids = R"("AsteroidGen2": {"Enable": true, "Color": {"Metal": "Random"}, "Name": {},
        "PrimaryResources": {}, "SecondaryResources": {}, "Notification": {"Msg": "{Name} ~~rock~~"}})";
    const auto config = [&](const std::string& discord, const std::string& more = "", const std::string& node = "") {
        return "{" + asteroids + ", " + entries(node) + R"(, "Discord": )" + discord + more + "}";
    };
    const std::pair<Json, std::string> crate{"TheIsland", R"(Crate\_3 \*at\* 50.0 / 50.0)"};
    const std::pair<Json, std::string> node{"TheIsland", R"(node \# \> @everyone)"};
    const std::pair<Json, std::string> ocean{"Ragnarok", R"(ocean \[x\]\(y\))"};
    const std::pair<Json, std::string> metal{"Gen2", R"(Metal \~\~rock\~\~)"};
    const RelayCase cases[] = {
        {"every group, each under its own map's name",
         config(R"({"Webhook": "https://discord.example/api/webhooks/1/key"})"),
         "",
         {"Discord (posts to discord.example…, every group), each post as it would be sent:",
          R"(    SupplyCrate_Level03_C: as "TheIsland": Crate\_3 \*at\* 50.0 / 50.0)",
          R"(    ElementNode_C: as "TheIsland": node \# \> @everyone)", "    BeaverDam_C: nothing is posted",
          R"(    SupplyCreate_OceanInstant_High_C: as "Ragnarok": ocean \[x\]\(y\))",
          R"(    AsteroidGen2 Metal: as "Gen2": Metal \~\~rock\~\~)"},
         Json::parse(
             R"({"type": "discord", "relays": true, "webhook": "discord.example…", "groups": null, "problems": []})"),
         {{"/Items/SupplyCrate_Level03_C", true, {crate}, {}},
          {"/Items/ElementNode_C", true, {node}, {}},
          {"/Items/BeaverDam_C", true, {}, {}},
          {"/Items/SupplyCreate_OceanInstant_High_C", true, {ocean}, {}},
          {"Metal", true, {metal}, {}}}},
        {"some groups, in any case, a name of the admin's, and a digest's post",
         config(
             R"({"Webhook": "http://127.0.0.1:8080/hook", "Groups": ["loot", "ASTEROIDS"], "Username": "Herald {MapName}"})",
             R"(, "Calm": {"Digest": "{Count} more `{Name}`"})", R"("Cooldown": 60, )"),
         "Ragnarok",
         {"Discord (posts to 127.0.0.1:8080…, groups loot, asteroids), each post as it would be sent:",
          "    SupplyCrate_Level03_C: not relayed: its group crates is not in Discord → Groups",
          R"(    ElementNode_C: as "Herald Ragnarok": node \# \> @everyone; its digest as "Herald Ragnarok": 3 more \`ElementNode\_C\`)",
          "    BeaverDam_C: not relayed: its group dams is not in Discord → Groups",
          "    SupplyCreate_OceanInstant_High_C: not relayed: its group ocean is not in Discord → Groups",
          R"(    AsteroidGen2 Metal: as "Herald Gen2": Metal \~\~rock\~\~)"},
         Json::parse(
             R"({"type": "discord", "relays": true, "webhook": "127.0.0.1:8080…", "groups": ["loot", "asteroids"],
                         "problems": []})"),
         {{"/Items/SupplyCrate_Level03_C", false, {}, {}},
          {"/Items/ElementNode_C",
           true,
           {{"Herald Ragnarok", node.second}},
           {{"Herald Ragnarok", R"(3 more \`ElementNode\_C\`)"}}},
          {"/Items/BeaverDam_C", false, {}, {}},
          {"/Items/SupplyCreate_OceanInstant_High_C", false, {}, {}},
          {"Metal", true, {{"Herald Gen2", metal.second}}, {}}}},
        {"an empty name: the webhook's own",
         config(R"({"Webhook": "https://discord.example/api/webhooks/1/x", "Groups": ["crates"], "Username": ""})"),
         "",
         {"Discord (posts to discord.example…, groups crates), each post as it would be sent:",
          R"(    SupplyCrate_Level03_C: under the webhook's own name: Crate\_3 \*at\* 50.0 / 50.0)",
          "    ElementNode_C: not relayed: its group Loot is not in Discord → Groups",
          "    BeaverDam_C: not relayed: its group dams is not in Discord → Groups",
          "    SupplyCreate_OceanInstant_High_C: not relayed: its group ocean is not in Discord → Groups",
          "    AsteroidGen2 Metal: not relayed: its group asteroids is not in Discord → Groups"},
         Json::parse(
             R"({"type": "discord", "relays": true, "webhook": "discord.example…", "groups": ["crates"], "problems": []})"),
         {{"/Items/SupplyCrate_Level03_C", true, {{nullptr, crate.second}}, {}},
          {"/Items/ElementNode_C", false, {}, {}},
          {"/Items/BeaverDam_C", false, {}, {}},
          {"/Items/SupplyCreate_OceanInstant_High_C", false, {}, {}},
          {"Metal", false, {}, {}}}},
        {"a webhook the relay refuses: nothing is relayed, and the log says why",
         config(R"({"Webhook": "http://discord.example/api/webhooks/1/key", "Username": 5})"),
         "",
         {"Discord relays nothing, as the plugin logs at every load and reload:",
          "    Discord → Webhook discord.example… is http:// to a host that is not loopback: only https:// leaves this "
          "machine: nothing is relayed",
          "    Discord → Username is not a text: the map's name is used"},
         Json::parse(R"({"type": "discord", "relays": false, "webhook": null, "groups": null, "problems": [
             "Discord → Webhook discord.example… is http:// to a host that is not loopback: only https:// leaves this machine: nothing is relayed",
             "Discord → Username is not a text: the map's name is used"]})"),
         {}},
        {"no Discord", "{" + asteroids + ", " + entries("") + "}", "", {}, nullptr, {}},
    };
    for (const RelayCase& test : cases) {
        const ScratchFolder scratch;
        const std::string file = scratch.Write("config.json", test.config);
        std::vector<std::string> arguments;
        if (!test.map.empty()) {
            arguments = {"--map", test.map};
        }
        const std::string text = Preview(file, arguments).out;
        EXPECT_EQ(SectionLines(text, "Discord "), test.text) << test.name << "\n" << text;

        arguments.push_back("--json");
        const std::string json = Preview(file, arguments).out;
        Json discord;
        std::vector<std::tuple<std::string, bool, std::vector<std::pair<Json, std::string>>,
                               std::vector<std::pair<Json, std::string>>>>
            relays;
        const auto posts = [](const Json& list) {
            std::vector<std::pair<Json, std::string>> read;
            for (const Json& post : list) {
                read.emplace_back(post["username"], post["content"]);
            }
            return read;
        };
        for (const Json& line : JsonLines(json)) {
            if (line.value("type", "") == "discord") {
                EXPECT_TRUE(discord.is_null()) << "one discord line: " << json;
                discord = line;
            } else if (line.value("type", "") == "relay") {
                relays.emplace_back(line.value("code", line["entry"].get<std::string>()), line["relayed"],
                                    posts(line["posts"]), posts(line["digest_posts"]));
            }
        }
        EXPECT_EQ(discord, test.discord) << test.name;
        EXPECT_EQ(relays, test.relays) << test.name;
        // The posts in the transcript are the ones shown for the entries, and none is left unanswered at unload.
        std::size_t posted = 0;
        for (const Json& line : TranscriptLines(json)) {
            posted += line["type"] == "webhook" ? 1 : 0;
            EXPECT_THAT(line.value("text", ""), Not(HasSubstr("not relayed"))) << test.name;
        }
        std::size_t shown = 0;
        for (const auto& relay : test.relays) {
            shown += std::get<2>(relay).size();
        }
        EXPECT_EQ(posted, shown) << test.name << "\n" << json;
    }
}

// A webhook's address lets anyone who has it post to the channel: check and
// preview show its host alone, in every form they print, whatever the file
// does with it.
TEST(HeraldPreview, NoOutputHoldsTheWholeWebhook) {
    const std::string token = "Z9kTokenOfTheChannel";
    const std::string address = "https://discord.example/api/webhooks/1/" + token;
    const std::string items = R"("AsteroidGen2": {"Enable": false}, "Items": {
        "SupplyCrate_Level03_C": {"Notification": {"Msg": "crate", "Color": "0,255,0"}}})";
    const std::pair<const char*, std::string> configs[] = {
        {"relayed", "{" + items + R"(, "Discord": {"Webhook": ")" + address + R"("}})"},
        {"refused", "{" + items + R"(, "Discord": {"Webhook": "http://discord.example/)" + token + R"("}})"},
        {"with a space", "{" + items + R"(, "Discord": {"Webhook": ")" + address + R"( "}})"},
        {"among the groups",
         "{" + items + R"(, "Discord": {"Webhook": ")" + address + R"(", "Groups": [")" + address + R"("]}})"},
        {"as a key", "{" + items + R"(, "Discord": {")" + address + R"(": true}})"},
        {"that can't be parsed", "{" + items + R"(, "Discord": {"Webhook": ")" + address + "\t\"}}"},
    };
    for (const auto& [name, config] : configs) {
        const ScratchFolder scratch;
        const std::string file = scratch.Write("config.json", config);
        const std::string page = (scratch.root / "page.html").string();
        const Outcome outputs[] = {RunHerald({"check", file}), RunHerald({"check", file, "--json"}), Preview(file),
                                   Preview(file, {"--json"}), Preview(file, {"--html", page})};
        std::string all = ReadFile(page);
        for (const Outcome& outcome : outputs) {
            EXPECT_THAT(outcome.out, Not(HasSubstr(token))) << name << "\n" << outcome.out;
            EXPECT_THAT(outcome.err, Not(HasSubstr(token))) << name;
            all += outcome.out;
        }
        EXPECT_THAT(ReadFile(page), Not(HasSubstr(token))) << name;
        // Where the address is told of, it is by its host; a file that can't
        // be parsed is told of by the line and column of the fault.
        EXPECT_THAT(all, HasSubstr(std::string_view(name) == "that can't be parsed" ? "parse error at line"
                                                                                    : "discord.example…"))
            << name;
    }
}

}  // namespace
