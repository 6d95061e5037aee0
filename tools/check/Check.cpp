#include "check/Check.h"

#include <algorithm>
#include <array>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <optional>
#include <unordered_map>
#include <unordered_set>

#include "check/DocumentScan.h"
#include "common/Output.h"
#include "config/ConfigLimits.h"

namespace Herald {

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

// ---- Text helpers --------------------------------------------------------------

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameIgnoringCase(char a, char b) { return LowerAscii(a) == LowerAscii(b); }

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), SameIgnoringCase);
}

std::size_t FindIgnoringCase(std::string_view text, std::string_view fragment) {
    const auto found = std::search(text.begin(), text.end(), fragment.begin(), fragment.end(), SameIgnoringCase);
    return found == text.end() ? std::string_view::npos : static_cast<std::size_t>(found - text.begin());
}

bool ContainsIgnoringCase(std::string_view text, std::string_view fragment) {
    return FindIgnoringCase(text, fragment) != std::string_view::npos;
}

bool EndsWithIgnoringCase(std::string_view text, std::string_view tail) {
    return text.size() >= tail.size() && EqualIgnoringCase(text.substr(text.size() - tail.size()), tail);
}

// A text as the admin wrote it, quoted, with control characters escaped.
std::string Quote(std::string_view text) { return JsonString(text); }

// Edits between two texts, ignoring case; a swap of neighbours counts as one,
// so "Tmie" is one edit from "Time". Anything beyond limit is given as
// limit + 1: a text longer than the other by more than limit costs nothing,
// and otherwise three rows as long as the shorter text are all it takes.
std::size_t EditDistance(std::string_view a, std::string_view b, std::size_t limit) {
    if (a.size() < b.size()) {
        std::swap(a, b);
    }
    if (a.size() - b.size() > limit) {
        return limit + 1;
    }
    std::vector<std::size_t> beforePrevious(b.size() + 1);
    std::vector<std::size_t> previous(b.size() + 1);
    std::vector<std::size_t> current(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) {
        previous[j] = j;
    }
    for (std::size_t i = 1; i <= a.size(); ++i) {
        current[0] = i;
        std::size_t rowLeast = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t change = SameIgnoringCase(a[i - 1], b[j - 1]) ? 0 : 1;
            current[j] = std::min({previous[j] + 1, current[j - 1] + 1, previous[j - 1] + change});
            if (i > 1 && j > 1 && SameIgnoringCase(a[i - 1], b[j - 2]) && SameIgnoringCase(a[i - 2], b[j - 1])) {
                current[j] = std::min(current[j], beforePrevious[j - 2] + 1);
            }
            rowLeast = std::min(rowLeast, current[j]);
        }
        if (rowLeast > limit) {
            return limit + 1;
        }
        std::swap(beforePrevious, previous);
        std::swap(previous, current);
    }
    return std::min(previous[b.size()], limit + 1);
}

// Each finding's path repeats the keys above it, so no one object or text
// gets more than this many findings of one kind: a long item key costs its
// length a few times over, not once for every key or word beneath it.
constexpr std::size_t FindingsListedPerPlace = 20;

// How far a key may be from a known one to be called a near miss of it: a
// third of the known key, at least one edit and at most three.
std::size_t NearMissLimit(std::string_view known) { return std::clamp<std::size_t>(known.size() / 3, 1, 3); }

// ---- What the plugin knows -----------------------------------------------------

struct KnownKey {
    std::string_view pointer;
    std::string_view type;
};
constexpr KnownKey KnownKeys[] = {
    {"/$schema", "string"},
    {"/EnableNests", "boolean"},
    {"/Items", "object"},
    {"/Items/*", "object"},
    {"/Items/*/Name", "string"},
    {"/Items/*/Notification", "object"},
    {"/Items/*/Notification/Msg", "string"},
    {"/Items/*/Notification/Type", "string"},
    {"/Items/*/Notification/Time", "integer"},
    {"/Items/*/Notification/Size", "number"},
    {"/Items/*/Notification/Color", "string"},
    {"/Items/*/Notification/Sender", "string"},
    {"/AsteroidGen2", "object"},
    {"/AsteroidGen2/Enable", "boolean"},
    {"/AsteroidGen2/Color", "object"},
    {"/AsteroidGen2/Color/*", "string"},
    {"/AsteroidGen2/Name", "object"},
    {"/AsteroidGen2/Name/*", "string"},
    {"/AsteroidGen2/PrimaryResources", "object"},
    {"/AsteroidGen2/PrimaryResources/*", "string"},
    {"/AsteroidGen2/SecondaryResources", "object"},
    {"/AsteroidGen2/SecondaryResources/*", "string"},
    {"/AsteroidGen2/Notification", "object"},
    {"/AsteroidGen2/Notification/Msg", "string"},
    {"/AsteroidGen2/Notification/Type", "string"},
    {"/AsteroidGen2/Notification/Time", "integer"},
    {"/AsteroidGen2/Notification/Size", "number"},
    {"/AsteroidGen2/Notification/Color", "ignored"},
    {"/AsteroidGen2/Notification/Sender", "string"},
};

