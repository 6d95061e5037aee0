// What every connected player receives when the game spawns a hunted object,
// through the loaded plugin library.

#include <cstdlib>
#include <functional>
#include <limits>

#include "Support.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using Json = nlohmann::json;
using StandIn::ObjectClass;

namespace {

// One entry per kind; each message names what it announces.
const Json KindsConfig = Json::parse(R"({
  "EnableNests": true,
  "Items": {
    "SupplyCrate_Level03_C": {"Name": "Level 3 crate",
      "Notification": {"Msg": "{Name} at {Lat}, {Lon} on {MapName}", "Color": "0,255,0", "Time": 8, "Size": 1.5}},
    "ElementNode_Big_C": {"Notification": {"Msg": "{Name} at {Lat}, {Lon}", "Color": "255,0,0"}},
    "ArtifactCrate_Skull_C": {"Name": "Skull", "Notification": {"Msg": "{Name} {EggLvl}", "Type": "Chat", "Sender": "Herald"}},
    "Dodo_Character_BP_C": {"Name": "Dodo nest", "Notification": {"Msg": "{Name} level {EggLvl}", "Color": "0,0,255"}},
    "Dodo_Nest_C": {"Name": "Unclaimed nest", "Notification": {"Msg": "{Name} level {EggLvl}", "Color": "0,0,255"}},
    "BeaverDam_C": {"Name": "Beaver dam", "Notification": {"Msg": "{Name} {Lat} {Lon}", "Type": "Chat"}},
    "SupplyCreate_OceanInstant_High_C": {"Name": "Ocean crate", "Notification": {"Msg": "{Name} {Lat} {Lon} {MapName} {EggLvl}", "Color": "0,255,0"}},
    "SupplyCrate_Space_T1_Metal_C": {"Name": "Space crate", "Notification": {"Msg": "{Name} {Lat}", "Type": "Chat"}},
    "StorageBox_Small_C": {"Notification": {"Msg": "never: no hunted fragment"}},
    "SupplyCrate_Bare_C": {"Name": "No notification"},
    "SupplyCrate_Silent_C": {"Notification": {"Msg": ""}}
  },
  "AsteroidGen2": {
    "Enable": true,
    "Color": {"Metal": "255,0,0"},
    "Name": {"Metal": "Metal asteroid"},
    "PrimaryResources": {"Metal": "Metal"},
    "SecondaryResources": {"Metal": "Crystal"},
    "Notification": {"Msg": "{Name}: {PrimaryResources}/{SecondaryResources} on {MapName} {Lat}", "Color": "1,2,3", "Time": 5}
  }
})");

class AnnounceTest : public HeraldTest::ServerTest {
protected:
    void Start(const Json& config, const std::string& map = "TheIsland") {
        server.WriteConfig(config);
        StandIn::SetMapName(map);
        StandIn::ConnectPlayer("Alice");
        StandIn::ConnectPlayer("Bob");
        LoadPlugin();
    }
    static void Spawn(const std::u16string& name, ObjectClass objectClass, FVector location = {0, 0, 0}) {
        StandIn::SpawnStructure({name, objectClass, location});
    }
    std::vector<std::string> TakeTranscript() {
        std::vector<std::string> lines = Transcript();
        StandIn::ClearRecords();
        return lines;
    }
    // One crate per value of the notification's member, each spawned once:
    // what its first recipient was shown.
    std::vector<StandIn::Record> FirstRecordForEachValue(const std::string& member, const std::vector<Json>& values) {
        Json config = {{"Items", Json::object()}};
        for (std::size_t i = 0; i < values.size(); ++i) {
            config["Items"]["SupplyCrate_" + std::to_string(i) + "_C"] = {
                {"Notification", {{"Msg", "x"}, {member, values[i]}}}};
        }
        Start(config);
        std::vector<StandIn::Record> shown;
        for (std::size_t i = 0; i < values.size(); ++i) {
            Spawn(StandIn::Utf16("SupplyCrate_" + std::to_string(i) + "_C_1"), ObjectClass::ItemContainer);
            EXPECT_EQ(StandIn::Records().size(), 2u) << values[i].dump();
            shown.push_back(StandIn::Records().empty() ? StandIn::Record{} : StandIn::Records()[0]);
            StandIn::ClearRecords();
        }
        return shown;
    }
};

