#pragma once
// What a rule of herald check sees: one place of the document, with what the
// walk knows around it, and the findings it adds. A rule is a plain function
// that looks only at its context; the walk decides where to go, and no rule
// depends on another having run.

#include <cstdint>
#include <nlohmann/json.hpp>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "check/Check.h"
#include "config/ConfigReaders.h"
#include "config/DeliveryValues.h"
#include "config/ItemNames.h"
#include "config/Placeholders.h"

namespace Herald {

// The kinds of place the walk visits, each one key of config.json (or the
// document itself). An item, a code map and a code are visited once for each
// member; a notification and its keys once for each announcement.
enum class Place : std::uint8_t {
    Document,
    SchemaReference,
    EnableNests,
    Asteroids,
    AsteroidsEnable,
    AsteroidCodeMap,
    AsteroidCode,
    Items,
    Item,
    ItemName,
    Notification,
    Message,
    DeliveryType,
    DisplayTime,
    DisplaySize,
    Sender,
    Color,
    Group,
    Players,
    PlayersEnable,
    ChatCommand,
    ChoiceStore,
    Calm,
    Count,  // a count of Calm (MinPlayers, Cooldown) or an entry's Cooldown
    Digest,
    Discord,
    Webhook,
    RelayedGroups,  // the list, whose rules look at each of its texts
    Username,
    Thread,
    Mention,
};

using PlaceSet = std::uint32_t;
static_assert(static_cast<unsigned>(Place::Username) < 32, "a place is one bit of a PlaceSet");
constexpr PlaceSet At(Place place) { return PlaceSet{1} << static_cast<unsigned>(place); }

struct Context {
    Place place;
    std::string path;             // a JSON pointer
    const nlohmann::json* value;  // null where the key is absent
    // The key table's pointer pattern for this place ("" for the document,
    // "/Items/*/Notification/Time").
    std::string_view pattern;
    std::string_view name;     // the member's own name: an item key, a code map's, an asteroid code
    std::string_view codeMap;  // at an asteroid code: the map it stands in (Color, Name...)
    // Which announcement reads the place (an item, a notification and its keys).
    AnnouncementKind kind = AnnouncementKind::Structure;
    bool enableNests = false;  // EnableNests is true
    bool asteroidsOn = false;  // AsteroidGen2 is an object whose Enable is true
    bool onScreen = true;      // the notification's Type sends it as an on-screen notification
    // At an item, AsteroidGen2 and their keys: the group the plugin announces
    // it in, and whether it can send anything at all (and so whether the chat
    // command offers its group).
    std::string_view group;
    bool canSend = false;
    // At a count: what the plugin uses in place of one that is not a count,
    // and whether it says so in the log.
    std::string_view countInstead;
    bool countLogged = false;
    // At the relay's list of groups: the groups some entry announces on some
    // map, as AnnouncedGroups writes them; null where a read on the way
    // raises, and so no one can tell.
    const std::vector<std::string>* announcedAnywhere = nullptr;
    // At the relay's Thread: the webhook's address, where it is a text.
    std::string_view webhook;
};

class Report {
public:
    void Error(std::string path, std::string message) {
        findings_.push_back({Severity::Error, std::move(path), std::move(message)});
    }
    void Warning(std::string path, std::string message) {
        findings_.push_back({Severity::Warning, std::move(path), std::move(message)});
    }
    std::size_t Count() const { return findings_.size(); }
    std::vector<Finding> Take() { return std::move(findings_); }

private:
    std::vector<Finding> findings_;
};

using RuleFunction = void (*)(const Context& at, Report& report);

struct Rule {
    std::string_view name;
    PlaceSet places;
    RuleFunction check;
};

// Every rule, in the order their findings come at one place.
std::span<const Rule> Rules();

// The value at a place when it is there and not null.
inline const nlohmann::json* Given(const Context& at) {
    return at.value != nullptr && !at.value->is_null() ? at.value : nullptr;
}

}  // namespace Herald