// The names known directly under a pointer of the table ("" for the top level).
std::vector<std::string_view> KeysUnder(std::string_view parent) {
    std::vector<std::string_view> names;
    for (const KnownKey& key : KnownKeys) {
        if (key.pointer.size() > parent.size() + 1 && key.pointer.starts_with(parent) &&
            key.pointer[parent.size()] == '/') {
            const std::string_view name = key.pointer.substr(parent.size() + 1);
            if (name.find('/') == std::string_view::npos && name != "*") {
                names.push_back(name);
            }
        }
    }
    return names;
}

// Texts searched in the names of spawned structures (any case).
constexpr std::array<std::string_view, 5> SpawnFragments{"SupplyCrate", "ElementNode", "ArtifactCrate", "Nest_C",
                                                         "BeaverDam"};
constexpr std::string_view NestFragment = "Nest_C";
constexpr std::string_view OceanCrateFragment = "SupplyCreate_OceanInstant_High_C";

constexpr std::array<std::string_view, 7> Placeholders{
    "{MapName}", "{Name}", "{Lat}", "{Lon}", "{EggLvl}", "{PrimaryResources}", "{SecondaryResources}"};

// The plugin's words when it refuses a file, as its log line and its RCON
// reply give them.
constexpr std::string_view CantOpenWords = "Can't open config.json";
constexpr std::string_view NotRegularFileWords = ConfigNotRegularFileMessage;
constexpr std::string_view TooLargeWords = ConfigTooLargeMessage;
constexpr std::string_view TooDeepWords = ConfigTooDeepMessage;

constexpr std::string_view RefusedWords = "the plugin refuses to load it, and a reload keeps the previous settings";

enum class AnnouncementKind { Structure, Creature, OceanCrate, Asteroid };

std::vector<std::string_view> FilledPlaceholders(AnnouncementKind kind) {
    switch (kind) {
        case AnnouncementKind::Structure:
        case AnnouncementKind::OceanCrate:
            return {"{MapName}", "{Lat}", "{Lon}", "{Name}"};
        case AnnouncementKind::Creature:
            return {"{MapName}", "{Lat}", "{Lon}", "{Name}", "{EggLvl}"};
        case AnnouncementKind::Asteroid:
            return {"{MapName}", "{Name}", "{PrimaryResources}", "{SecondaryResources}"};
    }
    return {};
}

std::string KindWords(AnnouncementKind kind) {
    switch (kind) {
        case AnnouncementKind::Structure:
            return "a structure's announcement";
        case AnnouncementKind::Creature:
            return "a nest's announcement";
        case AnnouncementKind::OceanCrate:
            return "an ocean crate's announcement";
        case AnnouncementKind::Asteroid:
            return "an asteroid announcement";
    }
    return {};
}

// A text as the game shows it: its string ends at the first zero character.
std::optional<std::string_view> CutAtZero(std::string_view text) {
    const std::size_t zero = text.find('\0');
    return zero == std::string_view::npos ? std::nullopt : std::optional(text.substr(0, zero));
}

// How the plugin reads a colour text: exactly "Random", or, up to its first
// zero character, three numbers between commas (empty pieces skipped, leading
// blanks allowed, reading stops at the first character that is no digit, a
// number beyond 32 bits fails). Anything else shows green.
struct ColorReading {
    bool isColor = false;
    bool random = false;
    std::array<long long, 3> numbers{};
    bool plain = false;  // written as "R,G,B": digits with blanks around them, nothing else
};

// Blanks, digits, blanks: a colour number as an admin writes one.
bool IsPlainNumber(std::string_view piece) {
    const std::size_t at = std::min(piece.find_first_not_of(' '), piece.size());
    const std::size_t digits = std::min(piece.find_first_not_of("0123456789", at), piece.size());
    return digits > at && piece.find_first_not_of(' ', digits) == std::string_view::npos;
}

ColorReading ReadColor(std::string_view text) {
    ColorReading reading;
    if (text == "Random") {
        reading.isColor = reading.random = reading.plain = true;
        return reading;
    }
    text = CutAtZero(text).value_or(text);
    std::size_t found = 0;
    std::size_t pieces = 0;
    bool plain = true;
    for (std::size_t start = 0; start <= text.size(); ++pieces) {
        const std::size_t comma = std::min(text.find(',', start), text.size());
        const std::string_view piece = text.substr(start, comma - start);
        start = comma + 1;
        plain = plain && IsPlainNumber(piece);
        if (piece.empty() || found == 3) {
            continue;
        }
        std::size_t at = 0;
        while (at < piece.size() && (piece[at] == ' ' || (piece[at] >= '\t' && piece[at] <= '\r'))) {
            ++at;
        }
        bool negative = false;
        if (at < piece.size() && (piece[at] == '+' || piece[at] == '-')) {
            negative = piece[at] == '-';
            ++at;
        }
        const std::size_t first = at;
        long long value = 0;
        for (; at < piece.size() && piece[at] >= '0' && piece[at] <= '9'; ++at) {
            value = std::min(value * 10 + (piece[at] - '0'), 1LL << 40);
        }
        value = negative ? -value : value;
        if (at == first || value > INT32_MAX || value < INT32_MIN) {
            return reading;
        }
        reading.numbers[found++] = value;
    }
    reading.isColor = found == 3;
    reading.plain = plain && pieces == 3;
    return reading;
}

