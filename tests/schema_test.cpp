// The plugin's key table against what stands on it: the JSON Schema and the key
// reference an admin reads, and the defaults the plugin delivers.

#include <fstream>
#include <sstream>

#include "Support.h"
#include "config/ConfigKeys.h"
#include "schema/Schema.h"

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
    EXPECT_EQ(StandIn::Describe(shown), StandIn::Describe(StandIn::Record{
                                            StandIn::RecordKind::Notification, "Alice", "shown", {0, 1, 0, 1},
                                            shown.size, shown.time}));
    EXPECT_EQ(records[1].sender, tableDefault("/Items/*/Notification/Sender").get<std::string>());
}

}  // namespace
