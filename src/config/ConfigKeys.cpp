#include "config/ConfigKeys.h"

namespace {

using enum KeyType;
using enum KeyForm;

constexpr std::string_view Items = "structures, nests and ocean crates";
constexpr std::string_view Asteroids = "asteroid crates on Gen2";
constexpr std::string_view ItemsOnScreen = "structures, nests and ocean crates, on-screen notifications only";
constexpr std::string_view ItemsChat = "structures, nests and ocean crates, chat lines only";
constexpr std::string_view AsteroidsOnScreen = "asteroid crates on Gen2, on-screen notifications only";
constexpr std::string_view AsteroidsChat = "asteroid crates on Gen2, chat lines only";

constexpr std::string_view MsgMeaning =
    "The message. Placeholders, each filled at its first place only: {MapName}, {Name}, {Lat}, {Lon} (structures "
    "and ocean crates), {EggLvl} (nests under their creature's key), {PrimaryResources}, {SecondaryResources} "
    "(asteroids). Empty: nothing is sent.";
constexpr std::string_view TypeMeaning =
    "\"Notification\" (exactly): an on-screen notification. \"Chat\", like any other text: a chat line.";
constexpr std::string_view TimeMeaning =
    "The display time handed to the game. A fraction is dropped (7.9 is 7), true is 1.";
constexpr std::string_view SizeMeaning = "The text scale handed to the game.";
constexpr std::string_view SenderMeaning = "The sender name shown with the line.";
constexpr std::string_view ColorMeaning =
    "\"R,G,B\", three numbers 0 to 255, red first (\"255,128,0\"), or \"Random\" for a new colour for every player. "
    "Anything else shows green; a number outside 0 to 255 keeps its low 8 bits.";

constexpr ConfigKey Table[] = {
    {"/$schema", String, Any, {}, "none", "never read by the plugin",
     "Where an editor finds this schema (\"config.schema.json\" beside the file). The plugin never reads it."},
    {"/EnableNests", Boolean, Any, "false", "", "nests",
     "Examine structures that are not item containers (nests) too. Item containers (crates, element nodes, artifact "
     "crates, beaver dams, ocean crates) are examined whatever it says."},
    {"/Items", Object, ItemKeys, "{}", "none: nothing is announced", Items,
     "The announced kinds, keyed by item key: a spawned object's name cut after its first \"_C_\", keeping the \"_C\" "
     "(SupplyCrate_Level03_C_5 is announced under SupplyCrate_Level03_C). A nest is announced under the key of the "
     "creature that laid it."},
    {"/Items/*", Object, Any, {}, "not announced (null too)", Items, "One announced kind."},
    {"/Items/*/Name", String, PlayerText, {}, "the item key", Items, "The value of {Name}."},
    {"/Items/*/Notification", Object, Any, {}, "none: nothing is sent", Items,
     "The message and how it is delivered. Without it, or without Msg, nothing is sent."},
    {"/Items/*/Notification/Msg", String, PlayerText, "", "empty: nothing is sent", Items, MsgMeaning},
    {"/Items/*/Notification/Type", String, DeliveryType, DefaultType, "", Items, TypeMeaning},
    {"/Items/*/Notification/Time", Integer, Any, "10", "", ItemsOnScreen, TimeMeaning},
    {"/Items/*/Notification/Size", Number, Any, "1.2", "", ItemsOnScreen, SizeMeaning},
    {"/Items/*/Notification/Color", String, Color, DefaultColorText, "empty: shows green", ItemsOnScreen, ColorMeaning},
    {"/Items/*/Notification/Sender", String, PlayerText, DefaultSender, "", ItemsChat, SenderMeaning},
    {"/AsteroidGen2", Object, Any, {}, "none: every asteroid crate on Gen2 logs an error", Asteroids,
     "Asteroid announcements on the map Gen2. An asteroid crate is a name with \"SupplyCrate_Space_\"; it is "
     "announced when its code differs from the previous asteroid announcement's. Absent: every asteroid crate on Gen2 "
     "writes an error line to the log; {\"Enable\": false} switches them off quietly."},
    {"/AsteroidGen2/Enable", Boolean, Any, "false", "", Asteroids,
     "Switches asteroid announcements on. Then Color, Name, PrimaryResources and SecondaryResources must all be "
     "objects ({} for none)."},
    {"/AsteroidGen2/Color", Object, Any, {}, "none", Asteroids,
     "The colour for each asteroid code: an asteroid crate's item key from its 22nd byte up to the final \"_C\" "
     "(SupplyCrate_Space_01_Metal_C gives Metal).",
     "/AsteroidGen2/Enable"},
    {"/AsteroidGen2/Color/*", String, Color, DefaultAsteroidColor, "", Asteroids, ColorMeaning},
    {"/AsteroidGen2/Name", Object, Any, {}, "none", Asteroids, "{Name} for each asteroid code.",
     "/AsteroidGen2/Enable"},
    {"/AsteroidGen2/Name/*", String, PlayerText, {}, "the asteroid code", Asteroids, "The value of {Name}."},
    {"/AsteroidGen2/PrimaryResources", Object, Any, {}, "none", Asteroids,
     "{PrimaryResources} for each asteroid code.", "/AsteroidGen2/Enable"},
    {"/AsteroidGen2/PrimaryResources/*", String, PlayerText, "", "empty", Asteroids,
     "The value of {PrimaryResources}."},
    {"/AsteroidGen2/SecondaryResources", Object, Any, {}, "none", Asteroids,
     "{SecondaryResources} for each asteroid code.", "/AsteroidGen2/Enable"},
    {"/AsteroidGen2/SecondaryResources/*", String, PlayerText, "", "empty", Asteroids,
     "The value of {SecondaryResources}."},
    {"/AsteroidGen2/Notification", Object, Any, {}, "none: nothing is sent", Asteroids,
     "The asteroid message and its delivery. Its colour is the code's, from AsteroidGen2 → Color."},
    {"/AsteroidGen2/Notification/Msg", String, PlayerText, "", "empty: nothing is sent", Asteroids, MsgMeaning},
    {"/AsteroidGen2/Notification/Type", String, DeliveryType, DefaultType, "", Asteroids,
     TypeMeaning},
    {"/AsteroidGen2/Notification/Time", Integer, Any, "10", "", AsteroidsOnScreen, TimeMeaning},
    {"/AsteroidGen2/Notification/Size", Number, Any, "1.2", "", AsteroidsOnScreen, SizeMeaning},
    {"/AsteroidGen2/Notification/Color", NoEffect, Any, {}, "the code's colour", Asteroids,
     "Has no effect: each asteroid announcement takes its colour from AsteroidGen2 → Color for its code."},
    {"/AsteroidGen2/Notification/Sender", String, PlayerText, DefaultSender, "", AsteroidsChat,
     SenderMeaning},
};

}  // namespace

std::span<const ConfigKey> ConfigKeys() { return Table; }

const ConfigKey* FindConfigKey(std::string_view pointer) {
    for (const ConfigKey& key : Table) {
        if (key.pointer == pointer) {
            return &key;
        }
    }
    return nullptr;
}

std::vector<std::string_view> KeyNamesUnder(std::string_view pointer) {
    std::vector<std::string_view> names;
    for (const ConfigKey& key : Table) {
        if (key.pointer.size() > pointer.size() + 1 && key.pointer.starts_with(pointer) &&
            key.pointer[pointer.size()] == '/') {
            const std::string_view name = key.pointer.substr(pointer.size() + 1);
            if (name.find('/') == std::string_view::npos && name != "*") {
                names.push_back(name);
            }
        }
    }
    return names;
}

std::string_view TypeName(KeyType type) {
    switch (type) {
        case Boolean: return "boolean";
        case Object: return "object";
        case String: return "string";
        case Number: return "number";
        case Integer: return "integer";
        case NoEffect: return "ignored";
    }
    return {};
}