TEST_F(AnnounceTest, EveryKindReachesEveryPlayerWithItsTextColourSizeAndTime) {
    Start(KindsConfig);
    Spawn(u"SupplyCrate_Level03_C_5", ObjectClass::ItemContainer, {80000, -12345.6f, 10});
    EXPECT_THAT(
        TakeTranscript(),
        ElementsAre("notification Alice \"Level 3 crate at 48.4, 60.0 on TheIsland\" color=0,1,0,1 size=1.5 time=8",
                    "notification Bob \"Level 3 crate at 48.4, 60.0 on TheIsland\" color=0,1,0,1 size=1.5 time=8"));

    // No Name: the item key stands in; default size and time.
    Spawn(u"ElementNode_Big_C_2", ObjectClass::Structure, {400000, 399999, 0});
    EXPECT_THAT(TakeTranscript(),
                ElementsAre("notification Alice \"ElementNode_Big_C at 99.9, 100.0\" color=1,0,0,1 size=1.2 time=10",
                            "notification Bob \"ElementNode_Big_C at 99.9, 100.0\" color=1,0,0,1 size=1.2 time=10"));

    // Not a nest: "{EggLvl}" stays as written.
    Spawn(u"ArtifactCrate_Skull_C_1", ObjectClass::Structure);
    EXPECT_THAT(TakeTranscript(),
                ElementsAre("chat Alice Herald: \"Skull {EggLvl}\"", "chat Bob Herald: \"Skull {EggLvl}\""));

    Spawn(u"BeaverDam_C_12", ObjectClass::ItemContainer, {-400800, -400000, 0});
    EXPECT_THAT(TakeTranscript(),
                ElementsAre("chat Alice Server: \"Beaver dam 0.0 -0.1\"", "chat Bob Server: \"Beaver dam 0.0 -0.1\""));
}

