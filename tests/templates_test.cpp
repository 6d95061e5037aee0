// The building blocks of a message: item keys, coordinates and their text,
// template filling and colour texts; how SkyCrateHerald.Test reads its line.

#include "announce/Templates.h"

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <limits>

#include "Support.h"
#include "announce/Broadcast.h"
#include "announce/SpawnDetours.h"
#include "announce/TestCommandLine.h"
#include "config/ItemNames.h"

using ::testing::ElementsAre;

namespace {

class TemplatesTest : public HeraldTest::ServerTest {};

std::string KeyOf(const FString& name) {
    ItemKey key;
    MakeItemKey(name, key);
    return std::string(key.View());
}

TEST_F(TemplatesTest, ItemKeyIsTheNameUpToItsFirstClassSuffix) {
    const std::vector<std::pair<const char16_t*, const char*>> cases = {
        {u"Foo_C_12", "Foo_C"},
        {u"Foo_c_7", "Foo_c"},
        {u"A_C_B_C_4", "A_C"},
        {u"Foo_C", "Foo_C"},
        {u"Foo", "Foo"},
        {u"", ""},
        {u"_C_", "_C"},
        {u"Caf\u00e9_C_1", "Caf\xC3\xA9_C"},
        {u"SupplyCrate_Level03_C_5", "SupplyCrate_Level03_C"},
        // Past the ASCII run: the match, or its absence, decided by the general search.
        {u"Caf\u00e9_c_1_C_2", "Caf\xC3\xA9_c"},
        {u"\u00e9", "\xC3\xA9"},
        {u"A\u00e9_C", "A\xC3\xA9_C"},
        {u"A_\u00e7_C_1", "A_\xC3\xA7_C"},
        {u"A_C\u00e9_C_1", "A_C\xC3\xA9_C"},
        {u"Foo_C_\u00e9", "Foo_C"},
        {u"A__C_1", "A__C"},
        {u"A_C", "A_C"},
        {u"A_CC_", "A_CC_"},
    };
    for (const auto& [name, key] : cases) {
        const FString text = FString::FromWide(name);
        EXPECT_EQ(KeyOf(text), key) << StandIn::Utf8(name);
    }
    // Around the in-place buffer's 128 bytes: the match's "C" as its last byte, and beyond.
    for (const std::size_t before : {0u, 125u, 126u, 127u, 128u, 300u}) {
        const std::u16string name = std::u16string(before, u'a') + u"_c_9";
        EXPECT_EQ(KeyOf(FString::FromWide(name.c_str())), std::string(before, 'a') + "_c") << before;
        const std::u16string whole(before + 3, u'b');
        EXPECT_EQ(KeyOf(FString::FromWide(whole.c_str())), std::string(before + 3, 'b')) << before;
    }
}

TEST_F(TemplatesTest, CoordinateTextKeepsEveryDigitAndOneDecimal) {
    const std::vector<std::pair<float, const char*>> cases = {
        {0.0f, "0.0"},
        {5.3f, "5.3"},
        {50.0f, "50.0"},
        {99.9f, "99.9"},
        {9.9f, "9.9"},
        {10.0f, "10.0"},
        {100.0f, "100.0"},
        {123.4f, "123.4"},
        {1234.5f, "1234.5"},
        {-0.1f, "-0.1"},
        {-5.3f, "-5.3"},
        {-10.0f, "-10.0"},
        {-12.5f, "-12.5"},
        {-0.04f, "0.0"},
        {200000.0f, "200000.0"},
        {std::numeric_limits<float>::quiet_NaN(), "nan"},
        {3.0e9f, "3000000000.0"},
        {-std::numeric_limits<float>::infinity(), "-inf"},
    };
    for (const auto& [value, text] : cases) {
        EXPECT_EQ(FormatCoordinate(value), text) << value;
    }
}

TEST_F(TemplatesTest, MapCoordinatesCutDownToTenthsWithDefaultsForZeroFields) {
    void* settings = GameFunction<void*(UWorld*, bool, bool)>("UWorld.GetWorldSettings")(
        ArkApi::GetApiUtils().QueryWorld(), false, true);
    const std::vector<std::pair<float, float>> latitudes = {
        {0, 50.0f},      {80000, 60.0f},   {399999, 99.9f},    {400000, 100.0f},
        {-400000, 0.0f}, {-400800, -0.1f}, {-12345.6f, 48.4f},
    };
    for (const auto& [y, latitude] : latitudes) {
        const MapPosition position = MapCoordinates(settings, y, y);
        EXPECT_FLOAT_EQ(position.Latitude, latitude) << y;
        EXPECT_FLOAT_EQ(position.Longitude, latitude) << "x behaves as y does: " << y;
    }
    // Explicit settings that equal the defaults give the same; a NaN scale is used as it is.
    StandIn::SetWorldSettings(800, -400000, 800, -400000);
    EXPECT_FLOAT_EQ(MapCoordinates(settings, 0, 80000).Latitude, 60.0f);
    StandIn::SetWorldSettings(std::numeric_limits<float>::quiet_NaN(), 0, 0, 0);
    EXPECT_TRUE(std::isnan(MapCoordinates(settings, 0, 0).Latitude));
    EXPECT_EQ(FormatCoordinate(MapCoordinates(settings, 0, 0).Latitude), "nan");
    // Each announcement reads the four fields anew.
    const std::uint64_t before = StandIn::Resolutions("APrimalWorldSettings.LatitudeScale");
    MapCoordinates(settings, 0, 0);
    MapCoordinates(settings, 0, 0);
    EXPECT_EQ(StandIn::Resolutions("APrimalWorldSettings.LatitudeScale"), before + 2);
}

TEST_F(TemplatesTest, FillTemplateReplacesEachPlaceholdersFirstOccurrenceInListOrder) {
    struct Case {
        std::string text;
        std::vector<std::string_view> list;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"{Lat} and {Lat}", {"{Lat}", "50.0"}, "50.0 and {Lat}"},
        {"{name}", {"{Name}", "Crate"}, "{name}"},
        {"no placeholders", {"{Name}", "Crate"}, "no placeholders"},
        {"{Name} {EggLvl}", {"{Name}", "{EggLvl}!", "{EggLvl}", "27"}, "27! {EggLvl}"},
        {"{EggLvl} {Name}", {"{Name}", "x", "{EggLvl}", "{EggLvl}"}, "{EggLvl} x"},
        {"", {"{Name}", "Crate"}, ""},
        {"{MapName}{MapName}", {"{MapName}", ""}, "{MapName}"},
    };
    for (const Case& test : cases) {
        std::string filled;
        FillTemplateInto(filled, test.text, test.list);
        EXPECT_EQ(filled, test.expected) << test.text;
    }
}