// What the plugin hands the game as the display time: the number with its
// fraction dropped (toward zero), true as 1, and beyond the 32-bit range the
// nearest end of it.
struct TimeReading {
    enum class Note { Exact, Boolean, Fraction, Saturated };
    int32_t value = 0;
    Note note = Note::Exact;
};

TimeReading ReadTime(const Json& time) {
    using Note = TimeReading::Note;
    if (time.is_boolean()) {
        return {time.get<bool>() ? 1 : 0, Note::Boolean};
    }
    if (time.is_number_unsigned()) {
        const auto number = time.get<std::uint64_t>();
        return number > INT32_MAX ? TimeReading{INT32_MAX, Note::Saturated}
                                  : TimeReading{static_cast<int32_t>(number), Note::Exact};
    }
    if (time.is_number_integer()) {
        const auto number = time.get<std::int64_t>();
        return number < INT32_MIN   ? TimeReading{INT32_MIN, Note::Saturated}
               : number > INT32_MAX ? TimeReading{INT32_MAX, Note::Saturated}
                                    : TimeReading{static_cast<int32_t>(number), Note::Exact};
    }
    const double number = time.get<double>();
    if (number >= 2147483648.0) {
        return {INT32_MAX, Note::Saturated};
    }
    if (number < -2147483648.0) {
        return {INT32_MIN, Note::Saturated};
    }
    const auto value = static_cast<int32_t>(number);
    return {value, value == number ? Note::Exact : Note::Fraction};
}

// ---- The checks ------------------------------------------------------------------

std::string ArticleType(const Json& value) {
    const std::string name = value.type_name();
    return value.is_null() ? name : (name == "array" || name == "object" ? "an " : "a ") + name;
}

std::string Article(std::string_view type) {
    return (type == "object" || type == "array" ? "an " : "a ") + std::string(type);
}

// "is a string, not a boolean": every finding about a value of the wrong JSON
// type begins so.
std::string WrongType(std::string_view expected, const Json& value) {
    return "is " + ArticleType(value) + ", not " + Article(expected);
}

// The library's words when a value-with-default lookup meets the wrong type.
std::string TypeFailure(std::string_view expected, const Json& value) {
    return WrongType(expected, value) + ": the lookup fails (\"type must be " + std::string(expected) + ", but is " +
           value.type_name() + "\")";
}

class ConfigChecker {
public:
    std::vector<Finding> findings;

    void Error(const std::string& path, const std::string& message) {
        findings.push_back({Severity::Error, path, message});
    }
    void Warning(const std::string& path, const std::string& message) {
        findings.push_back({Severity::Warning, path, message});
    }

