#pragma once
// How the plugin reads the values of config.json, as pure functions: no game
// calls and nothing of the host. The plugin turns their results into the
// game's types; herald check explains them and herald preview plans with them.

#include <nlohmann/json_fwd.hpp>
#include <string>
#include <string_view>

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
