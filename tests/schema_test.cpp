// The plugin's key table against what stands on it: the JSON Schema and the key
// reference an admin reads, and the defaults the plugin delivers.

#include "schema/Schema.h"

#include <fstream>
#include <sstream>

#include "Support.h"
#include "config/ConfigKeys.h"
#include "config/Placeholders.h"

using Json = nlohmann::json;

namespace {

using HeraldTest::Source;

std::string Between(const std::string& text, const std::string& start, const std::string& end) {
    const std::size_t from = text.find(start);
    const std::size_t to = text.find(end, from);
    if (from == std::string::npos || to == std::string::npos) {
        return "(markers " + start + " ... " + end + " not found)";
    }
    return text.substr(from + start.size(), to - from - start.size());
}

TEST(KeyTable, SchemaAndKeyReferenceAreTheTablesOwn) {
    EXPECT_EQ(HeraldTest::ReadFile(Source / "examples" / "config.schema.json"), Herald::ConfigSchemaText())
        << "run: herald schema > examples/config.schema.json";
    EXPECT_EQ(Between(HeraldTest::ReadFile(Source / "docs" / "config.md"), "<!-- keys: herald schema --keys -->\n",
                      "<!-- end of keys -->"),
              Herald::KeyReferenceMarkdown())
        << "paste herald schema --keys between the markers of docs/config.md";
}

// A key's schema, reached from the root by its pointer pattern ("*": every other member).
Json KeySchema(const Json& schema, std::string_view pointer) {
    Json node = schema;
    std::size_t at = 1;
    while (at <= pointer.size() && !pointer.empty()) {
        const std::size_t end = std::min(pointer.find('/', at), pointer.size());
        const std::string step(pointer.substr(at, end - at));
        node = step == "*" ? node.at("additionalProperties") : node.at("properties").at(step);
        at = end + 1;
    }
    return node;
}

// A list of texts is an array in the schema, each text of the key's form as a
// text key of that form has it, and at least one: a list of none chooses nothing.
TEST(KeyTable, AListsFormIsEachOfItsTexts) {
    const Json schema = Json::parse(Herald::ConfigSchemaText());
    std::size_t lists = 0;
    for (const ConfigKey& list : ConfigKeys()) {
        if (list.type != KeyType::TextList) {
            continue;
        }
        ++lists;
        const Json node = KeySchema(schema, list.Pointer());
        EXPECT_EQ(node.value("type", ""), "array") << list.Pointer();
        EXPECT_EQ(node.value("minItems", 0), 1) << list.Pointer();
        EXPECT_FALSE(node.contains("pattern")) << list.Pointer() << ": the form is on the items";
        Json items = node.value("items", Json::object());
        for (const ConfigKey& text : ConfigKeys()) {
            if (text.type == KeyType::String && text.form == list.form) {
                Json expected = KeySchema(schema, text.Pointer());
                for (const char* own : {"default", "description", "examples"}) {
                    expected.erase(own);
                }
                EXPECT_EQ(items, expected) << list.Pointer() << " against " << text.Pointer();
            }
        }
        EXPECT_EQ(items.value("type", ""), "string") << list.Pointer();
    }
    EXPECT_GT(lists, 0u);
}

// A notification that leaves a key out gets what the table gives as its
// default, as the players receive it.
class KeyTableDefaults : public HeraldTest::ServerTest {};

TEST_F(KeyTableDefaults, AreWhatThePluginDeliversWhenTheKeyIsAbsent) {
    const auto tableDefault = [](std::string_view pointer) {
        const ConfigKey* key = FindConfigKey(pointer);
        EXPECT_NE(key, nullptr) << pointer;
        const std::string text = key->defaultValue.Text();
        return key->type == KeyType::String ? Json(text) : Json::parse(text);
    };
    server.WriteConfig(Json::parse(R"({"Items": {
        "SupplyCrate_Bare_C": {"Notification": {"Msg": "shown"}},
        "SupplyCrate_Chat_C": {"Notification": {"Msg": "said", "Type": "Chat"}}}})"));
    StandIn::ConnectPlayer("Alice");
    LoadPlugin();
    StandIn::SpawnStructure({u"SupplyCrate_Bare_C_1", StandIn::ObjectClass::ItemContainer});
    StandIn::SpawnStructure({u"SupplyCrate_Chat_C_1", StandIn::ObjectClass::ItemContainer});
    const std::vector<StandIn::Record>& records = StandIn::Records();
    ASSERT_EQ(records.size(), 2u) << testing::PrintToString(Transcript());
    const StandIn::Record& shown = records[0];
    EXPECT_EQ(shown.kind, StandIn::RecordKind::Notification);  // Type absent: on screen
    EXPECT_EQ(tableDefault("/Items/*/Notification/Type"), std::string(NotificationType));
    EXPECT_EQ(shown.time, tableDefault("/Items/*/Notification/Time").get<float>());
    EXPECT_EQ(shown.size, tableDefault("/Items/*/Notification/Size").get<float>());
    EXPECT_EQ(tableDefault("/Items/*/Notification/Color"), "");  // no colour, which shows green
    EXPECT_EQ(StandIn::Describe(shown),
              StandIn::Describe(StandIn::Record{
                  StandIn::RecordKind::Notification, "Alice", "shown", {0, 1, 0, 1}, shown.size, shown.time}));
    EXPECT_EQ(records[1].sender, tableDefault("/Items/*/Notification/Sender").get<std::string>());
}

// Posts go under the table's Username, filled for the map, when the key is absent.
TEST_F(KeyTableDefaults, AreWhatTheRelayPostsUnderWhenTheKeyIsAbsent) {
    const ConfigKey* username = FindConfigKey("/Discord/Username");
    ASSERT_NE(username, nullptr);
    std::string expected = username->defaultValue.Text();
    const std::size_t map = expected.find(MapNamePlaceholder);
    ASSERT_NE(map, std::string::npos) << expected;
    expected.replace(map, MapNamePlaceholder.size(), "TheIsland");
    server.WriteConfig(
        Json::parse(R"({"AsteroidGen2": {"Enable": false}, "Discord": {"Webhook": "http://127.0.0.1:9/hook"},
        "Items": {"SupplyCrate_Bare_C": {"Notification": {"Msg": "shown"}}}})"));
    StandIn::ConnectPlayer("Alice");
    LoadPlugin();
    StandIn::SpawnStructure({u"SupplyCrate_Bare_C_1", StandIn::ObjectClass::ItemContainer});
    std::vector<Json> posts;
    for (const StandIn::Record& record : StandIn::Records()) {
        if (record.kind == StandIn::RecordKind::Webhook) {
            posts.push_back(Json::parse(record.text));
        }
    }
    ASSERT_EQ(posts.size(), 1u) << testing::PrintToString(Transcript());
    EXPECT_EQ(posts[0].value("username", ""), expected);
}

}  // namespace