    void CheckDocument(const Json& document) {
        if (document.is_null()) {
            // The lookups that meet the document first: EnableNests, for every
            // structure that is not an item container, whatever its name; and
            // AsteroidGen2, for an asteroid crate on Gen2. Items of a null
            // document are merely absent.
            Error("",
                  "the document is null, not an object: nothing is sent for any spawn, and every structure that is "
                  "not an item container (nests among them) and every asteroid crate on Gen2 fails its first lookup "
                  "(\"cannot use value() with null\"): an error line is logged for each");
            return;
        }
        if (!document.is_object()) {
            Error("", "the document " + WrongType("object", document) +
                          ": every hunted object that spawns, and every structure that is not an item container, "
                          "fails its first lookup (\"cannot use value() with " +
                          document.type_name() + "\" or \"cannot use operator[] with a string argument with " +
                          document.type_name() + "\"): nothing is sent and an error line is logged for each");
            return;
        }
        UnknownKeys("", document);
        if (const auto schema = document.find("$schema"); schema != document.end() && !schema->is_string()) {
            Warning("/$schema", WrongType("string", *schema) +
                                    ": an editor can't find the schema by it (the plugin never reads it)");
        }
        enableNests_ = false;
        if (const auto nests = document.find("EnableNests"); nests != document.end()) {
            if (!nests->is_boolean()) {
                Error("/EnableNests", TypeFailure("boolean", *nests) +
                                          " at every spawn of a structure that is not an item container: that "
                                          "structure is skipped and an error line is logged");
            } else {
                enableNests_ = nests->get<bool>();
            }
        }
        const bool asteroidsOn = CheckAsteroids(document);
        const auto items = document.find("Items");
        if (items == document.end() || items->is_null()) {
            if (!asteroidsOn) {
                Warning("/Items", "no Items: nothing is ever announced");
            }
        } else if (!items->is_object()) {
            Error("/Items", WrongType("object", *items) +
                                " keyed by item key: the lookup fails (\"cannot use operator[] with a string "
                                "argument with " +
                                items->type_name() +
                                "\") for every hunted object that spawns; it is not announced and an error line "
                                "is logged");
        } else {
            for (const auto& [key, entry] : items->items()) {
                CheckItem(key, entry);
            }
        }
    }

private:
    // Keys the plugin never reads, with the nearest known key when one is a
    // near miss, and else the keys it does read there.
    void UnknownKeys(const std::string& path, const Json& object, std::string_view pattern = {}) {
        const std::vector<std::string_view> known = KeysUnder(pattern.empty() ? std::string_view(path) : pattern);
        std::size_t listed = 0;
        std::size_t unlisted = 0;
        for (const auto& [key, value] : object.items()) {
            if (std::find(known.begin(), known.end(), key) != known.end()) {
                continue;
            }
            if (++listed > FindingsListedPerPlace) {
                ++unlisted;
                continue;
            }
            std::optional<std::string_view> nearest;
            std::size_t nearestDistance = SIZE_MAX;
            for (const std::string_view candidate : known) {
                const std::size_t limit = NearMissLimit(candidate);
                const std::size_t distance = EditDistance(key, candidate, limit);
                if (distance <= limit && distance < nearestDistance) {
                    nearest = candidate;
                    nearestDistance = distance;
                }
            }
            std::string message = "unknown key " + Quote(key) + ", never read by the plugin (";
            if (nearest) {
                message += "nearest known key: " + Quote(*nearest) + ")";
            } else {
                message += "the keys read here: ";
                for (const std::string_view candidate : known) {
                    message += (candidate == known.front() ? "" : ", ") + std::string(candidate);
                }
                message += ")";
            }
            Warning(path + PointerStep(key), message);
        }
        if (unlisted > 0) {
            Warning(path, std::to_string(unlisted) + " more unknown keys here, never read by the plugin (not listed)");
        }
    }

    // A text shown to players, cut where the game's string ends.
    void ZeroCharacter(const std::string& path, std::string_view text, std::string_view shownAs) {
        if (const std::optional<std::string_view> shown = CutAtZero(text)) {
            Warning(path, "holds a zero character: the game's text ends there, so " + std::string(shownAs) + " " +
                              Quote(*shown));
        }
    }

    // A key is made from an instance name such as SupplyCrate_Level03_C_5 by
    // cutting after its first "_C_", so it never holds "_C_" itself, and for
    // the game's names (CLASS_C_NUMBER) it ends in "_C".
    void CheckItem(const std::string& key, const Json& entry) {
        const std::string path = "/Items" + PointerStep(key);
        const bool ocean = ContainsIgnoringCase(key, OceanCrateFragment);
        const bool hunted = std::any_of(SpawnFragments.begin(), SpawnFragments.end(),
                                        [&](std::string_view fragment) { return ContainsIgnoringCase(key, fragment); });
        AnnouncementKind kind = ocean ? AnnouncementKind::OceanCrate : AnnouncementKind::Structure;
        const std::size_t cut = FindIgnoringCase(key, "_C_");
        if (cut != std::string::npos) {
            Warning(path,
                    "no spawned object's name produces this key: a name is cut after its first \"_C_\", "
                    "dropping the instance number, so this entry is never found (did you mean " +
                        Quote(std::string_view(key).substr(0, cut + 2)) + "?)");
        } else if (!EndsWithIgnoringCase(key, "_C")) {
            Warning(path, std::string("no spawned object's name produces this key: names have the form "
                                      "CLASS_C_NUMBER, whose key ends in \"_C\"") +
                              (hunted || ocean ? ""
                                               : ", and it holds none of SupplyCrate, ElementNode, ArtifactCrate, "
                                                 "Nest_C, BeaverDam or SupplyCreate_OceanInstant_High_C"));
        } else if (!hunted && !ocean) {
            // Only a creature's key can be meant: nests are looked up under
            // the creature that laid them.
            kind = AnnouncementKind::Creature;
            if (!enableNests_) {
                Warning(path,
                        "this key can only be a creature's (nests are looked up under the creature that laid "
                        "them), but EnableNests is not true, so nests are never announced");
            }
        } else if (!ocean && ContainsIgnoringCase(key, NestFragment) && !enableNests_) {
            // A nest is no item container: without EnableNests it is never examined.
            Warning(path,
                    "a nest's own key (a nest without a creature is looked up under it), but EnableNests is not "
                    "true, so nests are never announced");
        }

        if (entry.is_null()) {
            Warning(path, "null: this kind is not announced");
            return;
        }
        if (!entry.is_object()) {
            Error(path, "an entry " + WrongType("object", entry) +
                            ": when it spawns, the lookup of its Name fails (\"cannot use value() with " +
                            entry.type_name() + "\"); that announcement is skipped and an error line is logged");
            return;
        }
        UnknownKeys(path, entry, "/Items/*");
        if (const auto name = entry.find("Name"); name != entry.end()) {
            if (!name->is_string()) {
                Error(path + "/Name", TypeFailure("string", *name) +
                                          " when it spawns: that announcement is skipped and an error line is logged");
            } else {
                ZeroCharacter(path + "/Name", name->get_ref<const std::string&>(),
                              "a message is cut off where {Name} stands, after");
            }
        }
        const auto notification = entry.find("Notification");
        CheckTemplate(path + "/Notification", notification != entry.end() ? &*notification : nullptr, kind);
    }

