#pragma once
// The names of spawned objects: which hunted kinds a name or an item key
// holds, how a name is cut to its item key, and asteroid codes.

#include <array>
#include <cstddef>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <string_view>

// The hunted kinds of structure, each by a fragment of its name (any case).
inline constexpr std::string_view SupplyCrateFragment = "SupplyCrate";
inline constexpr std::string_view ElementNodeFragment = "ElementNode";
inline constexpr std::string_view ArtifactCrateFragment = "ArtifactCrate";
inline constexpr std::string_view NestFragment = "Nest_C";
inline constexpr std::string_view BeaverDamFragment = "BeaverDam";
inline constexpr std::array<std::string_view, 5> HuntedFragments{
    SupplyCrateFragment, ElementNodeFragment, ArtifactCrateFragment, NestFragment, BeaverDamFragment};

// On Gen2, a structure whose name holds this is an asteroid crate.
inline constexpr std::string_view AsteroidMap = "Gen2";
inline constexpr std::string_view SpaceCrateFragment = "SupplyCrate_Space_";
// On Ragnarok, an item container whose name holds this is an ocean crate.
inline constexpr std::string_view OceanCrateMap = "Ragnarok";
inline constexpr std::string_view OceanCrateName = "SupplyCreate_OceanInstant_High_C";

// Which fragments an item key's text holds, ASCII case ignored.
struct KeyFragments {
    bool hunted = false;     // any of HuntedFragments
    bool nest = false;       // NestFragment among them
    bool container = false;  // one of the others: those of item containers
    bool ocean = false;      // OceanCrateName
};
KeyFragments FindKeyFragments(std::string_view key);

// The offset of the first "_C_" (any case) in a name, or npos. A name's item
// key is the name up to and including that match's "_C", or the whole name
// when there is none. The game's names have the form CLASS_C_NUMBER, so a
// key never holds "_C_" and ends in "_C".
template <typename Unit>
constexpr std::size_t FindItemKeyEnd(std::basic_string_view<Unit> name) {
    for (std::size_t at = 0; at + 2 < name.size(); ++at) {
        if (name[at] == Unit('_') && (name[at + 1] | 0x20) == Unit('c') && name[at + 2] == Unit('_')) {
            return at;
        }
    }
    return std::basic_string_view<Unit>::npos;
}
inline constexpr std::size_t ItemKeyEndLength = 2;  // of the match, kept in the key: "_C"

// An asteroid crate's code: its item key from byte AsteroidCodeStart up to the
// key's last two bytes (the "_C"). A key shorter than that has none.
inline constexpr std::size_t AsteroidCodeStart = 21;
std::optional<std::string_view> AsteroidCode(std::string_view itemKey);

// Whether some spawned object's name is cut to exactly this item key: a key
// never holds "_C_", since a name is cut at its first one.
constexpr bool CanBeItemKey(std::string_view key) { return FindItemKeyEnd(key) == std::string_view::npos; }
// Whether the key is what a name of the game's form CLASS_C_NUMBER is cut to:
// it can be an item key, and ends in "_C".
bool IsItemKeyOfSomeName(std::string_view key);

// The code that an asteroid crate named with a typed code announces: the
// crate SupplyCrate_Space_01_CODE_C_1 is cut at its first "_C_" like any
// name, so "Red_C_Gem" is announced as "Red".
inline constexpr std::string_view SpaceCrateNamePrefix = "SupplyCrate_Space_01_";
static_assert(SpaceCrateNamePrefix.size() == AsteroidCodeStart && SpaceCrateNamePrefix.starts_with(SpaceCrateFragment));
std::string AsteroidCodeAsSpawned(std::string_view code);

// Whether one of AsteroidGen2's maps keyed by code (AsteroidCodeMaps) has an
// entry for the code; maps that are not objects have none.
bool HasAsteroidCode(const nlohmann::json& asteroids, std::string_view code);