TEST_F(TemplatesTest, ColourTextsAsBytes) {
    struct Case {
        const char* text;
        int red, green, blue;
    };
    const std::vector<Case> cases = {
        {"255,0,0", 255, 0, 0},
        {"0,255,0", 0, 255, 0},
        {"255,,0,0", 255, 0, 0},
        {"255, 0, 0", 255, 0, 0},
        {"12abc,0,0", 12, 0, 0},
        {"300,0,0", 44, 0, 0},
        {"256,0,0", 0, 0, 0},
        {"-1,0,0", 255, 0, 0},
        {"1,2,3,4", 1, 2, 3},
        {"red,green,blue", 0, 255, 0},
        {"1,2,x", 0, 255, 0},
        {"random", 0, 255, 0},
        {"", 0, 255, 0},
        {"1,2", 0, 255, 0},
        {",,,", 0, 255, 0},
        {"2147483647,0,0", 255, 0, 0},
        {"2147483648,0,0", 0, 255, 0},
        {"-2147483648,1,1", 0, 1, 1},
        {"\t+7,\n8,9", 7, 8, 9},
        {"1 ,2,3", 1, 2, 3},
    };
    for (const Case& test : cases) {
        const FColorBytes color = ParseColorText(test.text);
        EXPECT_EQ(std::vector<int>({color.R, color.G, color.B, color.A}),
                  std::vector<int>({test.red, test.green, test.blue, 255}))
            << '"' << test.text << '"';
    }
}