    void CheckTemplate(const std::string& path, const Json* notification, AnnouncementKind kind) {
        const bool asteroid = kind == AnnouncementKind::Asteroid;
        // Time, Size and Color are read only once someone is there to see the notification.
        const auto failure = [asteroid](bool atDelivery) {
            const std::string online = atDelivery ? " while a player is online" : "";
            return asteroid ? " at every asteroid crate that spawns" + online +
                                  ": its asteroid announcement is skipped and an error line is logged"
                            : " when it spawns" + online + ": that announcement is skipped and an error line is logged";
        };
        if (notification == nullptr || notification->is_null()) {
            Warning(path, "no Notification: nothing is sent");
            return;
        }
        if (!notification->is_object()) {
            // An asteroid's copy takes the code's Color by member access,
            // which fails on anything but an object or null.
            if (asteroid) {
                Error(path, WrongType("object", *notification) +
                                ": every asteroid crate that spawns fails (\"cannot use operator[] with a string "
                                "argument with " +
                                notification->type_name() + "\"): nothing is sent and an error line is logged");
            } else {
                Warning(path, WrongType("object", *notification) + ": nothing is sent");
            }
            return;
        }
        const Json& fields = *notification;
        UnknownKeys(path, fields, asteroid ? "/AsteroidGen2/Notification" : "/Items/*/Notification");

        const auto message = fields.find("Msg");
        if (message != fields.end() && !message->is_string()) {
            Error(path + "/Msg", TypeFailure("string", *message) + failure(false));
        } else if (message == fields.end() || message->get_ref<const std::string&>().empty()) {
            Warning(path + "/Msg", message == fields.end() ? "no Msg: nothing is sent" : "empty Msg: nothing is sent");
        } else {
            const std::string& text = message->get_ref<const std::string&>();
            ZeroCharacter(path + "/Msg", text, "players see only what comes before it:");
            CheckPlaceholders(path + "/Msg", CutAtZero(text).value_or(text), kind);
        }

        bool onScreen = true;
        if (const auto type = fields.find("Type"); type != fields.end()) {
            if (!type->is_string()) {
                Error(path + "/Type", TypeFailure("string", *type) + failure(false));
            } else {
                onScreen = CheckType(path + "/Type", type->get_ref<const std::string&>());
            }
        }

        // Keys the chosen delivery never reads cannot fail; a wrong type there
        // only bites once Type changes.
        const auto unread = [&](const std::string& key, std::string_view expected, const Json& value) {
            Warning(path + "/" + key, WrongType(expected, value) + ", but it is not read for " +
                                          (onScreen ? "on-screen notifications" : "chat lines") +
                                          "; it would fail if Type changed");
        };
        if (const auto time = fields.find("Time"); time != fields.end()) {
            if (!time->is_number() && !time->is_boolean()) {
                onScreen ? Error(path + "/Time", TypeFailure("number", *time) + failure(true))
                         : unread("Time", "number", *time);
            } else if (onScreen) {
                CheckTime(path + "/Time", *time);
            }
        }
        if (const auto size = fields.find("Size"); size != fields.end()) {
            if (!size->is_number()) {
                onScreen ? Error(path + "/Size", TypeFailure("number", *size) + failure(true))
                         : unread("Size", "number", *size);
            } else if (onScreen && std::fabs(size->get<double>()) > FLT_MAX) {
                Warning(path + "/Size",
                        size->dump() + " is beyond the range of the single-precision number the game receives");
            }
        }
        if (const auto sender = fields.find("Sender"); sender != fields.end()) {
            if (!sender->is_string()) {
                onScreen ? unread("Sender", "string", *sender)
                         : Error(path + "/Sender", TypeFailure("string", *sender) + failure(false));
            } else if (!onScreen) {
                ZeroCharacter(path + "/Sender", sender->get_ref<const std::string&>(), "players see the sender");
            }
        }
        const auto color = fields.find("Color");
        if (asteroid) {
            if (color != fields.end()) {
                Warning(path + "/Color",
                        "has no effect: each asteroid announcement takes its colour from "
                        "AsteroidGen2/Color for its code");
            }
        } else if (color != fields.end() && !color->is_string()) {
            onScreen ? Error(path + "/Color", TypeFailure("string", *color) + failure(true))
                     : unread("Color", "string", *color);
        } else if (onScreen) {
            if (color == fields.end()) {
                Warning(path + "/Color", "no Color: the notification shows green");
            } else {
                CheckColor(path + "/Color", color->get_ref<const std::string&>());
            }
        }
    }