TEST_F(AnnounceTest, NestsAreKeyedAndLevelledByTheDinosaurThatLaidThem) {
    Start(KindsConfig);
    struct Case {
        const char* what;
        std::optional<StandIn::Instigator> instigator;
        std::string expected;  // Alice's line
    };
    const std::vector<Case> cases = {
        {"a dinosaur at level 27", StandIn::Instigator{u"Dodo_Character_BP_C_3", ObjectClass::Dino, 27},
         "notification Alice \"Dodo nest level 27\" color=0,0,1,1 size=1.2 time=10"},
        {"a negative level", StandIn::Instigator{u"Dodo_Character_BP_C_4", ObjectClass::Dino, -5},
         "notification Alice \"Dodo nest level -5\" color=0,0,1,1 size=1.2 time=10"},
        {"no instigator: its own key, {EggLvl} kept", std::nullopt,
         "notification Alice \"Unclaimed nest level {EggLvl}\" color=0,0,1,1 size=1.2 time=10"},
        {"an instigator that is no dinosaur", StandIn::Instigator{u"Dodo_Character_BP_C_3", ObjectClass::Other, 27},
         "notification Alice \"Unclaimed nest level {EggLvl}\" color=0,0,1,1 size=1.2 time=10"},
        {"a dinosaur without status component",
         StandIn::Instigator{u"Dodo_Character_BP_C_3", ObjectClass::Dino, 27, false},
         "notification Alice \"Dodo nest level {EggLvl}\" color=0,0,1,1 size=1.2 time=10"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        StandIn::StructureSpawn nest{u"Dodo_Nest_C_5", ObjectClass::Structure};
        nest.instigator = test.instigator;
        StandIn::SpawnStructure(nest);
        const std::vector<std::string> lines = TakeTranscript();
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(lines[0], test.expected);
    }
}

TEST_F(AnnounceTest, NothingIsSentForObjectsThatAreNotAnnounced) {
    Json config = KindsConfig;
    config["EnableNests"] = false;
    Start(config);
    struct Case {
        const char* what;
        std::u16string name;
        ObjectClass objectClass;
    };
    const std::vector<Case> cases = {
        {"no hunted fragment, though configured", u"StorageBox_Small_C_1", ObjectClass::ItemContainer},
        {"not an item container while EnableNests is false", u"BeaverDam_C_1", ObjectClass::Structure},
        {"neither structure nor container", u"SupplyCrate_Level03_C_1", ObjectClass::Other},
        {"no Items entry", u"SupplyCrate_Level99_C_1", ObjectClass::ItemContainer},
        {"an entry without Notification", u"SupplyCrate_Bare_C_1", ObjectClass::ItemContainer},
        {"an empty Msg", u"SupplyCrate_Silent_C_1", ObjectClass::ItemContainer},
        {"the ocean crate's name belongs to the other hook", u"SupplyCreate_OceanInstant_High_C_1",
         ObjectClass::ItemContainer},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        Spawn(test.name, test.objectClass);
        EXPECT_THAT(TakeTranscript(), IsEmpty());
    }
    // An item container is announced whatever EnableNests says.
    Spawn(u"BeaverDam_C_2", ObjectClass::ItemContainer);
    EXPECT_EQ(TakeTranscript().size(), 2u);
}

TEST_F(AnnounceTest, FragmentsAreFoundInAnyCaseAndTheKeyKeepsThatCase) {
    Json config = KindsConfig;
    config["Items"]["supplycrate_x_C"] = {{"Notification", {{"Msg", "{Name}"}, {"Type", "Chat"}}}};
    Start(config);
    Spawn(u"supplycrate_x_C_1", ObjectClass::ItemContainer);
    Spawn(u"SUPPLYCRATE_Level03_c_1", ObjectClass::ItemContainer);  // key SUPPLYCRATE_Level03_c: not configured
    EXPECT_THAT(TakeTranscript(),
                ElementsAre("chat Alice Server: \"supplycrate_x_C\"", "chat Bob Server: \"supplycrate_x_C\""));
}

TEST_F(AnnounceTest, AsteroidsOnGen2AreAnnouncedOncePerChangeOfCode) {
    Json config = KindsConfig;
    config["Items"].erase("SupplyCrate_Space_T1_Metal_C");
    config["AsteroidGen2"]["Notification"]["Type"] = "Chat";
    config["AsteroidGen2"]["Notification"]["Msg"] = "{Name}";
    Start(config, "Gen2");
    // Codes A, A, B, A.
    for (const char16_t* name : {u"SupplyCrate_Space_T1_Metal_C_1", u"SupplyCrate_Space_T1_Metal_C_2",
                                 u"SupplyCrate_Space_T2_Crystal_C_3", u"SupplyCrate_Space_T1_Metal_C_4"}) {
        Spawn(name, ObjectClass::ItemContainer);
    }
    EXPECT_THAT(TakeTranscript(),
                ElementsAre("chat Alice Server: \"Metal asteroid\"", "chat Bob Server: \"Metal asteroid\"",
                            "chat Alice Server: \"Crystal\"", "chat Bob Server: \"Crystal\"",
                            "chat Alice Server: \"Metal asteroid\"", "chat Bob Server: \"Metal asteroid\""));
}

TEST_F(AnnounceTest, AsteroidAnnouncementComesFirstAndTakesTheCodesColour) {
    Start(KindsConfig, "Gen2");
    Spawn(u"SupplyCrate_Space_T1_Metal_C_1", ObjectClass::ItemContainer, {0, 8000, 0});
    EXPECT_THAT(
        TakeTranscript(),
        ElementsAre("notification Alice \"Metal asteroid: Metal/Crystal on Gen2 {Lat}\" color=1,0,0,1 size=1.2 time=5",
                    "notification Bob \"Metal asteroid: Metal/Crystal on Gen2 {Lat}\" color=1,0,0,1 size=1.2 time=5",
                    "chat Alice Server: \"Space crate 51.0\"", "chat Bob Server: \"Space crate 51.0\""));
    // A code absent from the maps: its own name, no resources, green.
    Spawn(u"SupplyCrate_Space_T3_Obsidian_C_1", ObjectClass::ItemContainer);
    EXPECT_THAT(TakeTranscript(),
                ElementsAre("notification Alice \"Obsidian: / on Gen2 {Lat}\" color=0,1,0,1 size=1.2 time=5",
                            "notification Bob \"Obsidian: / on Gen2 {Lat}\" color=0,1,0,1 size=1.2 time=5"));
}

TEST_F(AnnounceTest, AsteroidRulesNeedTheExactMapNameAndAKeyLongEnoughForACode) {
    Start(KindsConfig, "gen2");
    Spawn(u"SupplyCrate_Space_T1_Metal_C_1", ObjectClass::ItemContainer);
    EXPECT_THAT(TakeTranscript(),
                ElementsAre("chat Alice Server: \"Space crate 50.0\"", "chat Bob Server: \"Space crate 50.0\""));
    StandIn::RunInitGame("Gen2");
    Spawn(u"SupplyCrate_Space_C_1", ObjectClass::ItemContainer);  // key of 19 bytes: no code
    EXPECT_THAT(TakeTranscript(), IsEmpty());
}

TEST_F(AnnounceTest, OceanCratesAreAnnouncedOnRagnarokOnlyAtTheirOwnPosition) {
    Start(KindsConfig, "Ragnarok");
    struct Case {
        const char* what;
        StandIn::ContainerSpawn spawn;
        std::size_t lines;
    };
    const std::vector<Case> cases = {
        {"prefix before the fragment: another key", {u"Deep_SupplyCreate_OceanInstant_High_C_2"}, 0},
        {"other case: another key", {u"supplycreate_oceaninstant_high_c_7"}, 0},
        {"a regular crate is not this hook's", {u"SupplyCrate_Level03_C_1"}, 0},
        {"no root component", {u"SupplyCreate_OceanInstant_High_C_7", {0, 0, 0}, false}, 0},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        StandIn::SpawnContainer(test.spawn);
        EXPECT_EQ(TakeTranscript().size(), test.lines);
    }
    StandIn::SpawnContainer({u"SupplyCreate_OceanInstant_High_C_7", {-80000, 160000, 5}});
    EXPECT_THAT(
        TakeTranscript(),
        ElementsAre("notification Alice \"Ocean crate 70.0 40.0 Ragnarok {EggLvl}\" color=0,1,0,1 size=1.2 time=10",
                    "notification Bob \"Ocean crate 70.0 40.0 Ragnarok {EggLvl}\" color=0,1,0,1 size=1.2 time=10"));
    StandIn::RunInitGame("ragnarok");
    StandIn::SpawnContainer({u"SupplyCreate_OceanInstant_High_C_8"});
    EXPECT_THAT(TakeTranscript(), IsEmpty());
}

TEST_F(AnnounceTest, ColourTextsAsPlayersSeeThem) {
    struct Case {
        const char* color;
        const char* linear;
    };
    const std::vector<Case> cases = {
        {"255,0,0", "1,0,0,1"},
        {"0,255,0", "0,1,0,1"},
        {"255,,0,0", "1,0,0,1"},
        {"255, 0, 0", "1,0,0,1"},
        {"12abc,0,0", "0.00367651,0,0,1"},
        {"300,0,0", "0.0251869,0,0,1"},
        {"-1,0,0", "1,0,0,1"},
        {"red,green,blue", "0,1,0,1"},
        {"1,2,x", "0,1,0,1"},
        {"random", "0,1,0,1"},
        {"1,2,3,4", "0.000303527,0.000607054,0.000910581,1"},
        {"255,128,0", "1,0.215861,0,1"},
        {"", "0,1,0,1"},
        {"255,0", "0,1,0,1"},
        {"99999999999,0,0", "0,1,0,1"},
    };
    Json config = {{"Items", Json::object()}};
    for (std::size_t i = 0; i < cases.size(); ++i) {
        config["Items"]["SupplyCrate_" + std::to_string(i) + "_C"] = {
            {"Notification", {{"Msg", "x"}, {"Color", cases[i].color}}}};
    }
    Start(config);
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].color);
        Spawn(StandIn::Utf16("SupplyCrate_" + std::to_string(i) + "_C_1"), ObjectClass::ItemContainer);
        const std::vector<std::string> lines = TakeTranscript();
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(lines[0], std::string("notification Alice \"x\" color=") + cases[i].linear + " size=1.2 time=10");
    }
}

