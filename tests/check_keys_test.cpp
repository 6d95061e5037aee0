// herald check's table of keys: every key of the wrong type, the schema's keys
// against the table's, every key absent, wrong or at its edge against the
// plugin in-process, and each rule alone on documents made from the table.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "CheckSupport.h"
#include "StandIn.h"
#include "Support.h"
#include "check/Check.h"
#include "check/Walk.h"
#include "config/CalmReaders.h"
#include "config/ConfigKeys.h"
#include "config/ConfigReaders.h"
#include "config/PlayersReaders.h"
#include "config/RelayReaders.h"

namespace {

namespace fs = std::filesystem;
using namespace CheckTest;
using Json = nlohmann::json;
using HeraldTest::Source;

// ---- The table of keys, against check itself and against the schema ------------------

TEST(HeraldCheck, EveryKnownKeyOfTheWrongTypeIsReportedWithTheTypeItMustHave) {
    EXPECT_THAT(Herald::CheckConfigText(EveryKey().dump()), ::testing::IsEmpty());
    for (const ConfigKey& key : ConfigKeys()) {
        Json document = EveryKey();
        const Json::json_pointer pointer(Concrete(key.Pointer()));
        const std::string path = pointer.to_string();
        if (key.type == KeyType::NoEffect) {
            document[pointer] = "0,0,0";
            EXPECT_TRUE(Says(Herald::CheckConfigText(document.dump()), path, "has no effect")) << path;
            continue;
        }
        // A value of another type, and the words that must begin the finding.
        const std::map<std::string_view, std::pair<Json, std::string>> wrong{
            {"string", {5, "is a number, not a string"}},
            {"boolean", {"10", "is a string, not a boolean"}},
            {"object", {Json::array(), "is an array, not an object"}},
            {"number", {"10", "is a string, not a number"}},
            {"integer", {"10", "is a string, not a number"}},
            {"array", {"loot", "is a string, not an array"}},
        };
        const auto& [value, expected] = wrong.at(TypeName(key.type));
        document[pointer] = value;
        const std::vector<Finding> findings = Herald::CheckConfigText(document.dump());
        EXPECT_TRUE(Says(findings, path, expected)) << path << " should say \"" << expected << "\"\n"
                                                    << Describe(findings);
    }
}

// The schema's keys: every property and additionalProperties ("*") reached
// from the root through local references, with its type ("ignored" for a
// schema no value meets).
void SchemaKeys(const Json& root, const Json& node, const std::string& pointer,
                std::map<std::string, std::string>& keys) {
    std::vector<const Json*> chain{&node};
    while (chain.back()->contains("$ref")) {
        const std::string reference = chain.back()->at("$ref");
        ASSERT_TRUE(reference.starts_with("#/")) << reference;
        chain.push_back(&root.at(Json::json_pointer(reference.substr(1))));
    }
    const auto first = [&](const char* keyword) -> const Json* {
        for (const Json* link : chain) {
            if (link->contains(keyword)) {
                return &link->at(keyword);
            }
        }
        return nullptr;
    };
    if (!pointer.empty()) {
        const Json* type = first("type");
        keys[pointer] = type != nullptr ? type->get<std::string>() : first("not") != nullptr ? "ignored" : "any";
    }
    std::map<std::string, const Json*> properties;
    for (const Json* link : chain) {
        if (link->contains("properties")) {
            for (const auto& [name, schema] : link->at("properties").items()) {
                properties.emplace(name, &schema);  // the nearer schema's wins
            }
        }
    }
    for (const auto& [name, schema] : properties) {
        SchemaKeys(root, *schema, pointer + "/" + name, keys);
    }
    if (const Json* more = first("additionalProperties"); more != nullptr && more->is_object()) {
        SchemaKeys(root, *more, pointer + "/*", keys);
    }
}

TEST(HeraldCheck, SchemaHoldsEveryKeyAndTypeCheckKnowsAndNoOther) {
    std::ifstream stream(Source / "examples" / "config.schema.json");
    const Json schema = Json::parse(stream);
    std::map<std::string, std::string> inSchema;
    SchemaKeys(schema, schema, "", inSchema);
    std::map<std::string, std::string> inCheck;
    for (const ConfigKey& key : ConfigKeys()) {
        inCheck.emplace(key.Pointer(), TypeName(key.type));
    }
    EXPECT_EQ(inSchema, inCheck);
}

// ---- Every key of the table: check against the plugin in-process ---------------------

// EveryKey(), with a creature's key for the nests that EnableNests lets in.
Json AgreementBase() {
    Json document = EveryKey();
    document["Items"]["Dodo_Character_BP_C"] = {{"Notification", {{"Msg", "{EggLvl}"}, {"Color", "0,255,0"}}}};
    return document;
}

// The spawn that reads a key: a nest for EnableNests, an asteroid crate for
// AsteroidGen2, the crate of EveryKey() for the rest.
struct Reader {
    StandIn::StructureSpawn spawn;
    // Whether the document announces it at all: an entry for it, or asteroid
    // announcements switched on.
    std::function<bool(const Json&)> announced;
};

Reader ReaderOf(std::string_view pointer) {
    const auto holds = [](const char* at) {
        return [at](const Json& document) {
            const Json::json_pointer entry(at);
            return document.contains(entry) && document[entry] != Json(false);
        };
    };
    if (pointer.starts_with("/AsteroidGen2")) {
        return {{u"SupplyCrate_Space_01_Metal_C_4", StandIn::ObjectClass::ItemContainer}, [](const Json& document) {
                    const Json::json_pointer enable("/AsteroidGen2/Enable");
                    return document.contains(enable) && document[enable] == Json(true);
                }};
    }
    if (pointer.starts_with("/EnableNests")) {
        StandIn::StructureSpawn nest{u"DodoNest_C_1", StandIn::ObjectClass::Structure};
        nest.instigator = StandIn::Instigator{u"Dodo_Character_BP_C_7"};
        return {nest, holds("/Items/Dodo_Character_BP_C")};
    }
    return {{u"SupplyCrate_Level03_C_1", StandIn::ObjectClass::ItemContainer}, holds("/Items/SupplyCrate_Level03_C")};
}

// A value of another type than the table's, and values at the edge of what
// the key's type and form take.
std::vector<Json> TestedValues(const ConfigKey& key, const Json& current) {
    const std::map<KeyType, Json> wrong{{KeyType::Boolean, "10"},    {KeyType::Object, Json::array()},
                                        {KeyType::String, 5},        {KeyType::Number, "10"},
                                        {KeyType::Integer, "10"},    {KeyType::Count, "60"},
                                        {KeyType::TextList, "loot"}, {KeyType::NoEffect, 5}};
    std::vector<Json> values{wrong.at(key.type)};
    switch (key.type) {
        case KeyType::Integer:
            values.insert(values.end(), {2147483648LL, 7.9, true, -1e300});
            break;
        case KeyType::Number:
            values.insert(values.end(), {1e39, true});
            break;
        case KeyType::Count:
            values.insert(values.end(), {-1, 0, 2147483647, 2147483648LL, 1.5, 60.0, true, nullptr});
            break;
        case KeyType::Boolean:
            values.push_back(!current.get<bool>());
            break;
        case KeyType::Object:
            values.push_back(Json::object());
            break;
        case KeyType::NoEffect:
            values.push_back("1,2,3");
            break;
        case KeyType::TextList:
            // Of group names: none, one in another case, one of no entry, texts that are none, null.
            values.insert(values.end(), {Json::array(), Json::array({"LOOT"}), Json::array({"loot", "nowhere"}),
                                         Json::array({5, "two words", std::string(GroupNameLimit + 1, 'g')}),
                                         Json::array({"https://discord.example/api/webhooks/1/key"}), nullptr});
            break;
        case KeyType::String:
            values.push_back("");
            if (key.form == KeyForm::Color) {
                values.insert(values.end(), {"300,0,-1", "Random", std::string("\0x", 2), "12abc,0,0"});
            } else if (key.form == KeyForm::PlayerText) {
                values.push_back(std::string("a\0b", 3));
            } else if (key.form == KeyForm::DeliveryType) {
                values.insert(values.end(), {"notification", "Chat"});
            } else if (key.form == KeyForm::GroupName) {
                values.insert(values.end(),
                              {"a", std::string(GroupNameLimit, 'g'), std::string(GroupNameLimit + 1, 'g'), "two words",
                               "caf\u00e9", "Loot-2_b"});
            } else if (key.form == KeyForm::ChatCommand) {
                values.insert(values.end(), {"/", "/a", "/" + std::string(ChatCommandNameLimit, 'c'),
                                             "/" + std::string(ChatCommandNameLimit + 1, 'c'), "herald", "/her ald",
                                             "/h\u00e9rald", "/her_ald"});
            } else if (key.form == KeyForm::FilePath) {
                values.insert(values.end(), {std::string("a\0b", 3), "choices.sqlite"});
            } else if (key.form == KeyForm::WebhookUrl) {
                values.insert(values.end(),
                              {"http://127.0.0.1:9/hook", "HTTP://LOCALHOST/hook", "http://[::1]/hook",
                               "http://discord.example/hook", "http://127.0.0.256/hook", "https://",
                               "https://user@/hook", "ftp://discord.example/hook", "https://discord.example/a b",
                               "https://" + std::string(WebhookLimit, 'h'), nullptr});
            }
            break;
    }
    return values;
}

// For every key: absent, of another type, and at the edges of its values.
// Check says an error line is logged exactly when the plugin logs one at the
// key's reader; where check says nothing of an error or of nothing sent, an
// announced reader is delivered; and what check promises, the plugin does.
TEST_F(HeraldCheckAgainstPlugin, EveryKeyAbsentWrongOrAtItsEdgeAgrees) {
    const Json base = AgreementBase();
    ASSERT_THAT(Herald::CheckConfigText(base.dump()), ::testing::IsEmpty());
    for (const ConfigKey& key : ConfigKeys()) {
        const Json::json_pointer pointer(Concrete(key.Pointer()));
        std::vector<Json> documents{base};
        documents[0][pointer.parent_pointer()].erase(pointer.back());
        // A key EveryKey() leaves out (the asteroid notification's Color) has
        // no current value: a const operator[] on it is undefined behaviour.
        const Json current = base.contains(pointer) ? base.at(pointer) : Json();
        for (const Json& value : TestedValues(key, current)) {
            documents.push_back(base);
            documents.back()[pointer] = value;
        }
        const Reader reader = ReaderOf(key.Pointer());
        for (const Json& document : documents) {
            const std::string text = document.dump();
            const std::vector<Finding> findings = Herald::CheckConfigText(text);
            const PluginDid did = Play(text, reader.spawn);
            const std::string what =
                std::string(key.Pointer()) + " in " + text + "\n" + Describe(findings) + did.transcript;
            const CheckSays says = WhatCheckSays(findings);
            ExpectPluginDoesAsCheckSays(findings, did, what);
            EXPECT_EQ(says.logged, did.errorLines > 0) << what;
            // Not the other way round: a missing AsteroidGen2 is only a warning,
            // as the file is sound on every map but Gen2. A Group that is no
            // group's name is an error the log never mentions.
            if (Herald::CheckExitStatus(findings) == 2 && !says.ignored) {
                EXPECT_GT(did.errorLines, 0) << what;
            }
            // Ann alone is online: a larger MinPlayers holds every spawn, as it should.
            if (!reader.announced(document) || CalmSettingsOf(document).minPlayers > 1) {
                EXPECT_THAT(did.deliveries, ::testing::IsEmpty()) << what;
            } else if (!says.logged && !says.nothingSent) {
                EXPECT_EQ(did.deliveries.size(), 1u) << what;
            }
        }
    }
}

// ---- Rules stand alone ------------------------------------------------------------------

// Every document of the key-table test and of tests/check-configs.
std::vector<Json> RuleCorpus() {
    // A chat line reads what an on-screen notification doesn't.
    std::vector<Json> documents{AgreementBase(),
                                Json::parse(CrateConfig(R"({"Msg": "x", "Type": "Chat", "Sender": "S\u0000x"})"))};
    for (const ConfigKey& key : ConfigKeys()) {
        const Json::json_pointer pointer(Concrete(key.Pointer()));
        for (const Json& value : TestedValues(key, AgreementBase()[pointer])) {
            documents.push_back(AgreementBase());
            documents.back()[pointer] = value;
        }
    }
    for (const auto& file : fs::directory_iterator(Source / "tests" / "check-configs")) {
        std::ifstream stream(file.path(), std::ios::binary);
        const Json document = Json::parse(stream, nullptr, false);
        if (!document.is_discarded()) {
            documents.push_back(document);
        }
    }
    return documents;
}

std::vector<std::string> Sorted(std::vector<Finding> findings) {
    std::vector<std::string> lines;
    for (const Finding& finding : findings) {
        lines.push_back(Describe({finding}));
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

// Each rule run alone says at each document what it says among all of them,
// so no rule leans on another having run; and each says something somewhere.
TEST(HeraldCheck, EveryRuleSaysAloneWhatItSaysAmongAll) {
    const std::vector<Json> corpus = RuleCorpus();
    std::map<std::string_view, std::size_t> spoke;
    for (const Json& document : corpus) {
        Herald::Report all;
        Herald::WalkDocument(document, all);
        std::vector<Finding> alone;
        for (const Herald::Rule& rule : Herald::Rules()) {
            Herald::Report one;
            Herald::WalkDocument(document, std::span(&rule, 1), one);
            spoke[rule.name] += one.Count();
            for (Finding& finding : one.Take()) {
                alone.push_back(std::move(finding));
            }
        }
        EXPECT_EQ(Sorted(all.Take()), Sorted(std::move(alone))) << document.dump();
    }
    for (const Herald::Rule& rule : Herald::Rules()) {
        EXPECT_GT(spoke[rule.name], 0u) << rule.name << " says nothing about any document of the corpus";
    }
}

}  // namespace