    // Gives whether the message goes out as an on-screen notification. Only
    // "Notification" has a meaning of its own; "Chat" says plainly what every
    // other text does.
    bool CheckType(const std::string& path, const std::string& type) {
        if (type == "Notification") {
            return true;
        }
        if (type == "Chat") {
            return false;
        }
        constexpr std::string_view onScreen = "Notification";
        constexpr std::string_view chat = "Chat";
        const std::size_t limit = onScreen.size();
        const bool nearerOnScreen = EditDistance(type, onScreen, limit) < EditDistance(type, chat, limit);
        Warning(path, "Type " + Quote(type) +
                          " is neither \"Notification\" nor \"Chat\": the message is sent as a "
                          "chat line (" +
                          (nearerOnScreen ? "for an on-screen notification write \"Notification\")"
                                          : "write \"Chat\" to say so)"));
        return false;
    }

    void CheckTime(const std::string& path, const Json& time) {
        using Note = TimeReading::Note;
        const TimeReading reading = ReadTime(time);
        const std::string read = time.dump() + " is read as " + std::to_string(reading.value);
        switch (reading.note) {
            case Note::Exact:
                return;
            case Note::Boolean:
                return Warning(path, WrongType("number", time) + ": " + read);
            case Note::Fraction:
                return Warning(path, "the fraction is dropped: " + read);
            case Note::Saturated:
                return Warning(path, "beyond the 32-bit range of the display time: " + read);
        }
    }

    void CheckColor(const std::string& path, const std::string& text) {
        const ColorReading reading = ReadColor(text);
        const std::optional<std::string_view> shown = CutAtZero(text);
        if (shown) {
            Warning(path,
                    Quote(text) + " holds a zero character: the colour is read only up to it, as " + Quote(*shown));
        }
        if (!reading.isColor) {
            Warning(path, Quote(shown.value_or(text)) +
                              " is not a colour (\"Random\" or three numbers 0 to 255, red first, such as "
                              "\"255,128,0\"): it shows green");
            return;
        }
        const bool inRange = std::all_of(reading.numbers.begin(), reading.numbers.end(),
                                         [](long long number) { return number >= 0 && number <= 255; });
        if (!reading.plain && !shown && inRange) {
            Warning(path, Quote(text) + " is read as " + std::to_string(reading.numbers[0]) + "," +
                              std::to_string(reading.numbers[1]) + "," + std::to_string(reading.numbers[2]));
        }
        for (const long long number : reading.numbers) {
            if (!reading.random && (number < 0 || number > 255)) {
                Warning(path, "in " + Quote(text) + ", " + std::to_string(number) +
                                  " is outside 0 to 255 and shows as " + std::to_string(number & 0xFF));
            }
        }
    }

    // One pass: a word in braces is the letters right after a "{" up to a "}",
    // so every letter is looked at once whatever the braces around it.
    void CheckPlaceholders(const std::string& path, std::string_view message, AnnouncementKind kind) {
        const std::vector<std::string_view> filled = FilledPlaceholders(kind);
        const auto isFilled = [&](std::string_view token) {
            return std::find(filled.begin(), filled.end(), token) != filled.end();
        };
        const auto isLetter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
        std::unordered_map<std::string_view, int> seen;
        const std::size_t before = findings.size();
        for (std::size_t open = message.find('{'); open != std::string_view::npos; open = message.find('{', open + 1)) {
            if (findings.size() - before == FindingsListedPerPlace) {
                Warning(path, "more words in braces that stay as written (not listed)");
                return;
            }
            std::size_t close = open + 1;
            while (close < message.size() && isLetter(message[close])) {
                ++close;
            }
            if (close == open + 1 || close == message.size() || message[close] != '}') {
                continue;
            }
            const std::string_view token = message.substr(open, close - open + 1);
            const int times = ++seen[token];
            if (times == 2 && isFilled(token)) {
                Warning(path, std::string(token) +
                                  " is written twice: only the first is filled, the second stays as written");
            }
            if (times != 1) {
                continue;
            }
            if (std::find(Placeholders.begin(), Placeholders.end(), token) != Placeholders.end()) {
                if (!isFilled(token)) {
                    Warning(
                        path,
                        std::string(token) + " is not filled in " + KindWords(kind) + ": it stays as written" +
                            (token == "{EggLvl}" ? " (only a nest looked up under its creature's key fills it)" : ""));
                }
                continue;
            }
            const auto otherCase = std::find_if(Placeholders.begin(), Placeholders.end(), [&](std::string_view known) {
                return EqualIgnoringCase(known, token);
            });
            if (otherCase != Placeholders.end()) {
                Warning(path, std::string(token) +
                                  " is written in other case: placeholders are matched exactly, so it stays as "
                                  "written (write " +
                                  std::string(*otherCase) + ")");
            } else {
                Warning(path, std::string(token) + " is not a placeholder: it stays as written");
            }
        }
    }