TEST_F(AnnounceTest, RandomColourTakesThreeDrawsPerPlayerAndNoneBesides) {
    Start({{"Items", {{"SupplyCrate_C", {{"Notification", {{"Msg", "x"}, {"Color", "Random"}}}}}}}});
    StandIn::ConnectPlayer("Carol");
    constexpr unsigned Seed = 20240611;
    std::srand(Seed);
    Spawn(u"SupplyCrate_C_1", ObjectClass::ItemContainer);
    const int drawAfterBroadcast = std::rand();

    // The same sequence again: blue, green, red for each player in turn.
    std::srand(Seed);
    std::vector<FColorLinear> expected;
    for (int player = 0; player < 3; ++player) {
        const auto blue = static_cast<uint8_t>(std::rand() % 256);
        const auto green = static_cast<uint8_t>(std::rand() % 256);
        const auto red = static_cast<uint8_t>(std::rand() % 256);
        expected.push_back(LinearColor({blue, green, red, 255}));
    }
    const auto& records = StandIn::Records();
    ASSERT_EQ(records.size(), 3u);
    for (std::size_t i = 0; i < records.size(); ++i) {
        SCOPED_TRACE(records[i].player);
        EXPECT_EQ(records[i].color.R, expected[i].R);
        EXPECT_EQ(records[i].color.G, expected[i].G);
        EXPECT_EQ(records[i].color.B, expected[i].B);
        EXPECT_EQ(records[i].color.A, 1.0f);
    }
    EXPECT_EQ(drawAfterBroadcast, std::rand()) << "the broadcast took exactly nine draws";
}

