#pragma once
// How the plugin reads the values of config.json and the names of spawned
// objects, as pure functions: no game calls and nothing of the host. The
// plugin turns their results into the game's types; herald check explains
// them and herald preview plans with them.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json_fwd.hpp>

// ---- Reading the document ------------------------------------------------------
//
// Every read of config.json names its key through the key table's names
// (ConfigKeys.h) and takes its default from there. The plugin's reads raise
// exactly where the JSON library's would (a value of the wrong type), and the
// spawn's error line is that error's text; herald's checker and preview call
// the same reads to learn what the plugin decides, taking a read that raises
// as the decision that nothing is done.

// A member by key, or null when absent. Unlike the library's non-constant
// operator[] it inserts nothing, so the document does not grow with every
// spawned name; on a value that is neither object nor null it raises the
// library's own type error, as operator[] would.
const nlohmann::json& Member(const nlohmann::json& container, std::string_view key);

// object.value(key, fallback) for a text, without copying it: the member's own
// text, or the fallback when there is none. Where value() would raise (object
// not an object, member not a text), it is called and raises; spare holds
// whatever it returns.
std::string_view ReadText(const nlohmann::json& object, std::string_view key, std::string_view fallback,
                          std::string& spare);

// The document's Items, its entry for an item key, and AsteroidGen2.
const nlohmann::json& ItemsOf(const nlohmann::json& document);
const nlohmann::json& ItemEntry(const nlohmann::json& document, std::string_view itemKey);
const nlohmann::json& AsteroidsOf(const nlohmann::json& document);
// An entry's or AsteroidGen2's Notification: the template an announcement is made from.
const nlohmann::json& NotificationOf(const nlohmann::json& owner);

// Whether structures that are not item containers (nests) are examined:
// EnableNests. Item containers are examined whatever it says.
bool NestsExamined(const nlohmann::json& document);
bool IsExamined(bool itemContainer, const nlohmann::json& document);
// Whether asteroid crates are announced on Gen2: AsteroidGen2's Enable.
bool AsteroidsEnabled(const nlohmann::json& asteroids);
// Whether a template is sent as an on-screen notification rather than a chat
// line: its Type is exactly NotificationType (the default).
bool SentOnScreen(const nlohmann::json& notificationTemplate);

// An entry's Name: {Name}'s value, the item key when absent.
std::string_view ItemName(const nlohmann::json& entry, std::string_view itemKey, std::string& spare);
// A template's Msg, its Color text and its Sender.
std::string_view MessageOf(const nlohmann::json& notificationTemplate, std::string& spare);
std::string_view ColorTextOf(const nlohmann::json& notificationTemplate, std::string& spare);
std::string SenderOf(const nlohmann::json& notificationTemplate);

// An asteroid code's values from AsteroidGen2's code maps, each its default
// when the code has no entry: the colour, {Name}, {PrimaryResources},
// {SecondaryResources}.
struct AsteroidValues {
    std::string color;
    std::string name;
    std::string primaryResources;
    std::string secondaryResources;
};
AsteroidValues AsteroidValuesOf(const nlohmann::json& asteroids, const std::string& code);
// The template an asteroid announcement is made from: AsteroidGen2's
// Notification with the code's colour in place of its own.
nlohmann::json AsteroidTemplate(const nlohmann::json& asteroids, const std::string& color);

// ASCII letters in lower case; other bytes as they are.
char LowerAscii(char c);
bool ContainsIgnoringCase(std::string_view text, std::string_view fragment);

// ---- Names of spawned objects ----------------------------------------------------

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
    bool ocean = false;   // OceanCrateName
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

// The code that an asteroid crate named with a typed code announces: the
// crate SupplyCrate_Space_01_CODE_C_1 is cut at its first "_C_" like any
// name, so "Red_C_Gem" is announced as "Red".
inline constexpr std::string_view SpaceCrateNamePrefix = "SupplyCrate_Space_01_";
static_assert(SpaceCrateNamePrefix.size() == AsteroidCodeStart && SpaceCrateNamePrefix.starts_with(SpaceCrateFragment));
std::string AsteroidCodeAsSpawned(std::string_view code);

// Whether one of AsteroidGen2's maps keyed by code (AsteroidCodeMaps) has an
// entry for the code; maps that are not objects have none.
bool HasAsteroidCode(const nlohmann::json& asteroids, std::string_view code);

// ---- Groups and players' choices ---------------------------------------------------

// A group's name: 1 to 32 ASCII letters, digits, '-' and '_'. Groups are
// compared in any case; GroupFold gives the form they are compared and stored in.
inline constexpr std::size_t GroupNameLimit = 32;
bool IsGroupName(std::string_view text);
std::string GroupFold(std::string_view group);