    // Gives whether asteroid announcements are on.
    bool CheckAsteroids(const Json& document) {
        const auto asteroids = document.find("AsteroidGen2");
        if (asteroids == document.end() || asteroids->is_null()) {
            Warning("/AsteroidGen2",
                    "no AsteroidGen2: on the map Gen2 every asteroid crate (a name with SupplyCrate_Space_) that "
                    "spawns fails its lookup (\"cannot use value() with null\") and an error line is logged; add "
                    "\"AsteroidGen2\": {\"Enable\": false} to switch asteroid announcements off quietly");
            return false;
        }
        if (!asteroids->is_object()) {
            Error("/AsteroidGen2", WrongType("object", *asteroids) +
                                       ": on the map Gen2 every asteroid crate that spawns gets no asteroid "
                                       "announcement (\"cannot use value() with " +
                                       asteroids->type_name() + "\") and an error line is logged");
            return false;
        }
        UnknownKeys("/AsteroidGen2", *asteroids);
        const auto enable = asteroids->find("Enable");
        if (enable == asteroids->end()) {
            return false;
        }
        if (!enable->is_boolean()) {
            Error("/AsteroidGen2/Enable", TypeFailure("boolean", *enable) +
                                              " at every asteroid crate that spawns on Gen2: it gets no asteroid "
                                              "announcement and an error line is logged");
            return false;
        }
        if (!enable->get<bool>()) {
            return false;
        }
        for (const char* map : {"Color", "Name", "PrimaryResources", "SecondaryResources"}) {
            const std::string path = std::string("/AsteroidGen2/") + map;
            const auto codes = asteroids->find(map);
            if (codes == asteroids->end() || !codes->is_object()) {
                Error(path, (codes == asteroids->end() ? std::string("missing") : WrongType("object", *codes) + ",") +
                                " while asteroid announcements are on: every asteroid crate that spawns fails "
                                "(\"cannot use value() with " +
                                (codes == asteroids->end() ? std::string("null") : std::string(codes->type_name())) +
                                "\"); its asteroid announcement is skipped and an error line is logged. Write {} "
                                "for no entries");
                continue;
            }
            const std::string placeholder = "{" + std::string(map) + "}";
            for (const auto& [code, value] : codes->items()) {
                if (!value.is_string()) {
                    Error(path + PointerStep(code),
                          TypeFailure("string", value) +
                              " when an asteroid with this code spawns: its asteroid announcement is "
                              "skipped and an error line is logged");
                } else if (std::string_view(map) == "Color") {
                    CheckColor(path + PointerStep(code), value.get_ref<const std::string&>());
                } else {
                    ZeroCharacter(path + PointerStep(code), value.get_ref<const std::string&>(),
                                  "a message is cut off where " + placeholder + " stands, after");
                }
            }
        }
        const auto notification = asteroids->find("Notification");
        CheckTemplate("/AsteroidGen2/Notification", notification != asteroids->end() ? &*notification : nullptr,
                      AnnouncementKind::Asteroid);
        return true;
    }

    bool enableNests_ = false;
};

std::string TooLarge() {
    return "the file is larger than 16 MiB (" + std::to_string(ConfigFileSizeLimit) +
           " bytes), the most the plugin reads: " + std::string(RefusedWords) + " (\"" + std::string(TooLargeWords) +
           "\")";
}

std::vector<Finding> Refusal(const std::string& message) { return {{Severity::Error, "", message}}; }


// The findings of a text within the size limit, from a scan of it.
std::vector<Finding> CheckScanned(std::string_view text, DocumentScan& scan) {
    // Read as the plugin reads it: one value from the start, the rest unexamined.
    Json::sax_parse(text.begin(), text.end(), &scan);
    if (scan.tooDeep) {
        return Refusal("arrays and objects are nested deeper than " + std::to_string(ConfigDepthLimit) +
                       " levels: " + std::string(RefusedWords) + " (\"" + std::string(TooDeepWords) + "\")");
    }
    if (scan.parseError) {
        return Refusal("can't be parsed: " + *scan.parseError + ": " + std::string(RefusedWords));
    }
    ConfigChecker checker;
    if (scan.textAfter) {
        checker.Warning("", "text after the document's end is ignored");
    }
    for (const std::string& duplicate : scan.duplicates) {
        checker.Warning(duplicate, "given twice in one object: the later value is used");
    }
    if (scan.unlistedDuplicates > 0) {
        checker.Warning("", std::to_string(scan.unlistedDuplicates) +
                                " more keys are given twice in one object (not listed): the later value is used");
    }
    checker.CheckDocument(scan.document);
    return checker.findings;
}