TEST_F(AnnounceTest, DisplayTimeBeyond32BitsSaturatesWholeOrNot) {
    struct Case {
        Json time;
        int32_t shown;
    };
    const std::vector<Case> cases = {
        {4294967296LL, INT32_MAX},  // 2^32, once 0: an invisible notification
        {3000000000LL, INT32_MAX},  // once negative
        {Json(std::numeric_limits<uint64_t>::max()), INT32_MAX},
        {-3000000000LL, INT32_MIN},
        {std::numeric_limits<int64_t>::min(), INT32_MIN},
        {2147483647, INT32_MAX},  // the bounds themselves, exactly
        {-2147483648LL, INT32_MIN},
        {2147483648.5, INT32_MAX},
        {-1e300, INT32_MIN},
        {7.9, 7},
        {-7.9, -7},
        {true, 1},
        {0, 0},
    };
    std::vector<Json> values;
    for (const Case& test : cases) {
        values.push_back(test.time);
    }
    const std::vector<StandIn::Record> shown = FirstRecordForEachValue("Time", values);
    for (std::size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(shown[i].time, static_cast<float>(cases[i].shown)) << cases[i].time.dump();
    }
}

TEST_F(AnnounceTest, DisplaySizeBeyondFloatRangeSaturatesToTheLargestFiniteFloat) {
    constexpr float largest = std::numeric_limits<float>::max();
    struct Case {
        Json size;
        float shown;
    };
    const std::vector<Case> cases = {
        {1e300, largest},  // once an undefined conversion
        {-1e300, -largest},
        {1e39, largest},  // just beyond the float range
        {-1e39, -largest},
        {static_cast<double>(largest), largest},  // the bounds themselves, exactly
        {-static_cast<double>(largest), -largest},
        {Json(std::numeric_limits<uint64_t>::max()), static_cast<float>(std::numeric_limits<uint64_t>::max())},
        {1.5, 1.5f},
        {0.1, 0.1f},  // rounded to float as before
        {1e-50, 0.0f},
        {-3, -3.0f},
        {0, 0.0f},
    };
    std::vector<Json> values;
    for (const Case& test : cases) {
        values.push_back(test.size);
    }
    const std::vector<StandIn::Record> shown = FirstRecordForEachValue("Size", values);
    for (std::size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(shown[i].size, cases[i].shown) << cases[i].size.dump();
    }
}

