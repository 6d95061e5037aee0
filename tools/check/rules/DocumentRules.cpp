// The document and its top-level objects: each of the type the plugin reads, and no key it never reads.

#include <algorithm>
#include <cstdint>

#include "check/rules/Rules.h"
#include "common/Output.h"
#include "config/ConfigKeys.h"
#include "config/ItemNames.h"
#include "config/NearMisses.h"
#include "config/RelayReaders.h"

namespace Herald {

// The lookups that meet a null document first: EnableNests, for every
// structure that is not an item container, whatever its name; and
// AsteroidGen2, for an asteroid crate on Gen2. Items of a null document are
// merely absent.
void DocumentIsAnObject(const Context& at, Report& report) {
    const nlohmann::json& document = *at.value;
    if (document.is_null()) {
        report.Error(at.path,
                     "the document is null, not an object: nothing is sent for any spawn, and every structure that is "
                     "not an item container (nests among them) and every asteroid crate on Gen2 fails its first lookup "
                     "(\"cannot use value() with null\"): an error line is logged for each");
    } else if (!document.is_object()) {
        report.Error(at.path, "the document " + WrongType("object", document) +
                                  ": every hunted object that spawns, and every structure that is not an item "
                                  "container, fails its first lookup (\"cannot use value() with " +
                                  document.type_name() + "\" or \"cannot use operator[] with a string argument with " +
                                  document.type_name() + "\"): nothing is sent and an error line is logged for each");
    }
}

// The plugin never reads $schema; an editor finds the schema by it.
void SchemaReferenceIsText(const Context& at, Report& report) {
    if (at.value != nullptr && !at.value->is_string()) {
        report.Warning(at.path, WrongType("string", *at.value) +
                                    ": an editor can't find the schema by it (the plugin never reads it)");
    }
}

// EnableNests is looked up at every spawn of a structure that is not an item
// container, whatever its name.
void EnableNestsIsABoolean(const Context& at, Report& report) {
    if (at.value != nullptr && !at.value->is_boolean()) {
        report.Error(at.path, TypeFailure("boolean", *at.value) +
                                  " at every spawn of a structure that is not an item container: that "
                                  "structure is skipped and an error line is logged");
    }
}

// On Gen2 every asteroid crate looks AsteroidGen2 up, whatever Items says.
void AsteroidSettingsAreAnObject(const Context& at, Report& report) {
    if (Given(at) == nullptr) {
        report.Warning(at.path, "no AsteroidGen2: on the map " + std::string(AsteroidMap) +
                                    " every asteroid crate (a name with " + std::string(SpaceCrateFragment) +
                                    ") that spawns fails its lookup (\"cannot use value() with null\") and an error "
                                    "line is logged; add \"AsteroidGen2\": {\"Enable\": false} to switch asteroid "
                                    "announcements off quietly");
    } else if (!at.value->is_object()) {
        report.Error(at.path, WrongType("object", *at.value) + ": on the map " + std::string(AsteroidMap) +
                                  " every asteroid crate that spawns gets no asteroid announcement (\"cannot use "
                                  "value() with " +
                                  at.value->type_name() + "\") and an error line is logged");
    }
}

// Items is looked up by item key for every hunted object that spawns.
void ItemsAreAnObject(const Context& at, Report& report) {
    if (Given(at) == nullptr) {
        if (!at.asteroidsOn) {
            report.Warning(at.path, "no Items: nothing is ever announced");
        }
    } else if (!at.value->is_object()) {
        report.Error(at.path, WrongType("object", *at.value) +
                                  " keyed by item key: the lookup fails (\"cannot use operator[] with a string "
                                  "argument with " +
                                  at.value->type_name() +
                                  "\") for every hunted object that spawns; it is not announced and an error line "
                                  "is logged");
    }
}

// Players is read at every load and reload; null is the defaults, quietly.
void PlayersAreAnObject(const Context& at, Report& report) {
    if (Given(at) == nullptr || at.value->is_object()) {
        return;
    }
    report.Error(at.path, WrongType("object", *at.value) + ": the plugin uses every default (players choose with " +
                              std::string(DefaultChatCommand) + ", their choices kept in " + std::string(DefaultStore) +
                              ") and an error line is logged at every load and reload");
}

// Calm is read at every load and reload; null is the defaults, quietly. An
// entry's own Cooldown still holds, Calm or no Calm.
void CalmIsAnObject(const Context& at, Report& report) {
    if (Given(at) == nullptr || at.value->is_object()) {
        return;
    }
    report.Error(at.path, WrongType("object", *at.value) + ": the plugin uses every default (no minimum of players, " +
                              "a cooldown of " + std::to_string(DefaultCooldown) +
                              " s for entries without their own, the default digest) and an error line is logged at "
                              "every load and reload");
}

// The relay's settings are read at every load and reload; null is none, quietly.
void DiscordIsAnObject(const Context& at, Report& report) {
    if (Given(at) == nullptr || at.value->is_object()) {
        return;
    }
    report.Error(at.path,
                 WrongType("object", *at.value) + ": nothing is relayed, and " + std::string(LoggedAtEveryLoad));
}

// Without an address the relay has nowhere to post, whatever else is set; a
// null one is read as none.
void DiscordHasAWebhook(const Context& at, Report& report) {
    if (at.value == nullptr || !at.value->is_object()) {
        return;
    }
    const auto webhook = at.value->find(Key::Webhook);
    if (webhook != at.value->end() && !webhook->is_null()) {
        return;
    }
    report.Error(at.path,
                 "has no " + std::string(Key::Webhook) + ": nothing is relayed, and " + std::string(LoggedAtEveryLoad));
}

// Keys the plugin never reads, with the nearest known key when one is a near
// miss, and else the keys it does read there.
void UnknownKeys(const Context& at, Report& report) {
    if (at.value == nullptr || !at.value->is_object()) {
        return;
    }
    const std::vector<std::string_view> known = KeyNamesUnder(at.pattern);
    std::size_t listed = 0;
    std::size_t unlisted = 0;
    for (const auto& [key, value] : at.value->items()) {
        if (std::find(known.begin(), known.end(), key) != known.end()) {
            continue;
        }
        if (++listed > FindingsListedPerPlace) {
            ++unlisted;
            continue;
        }
        // A webhook pasted as a key would be whole in the path as in the message.
        if (IsWebAddress(key)) {
            report.Warning(at.path, "an unknown key that is " + QuoteUnlessAddress(key) +
                                        ", never read by the plugin (a web address is a value, not a key)");
            continue;
        }
        std::string message = "unknown key " + Quote(key) + ", never read by the plugin (";
        if (const std::optional<std::string_view> nearest = NearestKnown(key, known)) {
            message += "nearest known key: " + Quote(*nearest) + ")";
        } else {
            message += "the keys read here: ";
            for (const std::string_view candidate : known) {
                message += (candidate == known.front() ? "" : ", ") + std::string(candidate);
            }
            message += ")";
        }
        report.Warning(at.path + PointerStep(key), message);
    }
    if (unlisted > 0) {
        report.Warning(at.path,
                       std::to_string(unlisted) + " more unknown keys here, never read by the plugin (not listed)");
    }
}

}  // namespace Herald