// A file's bytes as the plugin reads them, or its refusal of the file.
struct FileRead {
    std::optional<std::string> text;
    std::vector<Finding> refusal;
};

FileRead ReadConfigBytes(const std::string& path) {
    const std::string cantOpen = "can't open " + path + ": the plugin refuses to load (\"" +
                                 std::string(CantOpenWords) + "\"), and a reload keeps the previous settings";
    // Looked at before it is opened: a pipe would block the read, a device
    // never end it.
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (error || !fs::exists(status)) {
        return {std::nullopt, Refusal(cantOpen)};
    }
    if (!fs::is_regular_file(status)) {
        const fs::file_type type = status.type();
        const std::string what = type == fs::file_type::directory ? "a folder"
                                 : type == fs::file_type::fifo    ? "a pipe"
                                 : type == fs::file_type::socket  ? "a socket"
                                 : type == fs::file_type::character || type == fs::file_type::block
                                     ? "a device"
                                     : "something other than a file";
        return {std::nullopt, Refusal(path + " is " + what + ", not a regular file: " + std::string(RefusedWords) +
                                      " (\"" + std::string(NotRegularFileWords) + "\")")};
    }
    const std::uintmax_t size = fs::file_size(path, error);
    if (error) {
        return {std::nullopt, Refusal(cantOpen)};
    }
    if (size > ConfigFileSizeLimit) {
        return {std::nullopt, Refusal(TooLarge())};
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return {std::nullopt, Refusal(cantOpen)};
    }
    // Read up to the limit whatever the size said: the file may have grown since.
    std::string text;
    text.reserve(static_cast<std::size_t>(size));
    std::array<char, 1 << 16> buffer{};
    while (file.read(buffer.data(), buffer.size()) || file.gcount() > 0) {
        text.append(buffer.data(), static_cast<std::size_t>(file.gcount()));
        if (text.size() > ConfigFileSizeLimit) {
            return {std::nullopt, Refusal(TooLarge())};
        }
    }
    return {std::move(text), {}};
}

}  // namespace

std::vector<Finding> CheckConfigText(std::string_view text) {
    if (text.size() > ConfigFileSizeLimit) {
        return Refusal(TooLarge());
    }
    DocumentScan scan(ScanPurpose::Check);
    return CheckScanned(text, scan);
}

std::vector<Finding> CheckConfigFile(const std::string& path) {
    FileRead read = ReadConfigBytes(path);
    return read.text ? CheckConfigText(*read.text) : std::move(read.refusal);
}

CheckedConfig CheckConfigFileOnce(const std::string& path) {
    FileRead read = ReadConfigBytes(path);
    CheckedConfig checked;
    if (!read.text) {
        checked.findings = std::move(read.refusal);
        return checked;
    }
    DocumentScan scan(ScanPurpose::Plan);
    checked.findings = CheckScanned(*read.text, scan);
    checked.text = std::move(read.text);
    // What the library gives for the first value: nothing of a text that
    // breaks off before it is whole.
    if (!scan.parseError) {
        checked.document = std::move(scan.document);
    }
    checked.itemKeys = std::move(scan.itemKeys);
    checked.asteroidCodes = std::move(scan.asteroidCodes);
    return checked;
}

int CheckExitStatus(const std::vector<Finding>& findings) {
    int status = 0;
    for (const Finding& finding : findings) {
        status = std::max(status, finding.severity == Severity::Error ? 2 : 1);
    }
    return status;
}

int PrintFindings(const std::string& path, const std::vector<Finding>& findings, bool json, std::ostream& out) {
    std::size_t errors = 0;
    for (const Finding& finding : findings) {
        const bool error = finding.severity == Severity::Error;
        errors += error ? 1 : 0;
        if (json) {
            out << JsonLine()
                       .Text("severity", error ? "error" : "warning")
                       .Text("path", finding.path)
                       .Text("message", finding.message)
                       .Done()
                << "\n";
        } else {
            out << (error ? "error   " : "warning ") << (finding.path.empty() ? "(file)" : finding.path) << ": "
                << finding.message << "\n";
        }
    }
    if (!json) {
        const std::size_t warnings = findings.size() - errors;
        out << path << ": "
            << (findings.empty() ? std::string("nothing to report")
                                 : std::to_string(errors) + (errors == 1 ? " error, " : " errors, ") +
                                       std::to_string(warnings) + (warnings == 1 ? " warning" : " warnings"))
            << "\n";
    }
    return CheckExitStatus(findings);
}

int CheckCommand(const std::string& path, bool json, std::ostream& out) {
    return PrintFindings(path, CheckConfigFile(path), json, out);
}

}  // namespace Herald