TEST_F(AnnounceTest, ChatLinesCarryUtf8UnchangedInTheGamesRecord) {
    Start({{"Items",
            {{"SupplyCrate_C",
              {{"Name", "Caisse \xC3\xA0 \xF0\x9F\x93\xA6"},
               {"Notification",
                {{"Msg", "{Name} \xE2\x86\x92 {Lat}"}, {"Type", "notification"}, {"Sender", "H\xC3\xA9raut"}}}}}}}});
    Spawn(u"SupplyCrate_C_1", ObjectClass::ItemContainer);
    ASSERT_EQ(StandIn::Records().size(), 2u);
    for (const auto& record : StandIn::Records()) {
        EXPECT_EQ(record.kind, StandIn::RecordKind::Chat) << "lower-case type is a chat line";
        EXPECT_EQ(record.sender, "H\xC3\xA9raut");
        EXPECT_EQ(record.text, "Caisse \xC3\xA0 \xF0\x9F\x93\xA6 \xE2\x86\x92 50.0");
        EXPECT_TRUE(record.chatRecordAsGameExpects);
    }
}

TEST_F(AnnounceTest, PlayersWhoLeftAreSkippedAndTheRestServed) {
    Start({{"Items", {{"SupplyCrate_C", {{"Notification", {{"Msg", "x"}, {"Type", "Chat"}}}}}}}});
    StandIn::ConnectPlayer("Carol");
    StandIn::DisconnectPlayer("Alice");
    Spawn(u"SupplyCrate_C_1", ObjectClass::ItemContainer);
    StandIn::DisconnectPlayer("Bob");
    StandIn::DisconnectPlayer("Carol");
    Spawn(u"SupplyCrate_C_2", ObjectClass::ItemContainer);
    EXPECT_THAT(TakeTranscript(), ElementsAre("chat Bob Server: \"x\"", "chat Carol Server: \"x\""));
}

TEST_F(AnnounceTest, TemplatesFillTheFirstOccurrenceOfEachPlaceholderOnly) {
    Start({{"Items",
            {{"SupplyCrate_C",
              {{"Name", "{EggLvl}box"},
               {"Notification",
                {{"Msg", "{Lat} {Lat} {name} {Name} {EggLvl} {PrimaryResources}"}, {"Type", "Chat"}}}}}}}});
    Spawn(u"SupplyCrate_C_1", ObjectClass::ItemContainer);
    // The name brings its own "{EggLvl}", which is filled (with itself) before the template's.
    EXPECT_THAT(TakeTranscript(),
                ElementsAre("chat Alice Server: \"50.0 {Lat} {name} {EggLvl}box {EggLvl} {PrimaryResources}\"",
                            "chat Bob Server: \"50.0 {Lat} {name} {EggLvl}box {EggLvl} {PrimaryResources}\""));
}