// The group of an entry without a Group of its own: the kind its key names.
inline constexpr std::string_view CratesGroup = "crates";
inline constexpr std::string_view NodesGroup = "nodes";
inline constexpr std::string_view ArtifactsGroup = "artifacts";
inline constexpr std::string_view DamsGroup = "dams";
inline constexpr std::string_view OceanGroup = "ocean";
inline constexpr std::string_view NestsGroup = "nests";
std::string_view KindGroup(std::string_view itemKey);
// The group an Items entry's announcements belong to: its Group when that is a
// group's name, otherwise the kind's (herald check reports any other Group).
// Never raises.
std::string_view GroupOf(const nlohmann::json& entry, std::string_view itemKey);
// AsteroidGen2's Group, DefaultAsteroidGroup when it has none that is a group's name.
std::string_view AsteroidGroupOf(const nlohmann::json& asteroids);

// Whether a template can send anything: an object whose Msg is a text that is
// not empty. Never raises.
bool CanSend(const nlohmann::json& notificationTemplate);

// Whether an Items entry, or AsteroidGen2 on Gen2, can send something, which
// puts its group among those announced: an entry's key can be an item key,
// its kind is examined (EnableNests for all but item containers and ocean
// crates), and its
// template can send; asteroids must be enabled. Raise where EnableNests or
// Enable is of the wrong type, as the spawn's reads do.
bool EntryCanSend(const nlohmann::json& document, std::string_view itemKey, const nlohmann::json& entry);
bool AsteroidsCanSend(const nlohmann::json& asteroids);

// The groups a server on this map announces: those of the entries that can
// send something, each once (as the first such entry in the document writes
// it), sorted in any case.
std::vector<std::string> AnnouncedGroups(const nlohmann::json& document, std::string_view map);

// A chat command's name: '/' then 1 to 32 ASCII letters or digits.
inline constexpr std::size_t ChatCommandNameLimit = 32;
bool IsChatCommandName(std::string_view text);

// Whether Players' Store names a file: a text, not empty, with no zero
// character (the file's name would end there).
bool IsStorePath(const nlohmann::json& store);

// Players: whether players choose, the chat command and the store's path as
// written. An Enable or Command not of its key's form is replaced by the
// default; a Store that is no path leaves none. problems names each, as the
// log words it. Never raises.
struct PlayersSettings {
    bool enabled = true;
    std::string command;
    std::optional<std::string> store;
    std::vector<std::string> problems;
};
PlayersSettings PlayersSettingsOf(const nlohmann::json& document);

// ---- Calm on a busy server ------------------------------------------------------------

// A count: a whole number from 0 to 2^31 - 1, written as an integer.
std::optional<std::int32_t> ReadCount(const nlohmann::json& value);

// Calm: the players needed before anything is announced, the cooldown of an
// entry without its own, and the digest's template. A value not of its
// key's form is replaced by the default, and problems names it, as the log
// words it. Never raises.
struct CalmSettings {
    std::int32_t minPlayers = 0;
    std::int32_t cooldown = 0;
    std::string digest;
    std::vector<std::string> problems;
    // Whether anything is held back at all: without it every spawn is announced.
    bool Holds() const { return minPlayers > 0 || cooldown > 0; }
};
CalmSettings CalmSettingsOf(const nlohmann::json& document);
// An Items entry's cooldown in seconds: its Cooldown when a count, otherwise
// the settings'. Never raises.
std::int32_t CooldownOf(const nlohmann::json& entry, const CalmSettings& calm);
// Whether some Items entry sets a cooldown of its own above 0.
bool SomeEntryCoolsDown(const nlohmann::json& document);

// ---- The Discord relay ------------------------------------------------------------

// A webhook's address as the relay takes it: https://, or http:// to a
// loopback host (localhost, 127.x.x.x, [::1]), with a host, and no space,
// control character or more than WebhookLimit bytes. None when usable, or why not.
inline constexpr std::size_t WebhookLimit = 2048;
std::optional<std::string> WebhookRefusal(std::string_view address);
// How a webhook is shown wherever people read it, since its address is a
// secret: its host (and port) followed by "…". Without a host: "…" alone.
std::string WebhookShown(std::string_view address);
// Whether a text starts as a web address does (http:// or https://, in any case).
bool IsWebAddress(std::string_view text);
// The text with every web address in it shown as WebhookShown shows it: a
// library's parse error quotes what it last read, which can be the webhook.
std::string WithoutAddresses(std::string_view text);

// Discord: whether announcements are relayed, where to, which groups (folded,
// GroupFold; none: every group) and the Username template. A Discord that is
// not an object, or a webhook that is refused, relays nothing; a Groups or
// Username not of its key's form is replaced by the default. problems names
// each, as the log words it, never with the whole address. Never raises.
struct DiscordSettings {
    bool present = false;  // Discord is in the document, whatever it holds
    bool relays = false;
    std::string webhook;
    std::optional<std::vector<std::string>> groups;
    std::string username;
    std::vector<std::string> problems;
};
DiscordSettings DiscordSettingsOf(const nlohmann::json& document);
// Whether the settings relay the group (folded).
bool RelaysGroup(const DiscordSettings& discord, std::string_view foldedGroup);