TEST_F(TemplatesTest, RandomColourDrawsBlueThenGreenThenRed) {
    std::srand(7);
    const int blue = std::rand() % 256;
    const int green = std::rand() % 256;
    const int red = std::rand() % 256;
    std::srand(7);
    const FColorBytes color = ParseColorText("Random");
    EXPECT_THAT(std::vector<int>({color.R, color.G, color.B, color.A}), ElementsAre(red, green, blue, 255));
}

// The spawn hook reads a name once for all five fragments and the asteroid
// crate's prefix; it must answer as the game-string search of each does, and
// as the readers that the test command, check and preview use answer for the
// same text (up to a zero, which ends the game's text). The readers ignore
// ASCII case alone, the game's search any case, so the two are compared on
// ASCII names: the names corpus of the fuzz target among them.
TEST_F(TemplatesTest, OnePassOverTheNameFindsWhatSixSearchesFind) {
    std::vector<std::u16string> names = {
        u"SupplyCrate_Level03_C_5",
        u"supplycrate_x_C_1",
        u"StorageBox_Huge_C_1",
        u"Dodo_Nest_C_5",
        u"Wyvern_NEST_c_3",
        u"BeaverDam_C_1",
        u"ElementNode_C_2",
        u"ArtifactCrate_Skull_C_1",
        u"Supply",
        u"SupplyCrat",
        u"SSupplyCrate",
        u"NestNest_C",
        u"Nest_",
        u"N",
        u"",
        u"Element\u00e9Node",
        std::u16string(u"Supply\0Crate_C_1", 16),
        std::u16string(u"Box\0SupplyCrate", 15),
        u"\xD800SupplyCrate",
        u"BeaverDa",
        u"xxBEAVERDAMxx",
        u"aRTIFACTcRATE",
        u"ElementNodeNest_C",
        u"SupplyCrate_Space_Bp_Iron_C_1",
        u"supplycrate_SPACE_x",
        u"SupplyCrate_Space",
        u"SupplyCrate_Spac\u00e9_",
        u"Nest_C_SupplyCrate_Space_1",
        u"SupplyCrate_SupplyCrate_Space_",
        u"SupplyCrate_Level03_Space_",
        std::u16string(u"SupplyCrate_\0Space_", 19),
        u"\u00e9SupplyCrate_Space_\u00e9",
    };
    for (const auto& seed :
         std::filesystem::directory_iterator(HeraldTest::Source / "tests" / "fuzz" / "seeds" / "names")) {
        names.push_back(StandIn::Utf16(HeraldTest::ReadFile(seed.path())));
    }
    const std::vector<const char16_t*> fragments = {u"SupplyCrate", u"ElementNode", u"ArtifactCrate", u"Nest_C",
                                                    u"BeaverDam"};
    for (const std::u16string& units : names) {
        FString name;
        if (!units.empty()) {
            name = FString::FromWide(u"x");  // storage of the game's allocator, then the exact units
            name.Data = static_cast<char16_t*>(GameMemory::Realloc(name.Data, (units.size() + 1) * sizeof(char16_t)));
            std::char_traits<char16_t>::copy(name.Data, units.data(), units.size());
            name.Data[units.size()] = 0;
            name.ArrayNum = name.ArrayMax = static_cast<int32_t>(units.size() + 1);
        }
        bool hunted = false;
        for (const char16_t* fragment : fragments) {
            hunted = hunted || name.IndexOfIgnoreCase(fragment) != -1;
        }
        const NameFragments found = FindFragments(name);
        EXPECT_EQ(found.hunted, hunted) << StandIn::Utf8(units);
        EXPECT_EQ(found.nest, name.IndexOfIgnoreCase(u"Nest_C") != -1) << StandIn::Utf8(units);
        EXPECT_EQ(found.spaceCrate, name.IndexOfIgnoreCase(u"SupplyCrate_Space_") != -1) << StandIn::Utf8(units);
        const std::u16string visible = units.substr(0, units.find(u'\0'));
        if (std::all_of(visible.begin(), visible.end(), [](char16_t unit) { return unit < 0x80; })) {
            const KeyFragments read = FindKeyFragments(StandIn::Utf8(visible));
            EXPECT_EQ(read.hunted, found.hunted) << StandIn::Utf8(units);
            EXPECT_EQ(read.nest, found.nest) << StandIn::Utf8(units);
        }
    }
}