TEST_F(AnnounceTest, CoordinatesWithPositiveOriginsAndFullDigits) {
    Start({{"Items", {{"SupplyCrate_C", {{"Notification", {{"Msg", "{Lat} {Lon}"}, {"Type", "Chat"}}}}}}}});
    struct Case {
        float latScale, latOrigin, lonScale, lonOrigin;
        FVector location;
        const char* text;
    };
    const std::vector<Case> cases = {
        // A positive origin is subtracted: y = origin is latitude 0.
        {800, 400000, 800, 400000, {400000, 400000, 0}, "0.0 0.0"},
        {800, 400000, 800, 400000, {480000, 320000, 0}, "-10.0 10.0"},
        // Small scales give latitudes far beyond 100, all digits kept.
        {10, -400000, 100, -400000, {0, 5000, 0}, "4050.0 400.0"},
        {800, -400000, 800, -400000, {-400800, 400000, 0}, "100.0 -0.1"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.text);
        StandIn::SetWorldSettings(test.latScale, test.latOrigin, test.lonScale, test.lonOrigin);
        Spawn(u"SupplyCrate_C_1", ObjectClass::ItemContainer, test.location);
        const std::vector<std::string> lines = TakeTranscript();
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(lines[0], std::string("chat Alice Server: \"") + test.text + "\"");
    }
}

TEST_F(AnnounceTest, ATypeErrorCostsOneLoggedAnnouncementAndTheNextSpawnIsAnnounced) {
    Json config = KindsConfig;
    config["Items"]["SupplyCrate_BadTime_C"] = {{"Notification", {{"Msg", "x"}, {"Time", "10"}}}};
    config["Items"]["SupplyCrate_Text_C"] = "not an object";
    Start(config);
    Spawn(u"SupplyCrate_BadTime_C_1", ObjectClass::ItemContainer);
    Spawn(u"SupplyCrate_Text_C_1", ObjectClass::ItemContainer);
    Spawn(u"BeaverDam_C_1", ObjectClass::ItemContainer);
    EXPECT_THAT(
        TakeTranscript(),
        ElementsAre("log SkyCrateHerald error \"[json.exception.type_error.302] type must be number, but is string\"",
                    "log SkyCrateHerald error \"[json.exception.type_error.306] cannot use value() with string\"",
                    "chat Alice Server: \"Beaver dam 50.0 50.0\"", "chat Bob Server: \"Beaver dam 50.0 50.0\""));
}

TEST_F(AnnounceTest, ABrokenAsteroidSectionCostsOnlyTheAsteroidAnnouncement) {
    Json config = KindsConfig;
    config.erase("AsteroidGen2");
    Start(config, "Gen2");
    Spawn(u"SupplyCrate_Space_T1_Metal_C_1", ObjectClass::ItemContainer);
    EXPECT_THAT(TakeTranscript(),
                ElementsAre("log SkyCrateHerald error \"[json.exception.type_error.306] cannot use value() with null\"",
                            "chat Alice Server: \"Space crate 50.0\"", "chat Bob Server: \"Space crate 50.0\""));
}