// ---- Placeholders ------------------------------------------------------------------

inline constexpr std::string_view MapNamePlaceholder = "{MapName}";
inline constexpr std::string_view NamePlaceholder = "{Name}";
inline constexpr std::string_view LatitudePlaceholder = "{Lat}";
inline constexpr std::string_view LongitudePlaceholder = "{Lon}";
inline constexpr std::string_view EggLevelPlaceholder = "{EggLvl}";
inline constexpr std::string_view PrimaryResourcesPlaceholder = "{PrimaryResources}";
inline constexpr std::string_view SecondaryResourcesPlaceholder = "{SecondaryResources}";
inline constexpr std::string_view CountPlaceholder = "{Count}";
inline constexpr std::array<std::string_view, 8> Placeholders{
    MapNamePlaceholder,          NamePlaceholder,               LatitudePlaceholder, LongitudePlaceholder,
    EggLevelPlaceholder,         PrimaryResourcesPlaceholder,   SecondaryResourcesPlaceholder, CountPlaceholder};

// Structure: an Items entry of a structure, or a nest that no creature laid;
// Nest: a nest looked up under its creature's key, which shows the level;
// Digest: the line that tells of the spawns an entry's cooldown held.
enum class AnnouncementKind { Structure, Nest, OceanCrate, Asteroid, Digest };

// The values an announcement has for its placeholders; each kind fills some.
struct PlaceholderValues {
    std::string_view mapName;
    std::string_view name;
    std::string_view latitude;
    std::string_view longitude;
    std::string_view eggLevel;
    std::string_view primaryResources;
    std::string_view secondaryResources;
    std::string_view count;
};
struct FilledPlaceholder {
    std::string_view text;
    std::string_view PlaceholderValues::*value;
};

// A nest's placeholders are a structure's and its level.
inline constexpr FilledPlaceholder ItemPlaceholders[] = {{MapNamePlaceholder, &PlaceholderValues::mapName},
                                                         {LatitudePlaceholder, &PlaceholderValues::latitude},
                                                         {LongitudePlaceholder, &PlaceholderValues::longitude},
                                                         {NamePlaceholder, &PlaceholderValues::name},
                                                         {EggLevelPlaceholder, &PlaceholderValues::eggLevel}};
inline constexpr FilledPlaceholder DigestPlaceholders[] = {{MapNamePlaceholder, &PlaceholderValues::mapName},
                                                           {LatitudePlaceholder, &PlaceholderValues::latitude},
                                                           {LongitudePlaceholder, &PlaceholderValues::longitude},
                                                           {NamePlaceholder, &PlaceholderValues::name},
                                                           {CountPlaceholder, &PlaceholderValues::count}};
inline constexpr FilledPlaceholder AsteroidPlaceholders[] = {
    {MapNamePlaceholder, &PlaceholderValues::mapName},
    {NamePlaceholder, &PlaceholderValues::name},
    {PrimaryResourcesPlaceholder, &PlaceholderValues::primaryResources},
    {SecondaryResourcesPlaceholder, &PlaceholderValues::secondaryResources}};

// The placeholders an announcement fills, in the order it fills them.
constexpr std::span<const FilledPlaceholder> FilledPlaceholders(AnnouncementKind kind) {
    switch (kind) {
        case AnnouncementKind::Structure:
        case AnnouncementKind::OceanCrate:
            return std::span(ItemPlaceholders).first(4);
        case AnnouncementKind::Nest:
            return ItemPlaceholders;
        case AnnouncementKind::Asteroid:
            return AsteroidPlaceholders;
        case AnnouncementKind::Digest:
            return DigestPlaceholders;
    }
    return {};
}

// An announcement's replacement list: each placeholder its kind fills, in
// that order, followed by its value. The kind is known where the list is
// made, so it is laid out as if written by hand there (it is made on every
// spawn).
template <AnnouncementKind Kind>
constexpr auto ReplacementsOf(const PlaceholderValues& values) {
    constexpr std::span<const FilledPlaceholder> filled = FilledPlaceholders(Kind);
    std::array<std::string_view, 2 * filled.size()> list;
    for (std::size_t i = 0; i < filled.size(); ++i) {
        list[2 * i] = filled[i].text;
        list[2 * i + 1] = values.*filled[i].value;
    }
    return list;
}

// The level shown for a nest that SkyCrateHerald.Test or herald preview
// makes up, laid by a creature of the key tried.
inline constexpr int SampleCreatureLevel = 150;

// ---- Values ----------------------------------------------------------------------------

