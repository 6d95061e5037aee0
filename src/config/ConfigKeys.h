#pragma once
// Every key of config.json: where it stands in the document, the type the
// plugin reads it as, its default, which announcements read it, and what it
// does. The plugin's own reads take their defaults from the named constants
// below; herald's checker, the JSON Schema and the key reference in the docs
// are made from the table.

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

// ---- Named defaults ------------------------------------------------------------

inline constexpr bool DefaultEnableNests = false;
inline constexpr bool DefaultAsteroidsEnabled = false;
// The one Type shown on screen; every other text is sent as a chat line.
inline constexpr std::string_view NotificationType = "Notification";
// What an admin writes for a chat line (any text but NotificationType does the same).
inline constexpr std::string_view ChatType = "Chat";
inline constexpr std::string_view DefaultType = NotificationType;
inline constexpr std::int32_t DefaultDisplayTime = 10;
inline constexpr double DefaultDisplaySize = 1.2;
// No colour at all, which shows green.
inline constexpr std::string_view DefaultColorText = "";
inline constexpr std::string_view DefaultSender = "Server";
// An asteroid code without an entry under AsteroidGen2 → Color.
inline constexpr std::string_view DefaultAsteroidColor = "0,255,0";

// ---- The table --------------------------------------------------------------------

// The JSON type a value must have to be read without a word from herald check.
// Integer is a whole number within 32 bits that a float holds exactly (the
// game takes it as one); NoEffect is a key that is read but
// whose value is replaced before use.
enum class KeyType { Boolean, Object, String, Number, Integer, NoEffect };

// What the value's text is, beyond its type: a text shown to players ends at
// a zero character in the game; a colour and a delivery type have forms of
// their own; item keys are the names of an object.
enum class KeyForm { Any, PlayerText, Color, DeliveryType, ItemKeys };

struct ConfigKey {
    std::string_view pointer;  // a JSON pointer; "*" stands for any member name (an item key, an asteroid code)
    KeyType type;
    KeyForm form;
    // The default: the text itself for a string, JSON text ("10", "false",
    // "{}") for the rest; none where it is not a fixed value (the item key).
    std::optional<std::string_view> defaultValue;
    std::string_view defaultWords;  // what the default means, where its value alone does not say it
    std::string_view readFor;       // which announcements read it
    std::string_view meaning;       // one line on what it does
    std::string_view requiredWhen = {};  // a boolean key whose true makes this one required
};

std::span<const ConfigKey> ConfigKeys();

// The key at exactly this pointer pattern ("/Items/*/Name"), or null.
const ConfigKey* FindConfigKey(std::string_view pointer);

// The member names the table knows directly under a pointer pattern ("" for
// the top level), in table order; "*" is not among them.
std::vector<std::string_view> KeyNamesUnder(std::string_view pointer);

// "boolean", "object", "string", "number", "integer", or "ignored" for NoEffect.
std::string_view TypeName(KeyType type);