// What an admin types, and what a client may send instead: a request, or the
// usage line (none).
TEST_F(TemplatesTest, TestCommandLineIsReadWholeOrNotAtAll) {
    struct Case {
        std::u16string line;
        std::optional<TestRequest> request;
    };
    const std::u16string name = u"SkyCrateHerald.Test ";
    const std::vector<Case> cases = {
        {name + u"SupplyCrate_Level03_C", TestRequest{false, "SupplyCrate_Level03_C", 0, 0}},
        {name + u"SupplyCrate_Level03_C 100000 -200000.5",
         TestRequest{false, "SupplyCrate_Level03_C", 100000, -200000.5F}},
        {name + u"AsteroidGen2 Metal", TestRequest{true, "Metal", 0, 0}},
        {name + u"asteroidGEN2 Metal 1e3 .5", TestRequest{true, "Metal", 1000, 0.5F}},
        // Any blank, control character or Unicode space parts words, the
        // invisible ones too: none of them is left at the end of a key.
        {u"  SkyCrateHerald.Test\tKey_C\r\n1  2  ", TestRequest{false, "Key_C", 1, 2}},
        {name + u"Key_C\u00A0", TestRequest{false, "Key_C", 0, 0}},
        {name + u"Key_C\u3000 1\u2003\u200B2\uFEFF", TestRequest{false, "Key_C", 1, 2}},
        {name + u"\u0085Key_C\u202F\u205F\u2028\u2029\u1680\u009F", TestRequest{false, "Key_C", 0, 0}},
        {name + u"Caf\u00e9_C", TestRequest{false, "Caf\xC3\xA9_C", 0, 0}},
        {name + u"Key_C\u00AD", TestRequest{false, "Key_C\xC2\xAD", 0, 0}},  // a soft hyphen is no space
        // The largest float, also in its shortest text, which lies just above it.
        {name + u"Key_C -0 3.4028234e38", TestRequest{false, "Key_C", -0.0F, 3.4028234e38F}},
        {name + u"Key_C -3.4028235e38 3.4028235e38", TestRequest{false, "Key_C", -FLT_MAX, FLT_MAX}},
        // A zero unit would end the game's text there, hiding the rest.
        {name + u"Key_C" + u'\0' + u" 1 2", std::nullopt},
        {name + u"Key_C 1 2" + u'\0', std::nullopt},
        {name + u"Key_C 3.4028236e38 0", std::nullopt},
        // Usage: a word missing or too many, a number not read whole, not
        // finite, beyond a float, or not ASCII.
        {u"SkyCrateHerald.Test", std::nullopt},
        {name + u"  ", std::nullopt},
        {name + u"AsteroidGen2", std::nullopt},
        {name + u"AsteroidGen2 Metal 1", std::nullopt},
        {name + u"Key_C 1", std::nullopt},
        {name + u"Key_C 1 2 3", std::nullopt},
        {name + u"AsteroidGen2 Metal 1 2 3", std::nullopt},
        {name + u"Key_C 12abc 0", std::nullopt},
        {name + u"Key_C 0x10 0", std::nullopt},
        {name + u"Key_C +1 0", std::nullopt},
        {name + u"Key_C nan 0", std::nullopt},
        {name + u"Key_C 0 inf", std::nullopt},
        {name + u"Key_C 1e39 0", std::nullopt},
        {name + u"Key_C 1e999 0", std::nullopt},
        {name + u"Key_C \uFF11 0", std::nullopt},
        {name + u"Key_C 1," + u"5 0", std::nullopt},
        {name + u"Key_C " + std::u16string(64, u'1') + u" 0", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(StandIn::Utf8(c.line));
        const std::optional<TestRequest> request = ReadTestCommand(c.line);
        ASSERT_EQ(request.has_value(), c.request.has_value());
        if (request) {
            EXPECT_EQ(request->asteroid, c.request->asteroid);
            EXPECT_EQ(request->key, c.request->key);
            EXPECT_EQ(request->x, c.request->x);
            EXPECT_EQ(request->y, c.request->y);
            EXPECT_EQ(std::signbit(request->x), std::signbit(c.request->x));
        }
    }
}

// A client's line costs nothing beyond the limit, however long or odd it is.
TEST_F(TemplatesTest, TestCommandLineBeyondTheLimitIsUsage) {
    const std::u16string head = u"SkyCrateHerald.Test K";
    const std::u16string atLimit = head + std::u16string(TestCommandLengthLimit - head.size(), u'x');
    ASSERT_TRUE(ReadTestCommand(atLimit).has_value());
    EXPECT_EQ(ReadTestCommand(atLimit)->key.size(), TestCommandLengthLimit - head.size() + 1);
    EXPECT_FALSE(ReadTestCommand(atLimit + u"x").has_value());
    EXPECT_FALSE(ReadTestCommand(std::u16string(1'000'000, u' ')).has_value());
    EXPECT_EQ(ReadTestCommand(head + u"\xD800")->key, "K\xEF\xBF\xBD") << "a lone surrogate reads as U+FFFD";
}

TEST_F(TemplatesTest, DidYouMeanNamesTheNearestConfiguredKey) {
    const nlohmann::json items = {{"SupplyCrate_Level03_C", {{"Name", "x"}}},
                                  {"SupplyCrate_Level05_C", {{"Name", "x"}}},
                                  {"Wyvern_Character_BP_Fire_C", {{"Name", "x"}}},
                                  {"Rex_C", {{"Name", "x"}}},
                                  {"Dodo_C", nullptr}};
    const std::vector<std::pair<std::string, std::optional<std::string>>> cases = {
        {"supplycrate_level03_c", "SupplyCrate_Level03_C"},  // case alone
        {"SupplyCrate_Levl03_C", "SupplyCrate_Level03_C"},   // one letter left out
        {"SupplyCrate_Level30_C", "SupplyCrate_Level03_C"},  // two neighbours swapped: one edit
        {"SupplyCrate_Level04_C", "SupplyCrate_Level03_C"},  // as near as _Level05_C: the first in order
        {"SupplyCrate_Level05", "SupplyCrate_Level05_C"},    // nearer than _Level03_C
        {"Wyvern_Character_BP_Fier_C", "Wyvern_Character_BP_Fire_C"},
        {"Wyvern_Character_BP_Lightning_C", std::nullopt},  // past the three edits allowed
        {"Rex_D", "Rex_C"},                                 // a five-letter key allows one edit
        {"Rex_DD", std::nullopt},
        {"Dodo_C", std::nullopt},  // a null entry is not configured
        {"Dodo_D", std::nullopt},
        {"", std::nullopt},
        {std::string(100000, 'S'), std::nullopt},
    };
    for (const auto& [typed, nearest] : cases) {
        EXPECT_EQ(NearestItemKey(items, typed), nearest) << typed.substr(0, 40);
    }
    EXPECT_EQ(NearestItemKey(nlohmann::json::array({"SupplyCrate_Level03_C"}), "SupplyCrate_Level03"), std::nullopt);
    EXPECT_EQ(NearestItemKey(nullptr, "SupplyCrate_Level03"), std::nullopt);
}

}  // namespace