TEST_F(AnnounceTest, ADroppedAsteroidAnnouncementIsTriedAgainUntilTheMendedFileLetsItOut) {
    struct Case {
        const char* what;
        std::function<void(Json&)> breakSection;
        std::string error;
    };
    const std::vector<Case> cases = {
        {"no colour map", [](Json& asteroids) { asteroids.erase("Color"); },
         "[json.exception.type_error.306] cannot use value() with null"},
        {"a name map that is an array", [](Json& asteroids) { asteroids["Name"] = Json::array(); },
         "[json.exception.type_error.306] cannot use value() with array"},
        {"a notification that is text", [](Json& asteroids) { asteroids["Notification"] = "x"; },
         "[json.exception.type_error.305] cannot use operator[] with a string argument with string"},
        {"a display time that is text, raised inside the broadcast",
         [](Json& asteroids) { asteroids["Notification"]["Time"] = "5"; },
         "[json.exception.type_error.302] type must be number, but is string"},
    };
    Json good = KindsConfig;
    good["Items"].erase("SupplyCrate_Space_T1_Metal_C");
    good["AsteroidGen2"]["Notification"] = {{"Msg", "{Name}"}, {"Type", "Notification"}};
    Start(good, "Gen2");
    const std::string announced = "notification Alice \"Metal asteroid\" color=1,0,0,1 size=1.2 time=10";
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        // Another code first, so that Metal is announced anew below.
        Spawn(u"SupplyCrate_Space_T2_Crystal_C_1", ObjectClass::ItemContainer);
        Json broken = good;
        test.breakSection(broken["AsteroidGen2"]);
        server.WriteConfig(broken);
        ASSERT_TRUE(StandIn::ConsoleCommand(nullptr, "SkyCrateHerald.Reload"));
        StandIn::ClearRecords();

        const std::string logged = "log SkyCrateHerald error \"" + test.error + "\"";
        Spawn(u"SupplyCrate_Space_T1_Metal_C_1", ObjectClass::ItemContainer);
        Spawn(u"SupplyCrate_Space_T1_Metal_C_2", ObjectClass::ItemContainer);
        EXPECT_THAT(TakeTranscript(), ElementsAre(logged, logged)) << "the second crate tries again";

        server.WriteConfig(good);
        ASSERT_TRUE(StandIn::ConsoleCommand(nullptr, "SkyCrateHerald.Reload"));
        Spawn(u"SupplyCrate_Space_T1_Metal_C_3", ObjectClass::ItemContainer);
        Spawn(u"SupplyCrate_Space_T1_Metal_C_4", ObjectClass::ItemContainer);
        const std::vector<std::string> lines = TakeTranscript();
        ASSERT_EQ(lines.size(), 2u) << "announced once, then the code counts";
        EXPECT_EQ(lines[0], announced);
    }
}

TEST_F(AnnounceTest, NoWorldOrAMissingGameEntrySendsNothingAndNeverReachesTheGame) {
    Start(KindsConfig);
    StandIn::SetWorldAvailable(false);
    Spawn(u"SupplyCrate_Level03_C_5", ObjectClass::ItemContainer);
    EXPECT_THAT(TakeTranscript(), IsEmpty());
    StandIn::SetWorldAvailable(true);
    StandIn::RemoveGameEntry("UObjectBaseUtility.IsA");
    Spawn(u"SupplyCrate_Level03_C_5", ObjectClass::ItemContainer);
    EXPECT_THAT(TakeTranscript(),
                ElementsAre("log SkyCrateHerald error \"Unknown game entry: UObjectBaseUtility.IsA\""));
    EXPECT_EQ(StandIn::StructureSpawnCalls().size(), 0u) << "cleared with the records";
}

TEST_F(AnnounceTest, LookupsLeaveTheDocumentAsRead) {
    // A spawn of an unconfigured name must not add anything a reload would
    // then have to carry: the same file read again gives the same announcements.
    Start(KindsConfig);
    for (int i = 0; i < 50; ++i) {
        Spawn(StandIn::Utf16("SupplyCrate_Unknown" + std::to_string(i) + "_C_1"), ObjectClass::ItemContainer);
    }
    EXPECT_THAT(TakeTranscript(), IsEmpty());
    Spawn(u"SupplyCrate_Level03_C_5", ObjectClass::ItemContainer);
    EXPECT_EQ(TakeTranscript().size(), 2u);
}

}  // namespace
