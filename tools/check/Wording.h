#pragma once
// The words herald check's rules share: how a value of the wrong type, a
// failed lookup, a zero character and a colour are told to an admin.

#include <cstddef>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "check/Rule.h"
#include "config/ConfigReaders.h"  // EditDistance, NearMissLimit
#include "config/Placeholders.h"

namespace Herald {

// Each finding's path repeats the keys above it, so no one object or text
// gets more than this many findings of one kind: a long item key costs its
// length a few times over, not once for every key or word beneath it.
inline constexpr std::size_t FindingsListedPerPlace = 20;

bool EqualIgnoringCase(std::string_view a, std::string_view b);

// A text as the admin wrote it, quoted, with control characters escaped.
std::string Quote(std::string_view text);

// A webhook's address is a secret, and an admin may paste it anywhere: a text
// that is a web address (IsWebAddress) is shown as the relay's WebhookShown
// shows it, never whole. Any other text as Quote gives it.
std::string QuoteUnlessAddress(std::string_view text);

// What the plugin does where one of its settings is read at every load and reload.
inline constexpr std::string_view LoggedAtEveryLoad = "an error line is logged at every load and reload";

// "is a string, not a boolean": every finding about a value of the wrong JSON
// type begins so.
std::string WrongType(std::string_view expected, const nlohmann::json& value);

// The library's words when a value-with-default lookup meets the wrong type.
std::string TypeFailure(std::string_view expected, const nlohmann::json& value);

// "a nest's announcement"
std::string KindWords(AnnouncementKind kind);

// What follows a failed lookup in a notification: Time, Size and Color are
// read only at delivery, once someone is there to see the notification.
std::string LookupFailure(AnnouncementKind kind, bool atDelivery);

// A notification's key of the wrong type: an error where the chosen delivery
// reads it (on screen, or as a chat line); elsewhere it cannot fail, and only
// bites once Type changes.
void ReportWrongTypeForDelivery(const Context& at, std::string_view expected, bool readOnScreen, Report& report);

// A text shown to players as the game shows it: its string ends at the first
// zero character. None when it holds none.
std::optional<std::string_view> TextBeforeZero(std::string_view text);

// A text shown to players, cut where the game's string ends.
void ReportZeroCharacter(const std::string& path, std::string_view text, std::string_view shownAs, Report& report);

// A colour text as the plugin reads it, wherever it differs from what it says.
void ReportColorReading(const std::string& path, std::string_view text, Report& report);

}  // namespace Herald
