#pragma once
// Every key of config.json: where it stands in the document, the type the
// plugin reads it as, its default, which announcements read it, and what it
// does. The plugin's own reads take their defaults from the named constants
// below; herald's checker, the JSON Schema and the key reference in the docs
// are made from the table.

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// ---- Names --------------------------------------------------------------------

// Every key of config.json by its name, written here once: the table's
// pointers are made of them, and every read of the document names a key
// through them.
namespace Key {
inline constexpr std::string_view SchemaReference = "$schema";
inline constexpr std::string_view EnableNests = "EnableNests";
inline constexpr std::string_view Items = "Items";
inline constexpr std::string_view AsteroidGen2 = "AsteroidGen2";
inline constexpr std::string_view Enable = "Enable";
inline constexpr std::string_view Name = "Name";
inline constexpr std::string_view Color = "Color";
inline constexpr std::string_view PrimaryResources = "PrimaryResources";
inline constexpr std::string_view SecondaryResources = "SecondaryResources";
inline constexpr std::string_view Notification = "Notification";
inline constexpr std::string_view Msg = "Msg";
inline constexpr std::string_view Type = "Type";
inline constexpr std::string_view Time = "Time";
inline constexpr std::string_view Size = "Size";
inline constexpr std::string_view Sender = "Sender";
inline constexpr std::string_view Group = "Group";
inline constexpr std::string_view Players = "Players";
inline constexpr std::string_view Command = "Command";
inline constexpr std::string_view Store = "Store";
inline constexpr std::string_view Calm = "Calm";
inline constexpr std::string_view MinPlayers = "MinPlayers";
inline constexpr std::string_view Cooldown = "Cooldown";
inline constexpr std::string_view Digest = "Digest";
inline constexpr std::string_view Discord = "Discord";
inline constexpr std::string_view Webhook = "Webhook";
inline constexpr std::string_view Groups = "Groups";
inline constexpr std::string_view Username = "Username";
inline constexpr std::string_view Thread = "Thread";
inline constexpr std::string_view Mention = "Mention";
// In a pointer pattern: any member name (an item key, an asteroid code).
inline constexpr std::string_view AnyMember = "*";
}  // namespace Key

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
inline constexpr std::string_view DefaultAsteroidGroup = "asteroids";
inline constexpr bool DefaultPlayersEnabled = true;
inline constexpr std::string_view DefaultChatCommand = "/herald";
// Beside config.json, in the plugin's folder.
inline constexpr std::string_view DefaultStore = "players.sqlite";
inline constexpr std::int32_t DefaultMinPlayers = 0;
inline constexpr std::int32_t DefaultCooldown = 0;  // seconds: every spawn announced
inline constexpr std::string_view DefaultDigest =
    "{Count} more {Name} since the last announcement, the latest at {Lat} / {Lon}";
// Each map of a cluster posts under its own name.
inline constexpr std::string_view DefaultUsername = "{MapName}";

// ---- The table --------------------------------------------------------------------

// The JSON type a value must have to be read without a word from herald check.
// Integer is a whole number within 32 bits that a float holds exactly (the
// game takes it as one); Count a whole number from 0 to 2^31 - 1, which the
// plugin keeps to itself; TextList an array of texts; NoEffect is a key that
// is read but whose value is replaced before use.
enum class KeyType { Boolean, Object, String, Number, Integer, Count, TextList, NoEffect };

// What the value's text is, beyond its type: a text shown to players ends at
// a zero character in the game; a colour and a delivery type have forms of
// their own; item keys are the names of an object; a group and a chat
// command are words of their own; a file's path is a text that is not empty
// and holds no zero character; a webhook is an address the relay posts to
// (of a list, each text has the form); a Discord id is what Discord numbers a
// thread or a role with, in digits.
enum class KeyForm {
    Any,
    PlayerText,
    Color,
    DeliveryType,
    ItemKeys,
    GroupName,
    ChatCommand,
    FilePath,
    WebhookUrl,
    DiscordId
};

// A key's place in the document as a JSON pointer pattern ("/Items/*/Name"),
// made of the names above.
class KeyPointer {
public:
    constexpr KeyPointer(std::initializer_list<std::string_view> steps) {
        for (const std::string_view step : steps) {
            text_[size_++] = '/';
            for (const char c : step) {
                text_[size_++] = c;
            }
        }
    }
    constexpr std::string_view View() const { return {text_.data(), size_}; }

private:
    std::array<char, 48> text_{};
    std::size_t size_ = 0;
};

// The two objects of the document whose members are announced.
inline constexpr KeyPointer ItemsPointer{Key::Items};
inline constexpr KeyPointer AsteroidsPointer{Key::AsteroidGen2};

// A key's default, of the key's own type; none where it is not a fixed value
// (the item key, an asteroid code).
class KeyDefault {
public:
    enum class Kind { None, Boolean, Integer, Number, Text, EmptyObject };
    constexpr KeyDefault() = default;
    constexpr KeyDefault(bool value) : kind_(Kind::Boolean), boolean_(value) {}
    constexpr KeyDefault(std::int32_t value) : kind_(Kind::Integer), integer_(value) {}
    constexpr KeyDefault(double value) : kind_(Kind::Number), number_(value) {}
    constexpr KeyDefault(std::string_view value) : kind_(Kind::Text), text_(value) {}
    static constexpr KeyDefault EmptyObject() {
        KeyDefault value;
        value.kind_ = Kind::EmptyObject;
        return value;
    }
    constexpr bool Given() const { return kind_ != Kind::None; }
    // A text default as it is; any other as JSON text ("10", "1.2", "false", "{}").
    std::string Text() const;

private:
    Kind kind_ = Kind::None;
    bool boolean_ = false;
    std::int32_t integer_ = 0;
    double number_ = 0;
    std::string_view text_;
};

struct ConfigKey {
    KeyPointer at;
    KeyType type;
    KeyForm form;
    KeyDefault defaultValue;
    std::string_view defaultWords;       // what the default means, where its value alone does not say it
    std::string_view readFor;            // which announcements read it
    std::string_view meaning;            // one line on what it does
    std::string_view requiredWhen = {};  // a boolean key whose true makes this one required

    constexpr std::string_view Pointer() const { return at.View(); }
};

std::span<const ConfigKey> ConfigKeys();

// The key at exactly this pointer pattern ("/Items/*/Name"), or null.
const ConfigKey* FindConfigKey(std::string_view pointer);

// The member names the table knows directly under a pointer pattern ("" for
// the top level), in table order; "*" is not among them.
std::vector<std::string_view> KeyNamesUnder(std::string_view pointer);

// "boolean", "object", "string", "number", "integer", or "ignored" for NoEffect.
std::string_view TypeName(KeyType type);

// The members of AsteroidGen2 keyed by asteroid code (Color, Name,
// PrimaryResources, SecondaryResources), in the table's order.
std::span<const std::string_view> AsteroidCodeMaps();