// A colour text: exactly "Random", or, up to its first zero character, three
// numbers between commas (empty pieces skipped; leading blanks and a sign
// allowed; reading stops at the first character that is no digit; a number
// beyond 32 bits fails). The game takes each number's low 8 bits. Anything
// else is no colour, and shows green.
inline constexpr std::string_view RandomColorText = "Random";
struct ColorReading {
    bool isColor = false;
    bool random = false;
    std::array<std::int32_t, 3> numbers{};  // red, green, blue as written
};
ColorReading ReadColorText(std::string_view text);

// A colour number as the game shows it: its low 8 bits (300 is 44, -1 is 255).
constexpr std::uint8_t ColorChannel(std::int32_t number) { return static_cast<std::uint8_t>(number & 0xFF); }

// Written as an admin writes a colour: "Random", or exactly three pieces of
// digits with blanks around them.
bool IsPlainColorText(std::string_view text);

// Time as the game receives it: a number with its fraction dropped (toward
// zero), true as 1, and beyond the 32-bit range the nearest end of it. Any
// other type raises the library's type error, as a lookup of a 32-bit integer.
struct DisplayTime {
    enum class Note { Exact, Boolean, Fraction, Saturated };
    std::int32_t value = 0;
    Note note = Note::Exact;
};
DisplayTime ReadDisplayTime(const nlohmann::json& time);
// A notification's Time, DefaultDisplayTime when absent. The template is an object.
std::int32_t DisplayTimeOf(const nlohmann::json& notificationTemplate);
// The game takes the time as a float, which beyond 2^24 holds only some whole
// numbers: 33554431 arrives as 33554432.
constexpr float DeliveredDisplayTime(std::int32_t time) { return static_cast<float>(time); }
// The delivered time as digits ("33554432"); it is always a whole number.
std::string DeliveredDisplayTimeText(std::int32_t time);

// Size as the library reads a double, narrowed to the game's float: beyond the
// float range, the largest finite float of its sign. A value that is not a
// number (true included) raises the library's type error.
struct DisplaySize {
    float value = 0;
    bool saturated = false;
};
DisplaySize ReadDisplaySize(const nlohmann::json& size);
// A notification's Size, DefaultDisplaySize when absent. The template is an object.
float DisplaySizeOf(const nlohmann::json& notificationTemplate);

// A float as an admin writes it in config.json: the fewest digits that read
// back as the same float (1.2, not 1.20000005).
std::string FloatText(float value);
// Whether a number written in config.json reaches the game as written: the
// float it becomes reads as the same number in its own fewest digits (1.1 does;
// 16777217, which arrives as 16777216, and 0.123456789 do not).
bool IsDeliveredAsWritten(double written);

// ---- Near misses -------------------------------------------------------------------

// Edits between two texts, ASCII case ignored, a swap of neighbours counting
// as one; anything beyond limit is given as limit + 1. Time grows with the
// longer text times the limit, so a long text costs no more than its length.
std::size_t EditDistance(std::string_view a, std::string_view b, std::size_t limit);

// How far a text may be from a known key to be called a near miss of it: a
// third of the known key, at least one edit and at most three. herald check's
// "did you mean" and SkyCrateHerald.Test's share it, so both name the same key.
std::size_t NearMissLimit(std::string_view known);

// What one search for the nearest key may cost, whatever the keys and the
// typed text: SkyCrateHerald.Test searches on the game's thread. Keys longer
// than NearMissLengthLimit are never named (the game's class names are far
// shorter), and the comparisons stop once they have computed
// NearMissWorkLimit cells of the edit distance's band, keeping the nearest
// found so far: an ordinary config needs a few thousand.
inline constexpr std::size_t NearMissLengthLimit = 128;
inline constexpr std::size_t NearMissWorkLimit = 100'000;
// One search for the nearest key, offered the known keys one at a time.
class NearMissSearch {
public:
    explicit NearMissSearch(std::string_view typed) : typed_(typed) {}
    // Compares one known key with typed, unless its length or typed's rules
    // it out at once. False once the search's work is spent: the keys not yet
    // offered need not be.
    bool Offer(std::string_view known);
    // The nearest key offered within its near-miss limit; the first of them on a tie.
    std::optional<std::string_view> Nearest() const { return nearest_; }

private:
    std::string_view typed_;
    std::optional<std::string_view> nearest_;
    std::size_t nearestDistance_ = SIZE_MAX;
    std::size_t work_ = 0;
    bool spent_ = false;
};

std::optional<std::string_view> NearestKnown(std::string_view typed, std::span<const std::string_view> known);
// The asteroid code of AsteroidGen2's maps nearest to typed, as NearestKnown
// finds it, the maps searched in the order of AsteroidCodeMaps.
std::optional<std::string_view> NearestAsteroidCode(const nlohmann::json& asteroids, std::string_view typed);
