#pragma once
// The preview as one self-contained HTML page: each announcement as the
// player sees it, beside the findings of its entry.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "check/Check.h"
#include "game/GameTypes.h"

namespace Herald {

// What one transcript line of a previewed spawn showed.
struct Delivery {
    enum class Kind { Notification, Chat, Log };
    Kind kind = Kind::Log;
    std::string text;
    FColorLinear color{};       // notification: the linear channels the game received
    std::optional<float> size;  // notification; none when the game received no finite number
    std::optional<float> time;
    std::string sender;  // chat
    std::string level;   // log
};

// A post the relay made, as the webhook receives it.
struct RelayPost {
    std::string content;   // Markdown's characters escaped, as posted
    std::string username;  // filled for the map; empty: the name the webhook was given
};

struct PreviewEntry {
    std::string pointer;              // JSON pointer of the entry ("/Items/ElementNode_C", "/AsteroidGen2")
    std::string title;                // the item key, or the asteroid code
    std::optional<std::string> code;  // the asteroid code; none for an Items entry
    std::string map;
    std::string spawn;  // what was spawned, in words; empty when nothing could be
    std::string group;  // the group its announcements are in, which players turn off and on
    bool randomColor = false;
    std::vector<Delivery> deliveries;
    std::vector<Finding> findings;   // check's findings inside this entry
    std::vector<std::string> notes;  // further reasons, from the preview itself
    // An Items entry's cooldown in seconds as the plugin takes it, and what
    // the plugin sends when it ends with DigestSampleHeld spawns held.
    std::int32_t cooldown = 0;
    std::vector<Delivery> digest;
    // Whether the relay takes the entry's group (none when it posts nothing
    // at all), and what its announcement and its digest posted.
    std::optional<bool> relayed;
    std::vector<RelayPost> posts;
    std::vector<RelayPost> digestPosts;

    bool Sends() const;
};

// The held spawns a previewed digest tells of.
inline constexpr int DigestSampleHeld = 3;

struct PreviewReport {
    std::string configPath;
    std::string map;
    int checkStatus = 0;
    std::vector<Finding> fileFindings;      // about no single entry
    std::vector<Finding> asteroidFindings;  // shared by every asteroid code
    std::vector<PreviewEntry> entries;
    std::optional<std::string> notPreviewed;  // why nothing could be spawned at all
    std::optional<std::string> loadError;     // the plugin refused to load
    // The chat command players choose groups with; none when they can't choose.
    std::optional<std::string> chatCommand;
    std::vector<std::string> announcedGroups;  // those the command offers on map
    // The relay, when the file sets it: where posts go (by host alone: the
    // address is a secret), the groups relayed (folded; none: every group),
    // and why it relays nothing, in the log's words.
    struct Relay {
        bool relays = false;
        std::string webhook;
        std::optional<std::vector<std::string>> groups;
        std::vector<std::string> problems;
    };
    std::optional<Relay> discord;
};

// A colour for the screen ("#rrggbb", or "rgba(...)" when not opaque) from the
// linear channels the game received.
std::string ScreenColor(const FColorLinear& color);

// The same colour as the 8-bit "R,G,B" an admin writes in config.json.
std::string ConfigColor(const FColorLinear& color);

std::string PreviewPageHtml(const PreviewReport& report);

}  // namespace Herald
