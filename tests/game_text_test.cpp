// The game's text and colours as the plugin makes and reads them: FString
// conversions and storage, search and split, linear colours, object names
// and the by-name game entries behind them.

#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "Support.h"
#include "game/GameTypes.h"

using ::testing::ElementsAreArray;
using ::testing::FloatNear;
using ::testing::IsEmpty;

namespace {

using HeraldTest::ServerTest;

class GameTextTest : public ServerTest {};

std::u16string Units(const FString& text) { return std::u16string(text.View()); }

// The storage as the game sees it: count, capacity, and the terminating zero
// exactly at count - 1.
void ExpectStorage(const FString& text, int32_t count, int32_t capacity) {
    EXPECT_EQ(text.ArrayNum, count);
    EXPECT_EQ(text.ArrayMax, capacity);
    if (count == 0) {
        EXPECT_EQ(text.Data, nullptr) << "an empty string has no storage";
    } else {
        ASSERT_NE(text.Data, nullptr);
        EXPECT_EQ(text.Data[count - 1], u'\0') << "terminating zero at count - 1";
    }
}

// ---- FString::FromNarrow ---------------------------------------------------

struct NarrowCase {
    const char* label;
    const char* text;
    std::u16string units;
    int32_t count;
    int32_t capacity;
};

TEST_F(GameTextTest, FromNarrowCopiesAsciiAndTurnsEveryHighByteIntoQuestionMark) {
    const std::vector<NarrowCase> cases = {
        {"empty", "", u"", 0, 0},
        {"one character", "a", u"a", 2, 4},
        {"3 characters fill the smallest storage", "abc", u"abc", 4, 4},
        {"4 characters grow past it", "abcd", u"abcd", 5, 5 + 15 / 8 + 16},
        {"21 characters", "SupplyCrate_Big_C_3xy", u"SupplyCrate_Big_C_3xy", 22, 46},
        {"e-acute in UTF-8 is two bytes, two '?'", "caf\xC3\xA9", u"caf??", 6, 6 + 18 / 8 + 16},
        {"127 kept, 128 and 255 replaced", "\x7F\x80\xFF", u"\x7F??", 4, 4},
        {"control bytes kept", "\t\n", u"\t\n", 3, 4},
    };
    for (const NarrowCase& c : cases) {
        SCOPED_TRACE(c.label);
        const FString text = FString::FromNarrow(c.text);
        EXPECT_EQ(Units(text), c.units);
        ExpectStorage(text, c.count, c.capacity);
    }
}

TEST_F(GameTextTest, FromNarrowOfNothingAllocatesNothing) {
    const std::size_t before = StandIn::Allocator().allocations;
    const FString absent = FString::FromNarrow(nullptr);
    const FString empty = FString::FromNarrow("");
    ExpectStorage(absent, 0, 0);
    ExpectStorage(empty, 0, 0);
    EXPECT_EQ(StandIn::Allocator().allocations, before);
}

TEST_F(GameTextTest, StringStorageComesFromTheGameAllocatorAndGoesBackToIt) {
    const std::size_t liveBefore = StandIn::Allocator().liveBlocks;
    {
        const FString text = FString::FromNarrow("SupplyCrate_Big_C_3xy");
        EXPECT_EQ(StandIn::Allocator().liveBlocks, liveBefore + 1);
        EXPECT_EQ(StandIn::Allocator().liveBytes, 46u * sizeof(char16_t)) << "capacity 46 units of 2 bytes";
    }
    EXPECT_EQ(StandIn::Allocator().liveBlocks, liveBefore);
}

TEST_F(GameTextTest, GrowthCapacityFollowsTheGameRuleAndSaturates) {
    const struct {
        int32_t count;
        int32_t capacity;
        int32_t grown;
    } cases[] = {
        {1, 0, 4},
        {4, 0, 4},
        {5, 0, 5 + 15 / 8 + 16},
        {22, 0, 46},
        {3, 2, 3 + 9 / 8 + 16},
        {5, 4, 22},
        {1 << 30, 0, (1 << 30) + 3 * (1 << 27) + 16},
        {1'600'000'000, 0, INT32_MAX},
        {INT32_MAX, 0, INT32_MAX},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "count " << c.count << ", capacity " << c.capacity);
        EXPECT_EQ(GrowthCapacity(c.count, c.capacity), c.grown);
    }
}

// ---- FString::FromWide and FromUtf8 -------------------------------------------

TEST_F(GameTextTest, FromWideCopiesEveryUnitUnchanged) {
    const std::vector<std::u16string> texts = {
        u"a", u"abc", u"Gr\u00FC\u00DFe", u"\U0001F600 crate", u"\xD800 lone half", u"SupplyCrate_Big_C_3xy"};
    for (const std::u16string& units : texts) {
        SCOPED_TRACE(StandIn::Utf8(units));
        const FString text = FString::FromWide(units.c_str());
        EXPECT_EQ(Units(text), units);
        const auto count = static_cast<int32_t>(units.size() + 1);
        ExpectStorage(text, count, GrowthCapacity(count, 0));
    }
    ExpectStorage(FString::FromWide(u""), 0, 0);
    ExpectStorage(FString::FromWide(nullptr), 0, 0);
}

TEST_F(GameTextTest, FromUtf8DecodesCharactersOutsideAscii) {
    const struct {
        const char* label;
        std::string utf8;
        std::u16string units;
    } cases[] = {
        {"ascii", "Crate at 50.0", u"Crate at 50.0"},
        {"e-acute survives as one unit", "caf\xC3\xA9", u"caf\u00E9"},
        {"three-byte character", "\xE2\x82\xAC", u"\u20AC"},
        {"beyond U+FFFF becomes a surrogate pair", "\xF0\x9F\x98\x80", u"\xD83D\xDE00"},
        {"empty", "", u""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const FString text = FString::FromUtf8(c.utf8);
        EXPECT_EQ(Units(text), c.units);
        const auto count = c.units.empty() ? 0 : static_cast<int32_t>(c.units.size() + 1);
        ExpectStorage(text, count, count == 0 ? 0 : GrowthCapacity(count, 0));
        EXPECT_EQ(text.ToUtf8(), c.utf8) << "well-formed text comes back byte for byte";
    }
}

// ---- FString::ToUtf8 -----------------------------------------------------------

TEST_F(GameTextTest, ToUtf8EncodesUnitsAndReplacesLoneSurrogateHalves) {
    const std::string replacement = "\xEF\xBF\xBD";
    const struct {
        const char* label;
        std::u16string units;
        std::string utf8;
    } cases[] = {
        {"ascii", u"SupplyCrate", "SupplyCrate"},
        {"two-byte character", u"\u00E9", "\xC3\xA9"},
        {"surrogate pair is one four-byte character", u"\xD83D\xDE00", "\xF0\x9F\x98\x80"},
        {"lone high half", u"\xD83D", replacement},
        {"lone low half", u"\xDE00", replacement},
        {"high half between letters",
         u"a\xD83D"
         u"b",
         "a" + replacement + "b"},
        {"low half before high half is two lone halves", u"\xDE00\xD83D", replacement + replacement},
        {"two high halves, then their pair", u"\xD83D\xD83D\xDE00", replacement + "\xF0\x9F\x98\x80"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(FString::FromWide(c.units.c_str()).ToUtf8(), c.utf8);
    }
}

TEST_F(GameTextTest, ToUtf8OfStringWithoutStorageIsEmpty) {
    const FString none;
    EXPECT_EQ(none.ToUtf8(), "");
    EXPECT_EQ(FString::FromNarrow("").ToUtf8(), "");
}

// ---- Copies --------------------------------------------------------------------

TEST_F(GameTextTest, CopyReservesExactlyTheCount) {
    for (const char* source : {"a", "abc", "abcd", "SupplyCrate_Big_C_3xy"}) {
        SCOPED_TRACE(source);
        const FString original = FString::FromNarrow(source);
        const std::size_t allocationsBefore = StandIn::Allocator().allocations;
        const FString copy(original);
        EXPECT_EQ(StandIn::Allocator().allocations, allocationsBefore + 1);
        EXPECT_NE(copy.Data, original.Data) << "a copy has storage of its own";
        EXPECT_EQ(Units(copy), Units(original));
        ExpectStorage(copy, original.ArrayNum, original.ArrayNum);

        FString assigned = FString::FromNarrow("something else, longer than any source");
        assigned = original;
        EXPECT_EQ(Units(assigned), Units(original));
        ExpectStorage(assigned, original.ArrayNum, original.ArrayNum);
    }
}

TEST_F(GameTextTest, CopyOfEmptyStringHasNoStorage) {
    const FString empty;
    FString assigned = FString::FromNarrow("abc");
    const std::size_t allocationsBefore = StandIn::Allocator().allocations;
    const std::size_t liveBefore = StandIn::Allocator().liveBlocks;
    const FString copy(empty);
    ExpectStorage(copy, 0, 0);
    assigned = empty;
    ExpectStorage(assigned, 0, 0);
    EXPECT_EQ(StandIn::Allocator().allocations, allocationsBefore) << "nothing allocated for nothing";
    EXPECT_EQ(StandIn::Allocator().liveBlocks, liveBefore - 1) << "the assigned-over storage was released";
}

// ---- IndexOfIgnoreCase -----------------------------------------------------------

TEST_F(GameTextTest, IndexOfIgnoreCaseFindsTheFirstMatchFromTheStart) {
    const struct {
        const char* text;  // null: a string without storage
        const char16_t* pattern;
        int32_t index;
    } cases[] = {
        {"SupplyCrate_Big_C_3", u"supplycrate", 0},
        {"Dodo_Nest_C_5", u"NEST_C", 5},
        {"ElementNode_C_2", u"elementnode", 0},
        {"BeaverDam_C_11", u"_c_", 9},
        {"ab", u"abc", -1},
        {"abc", u"abcd", -1},
        {"abc", u"", -1},
        {"", u"abc", -1},
        {nullptr, u"abc", -1},
        {nullptr, u"", -1},
        {"xxABab", u"ab", 2},
        {"ArtifactCrate", u"CRATE", 8},
        {"abca", u"cab", -1},
        {"abcab", u"CAB", 2},
        {"Nest", u"nest", 0},
        {"Nes", u"nest", -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.text != nullptr ? c.text : "(no storage)") + " / " + StandIn::Utf8(c.pattern));
        const FString text = c.text != nullptr ? FString::FromNarrow(c.text) : FString();
        EXPECT_EQ(text.IndexOfIgnoreCase(c.pattern), c.index);
    }
}

// ---- Colours -----------------------------------------------------------------------

TEST_F(GameTextTest, LinearColorDecodesSrgbChannelsAndScalesAlpha) {
    const struct {
        const char* label;
        FColorBytes bytes;
        FColorLinear linear;
    } cases[] = {
        {"orange", {.B = 0, .G = 128, .R = 255, .A = 255}, {1.0f, 0.2158605f, 0.0f, 1.0f}},
        {"green", GreenColor, {0.0f, 1.0f, 0.0f, 1.0f}},
        {"last value on the straight segment",
         {.B = 10, .G = 10, .R = 10, .A = 0},
         {0.00303527f, 0.00303527f, 0.00303527f, 0.0f}},
        {"first value on the curve",
         {.B = 11, .G = 1, .R = 254, .A = 128},
         {0.9911021f, 0.000303527f, 0.00334654f, 128.0f / 255.0f}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const FColorLinear linear = LinearColor(c.bytes);
        EXPECT_THAT(linear.R, FloatNear(c.linear.R, 1e-7f));
        EXPECT_THAT(linear.G, FloatNear(c.linear.G, 1e-7f));
        EXPECT_THAT(linear.B, FloatNear(c.linear.B, 1e-7f));
        EXPECT_THAT(linear.A, FloatNear(c.linear.A, 1e-7f));
    }
}

TEST_F(GameTextTest, FullChannelsAreExactlyOneAndEmptyOnesExactlyZero) {
    const FColorLinear green = LinearColor(GreenColor);
    EXPECT_EQ(green.R, 0.0f);
    EXPECT_EQ(green.G, 1.0f);
    EXPECT_EQ(green.B, 0.0f);
    EXPECT_EQ(green.A, 1.0f) << "alpha 255 must be exactly 1";
    const FColorLinear white = LinearColor({.B = 255, .G = 255, .R = 255, .A = 255});
    EXPECT_EQ(white.R, 1.0f);
    EXPECT_EQ(white.B, 1.0f);
}

// ---- Object names and the game entries behind them -----------------------------------

// What the structure detour below saw: the test reads it after the spawn.
struct NameProbe {
    bool removeToString = false;
    std::vector<std::string> names;
    std::uint64_t nameFieldResolutions = 0;
    std::uint64_t toStringResolutions = 0;
    std::string error;
};
NameProbe probe;
void* gameStructureSpawn = nullptr;

void NamingDetour(void* structure, FVector* location, void* rotation, void* owner, void* instigator, bool flag1,
                  bool flag2, bool flag3, bool flag4) {
    reinterpret_cast<void (*)(void*, FVector*, void*, void*, void*, bool, bool, bool, bool)>(gameStructureSpawn)(
        structure, location, rotation, owner, instigator, flag1, flag2, flag3, flag4);
    const std::uint64_t nameBefore = StandIn::Resolutions("UObjectBase.Name");
    const std::uint64_t toStringBefore = StandIn::Resolutions("FName.ToString");
    try {
        if (probe.removeToString) {
            StandIn::RemoveGameEntry("FName.ToString");
        }
        probe.names.push_back(ObjectName(structure).ToUtf8());
        probe.names.push_back(ObjectName(structure).ToUtf8());
    } catch (const std::exception& error) {
        probe.error = error.what();
    }
    probe.nameFieldResolutions = StandIn::Resolutions("UObjectBase.Name") - nameBefore;
    probe.toStringResolutions = StandIn::Resolutions("FName.ToString") - toStringBefore;
}

// Our own detour on the structure spawn: the one way to hold a live object.
class ObjectNameTest : public GameTextTest {
protected:
    static constexpr char Hook[] = "APrimalStructure.PostSpawnInitialize";
    void SetUp() override {
        probe = {};
        ASSERT_TRUE(ArkApi::GetHooks().InstallHook(Hook, reinterpret_cast<void*>(&NamingDetour), &gameStructureSpawn));
    }
    void TearDown() override {
        EXPECT_TRUE(ArkApi::GetHooks().RemoveHook(Hook, reinterpret_cast<void*>(&NamingDetour)));
        GameTextTest::TearDown();
    }
};

TEST_F(ObjectNameTest, NameTakenTwiceIsResolvedTwice) {
    StandIn::SpawnStructure({.name = u"SupplyCrate_Big_C_3", .objectClass = StandIn::ObjectClass::ItemContainer});
    EXPECT_EQ(probe.error, "");
    EXPECT_THAT(probe.names, ElementsAreArray({"SupplyCrate_Big_C_3", "SupplyCrate_Big_C_3"}));
    EXPECT_EQ(probe.nameFieldResolutions, 2u);
    EXPECT_EQ(probe.toStringResolutions, 2u);
}

TEST_F(ObjectNameTest, NameOutsideAsciiComesBackAsUtf8) {
    StandIn::SpawnStructure({.name = u"Caf\u00E9Nest_C_1"});
    EXPECT_THAT(probe.names, ElementsAreArray({"Caf\xC3\xA9Nest_C_1", "Caf\xC3\xA9Nest_C_1"}));
}

TEST_F(ObjectNameTest, MissingToStringRaisesUnknownGameEntry) {
    probe.removeToString = true;
    StandIn::SpawnStructure({.name = u"SupplyCrate_Big_C_3"});
    EXPECT_EQ(probe.error, "Unknown game entry: FName.ToString");
    EXPECT_THAT(probe.names, IsEmpty());
    EXPECT_EQ(probe.nameFieldResolutions, 1u) << "the name field was read before the missing function";
}

TEST_F(GameTextTest, UnresolvableGameEntriesRaiseWithTheirName) {
    for (const char* name : {"FName.ToString", "FMemory.Malloc", "NoSuchClass.NoSuchFunction"}) {
        SCOPED_TRACE(name);
        StandIn::RemoveGameEntry(name);
        try {
            GameFunction<void()>(name);
            ADD_FAILURE() << "no error raised";
        } catch (const std::runtime_error& error) {
            EXPECT_EQ(std::string(error.what()), std::string("Unknown game entry: ") + name);
        }
    }
    int object = 0;
    for (const char* name : {"UObjectBase.Name", "AActor.NoSuchField"}) {
        SCOPED_TRACE(name);
        StandIn::RemoveGameEntry(name);
        try {
            GameField<FName>(&object, name);
            ADD_FAILURE() << "no error raised";
        } catch (const std::runtime_error& error) {
            EXPECT_EQ(std::string(error.what()), std::string("Unknown game entry: ") + name);
        }
    }
}

TEST_F(GameTextTest, MakingTextWithoutTheGameAllocatorRaises) {
    StandIn::RemoveGameEntry("FMemory.Malloc");
    EXPECT_THROW(
        {
            try {
                FString::FromNarrow("abc");
            } catch (const std::runtime_error& error) {
                EXPECT_STREQ(error.what(), "Unknown game entry: FMemory.Malloc");
                throw;
            }
        },
        std::runtime_error);
    EXPECT_EQ(FString::FromNarrow("").ArrayNum, 0) << "empty text needs no allocator";
}

TEST_F(GameTextTest, ReleasingWithoutTheGameFreeLeavesTheBlockAlone) {
    const std::size_t liveBefore = StandIn::Allocator().liveBlocks;
    void* block = nullptr;
    {
        FString text = FString::FromNarrow("abc");
        block = text.Data;
        StandIn::RemoveGameEntry("FMemory.Free");
        // The destructor runs here without the game's free: no error, no other allocator.
    }
    EXPECT_EQ(StandIn::Allocator().liveBlocks, liveBefore + 1) << "the block is left to the game";
    EXPECT_THAT(StandIn::Allocator().faults, IsEmpty());

    StandIn::ResetServer();
    StandIn::GameFree(block);
    EXPECT_EQ(StandIn::Allocator().liveBlocks, liveBefore);
}

}  // namespace
