#include "announce/Calm.h"

#include <algorithm>
#include <nlohmann/json.hpp>
#include <unordered_map>

#include "announce/Announcements.h"
#include "announce/Broadcast.h"
#include "config/Config.h"
#include "config/ConfigReaders.h"
#include "config/CalmReaders.h"
#include "plugin/PluginLog.h"

using Json = nlohmann::json;

// One Items entry's announcements since load and its running cooldown.
struct EntryCalm {
    std::string key;
    std::int64_t announced = 0;
    std::int64_t lastAnnounced = -1;  // on the clock; -1: never
    std::int64_t cooldownStart = -1;  // of the running cooldown; -1: none runs
    std::int64_t held = 0;
    float heldX = 0;  // the latest held spawn's world position
    float heldY = 0;
    // CooldownOf the entry under the settings in force, taken when the entry
    // is first announced and again at each reload: a spawn would otherwise
    // look the entry's own cooldown up in the document twice.
    std::int32_t cooldown = 0;
};

namespace {

struct CalmState {
    CalmSettings settings;
    bool entriesCoolDown = false;
    std::int64_t clock = 0;  // seconds since load
    // By the entry's value in the document, whose address a spawn has at hand
    // and hashes for nothing; the key is kept to find the entry again after a
    // reload, which makes a new document.
    std::unordered_map<const Json*, EntryCalm> entries;
    // The entry looked up last and its state: spawns of one kind come in
    // runs, and a run's spawns then skip the lookup.
    const Json* lastEntry = nullptr;
    EntryCalm* lastState = nullptr;
    std::int64_t heldByCooldown = 0;
    std::int64_t heldTooFewPlayers = 0;
};
CalmState Calm;

bool Holds() { return Calm.settings.Holds() || Calm.entriesCoolDown; }

// Seconds the entry's cooldown still runs.
std::int64_t CooldownLeft(const EntryCalm& calm, std::int32_t cooldown) {
    if (calm.cooldownStart < 0) {
        return 0;
    }
    return std::max<std::int64_t>(0, calm.cooldownStart + cooldown - Calm.clock);
}

bool TooFewPlayers() {
    return Calm.settings.minPlayers > 0 &&
           ConnectedPlayers() < static_cast<std::size_t>(Calm.settings.minPlayers);
}

void SendDigest(const Json& entry, EntryCalm& calm) {
    const EntryGroup group{&entry, calm.key};
    Delivered.digest = true;
    AnnounceDigest(entry, calm.key, calm.held, calm.heldX, calm.heldY, Calm.settings.digest,
                   [&group](const Json& notificationTemplate, ReplacementList replacements) {
                       Broadcast(notificationTemplate, replacements, group);
                   });
    Delivered.digest = false;
}

std::string Seconds(std::int64_t seconds) { return std::to_string(seconds) + " s"; }

}  // namespace

void FollowCalmSettings() {
    Calm.settings = CalmSettingsOf(PluginConfig);
    for (const std::string& problem : Calm.settings.problems) {
        PluginLog::WriteError(problem);
    }
    Calm.entriesCoolDown = SomeEntryCoolsDown(PluginConfig);
    // Running cooldowns go on under the entries' keys in the new document; a
    // gone entry's held spawns are dropped unsent.
    std::unordered_map<const Json*, EntryCalm> entries;
    for (auto& [old, calm] : Calm.entries) {
        const Json& entry = ItemEntry(PluginConfig, calm.key);
        if (!entry.is_null()) {
            calm.cooldown = CooldownOf(entry, Calm.settings);
            entries.emplace(&entry, std::move(calm));
        }
    }
    Calm.entries = std::move(entries);
    Calm.lastEntry = nullptr;
    Calm.lastState = nullptr;
}

void StopCalm() {
    Calm = CalmState();
    Delivered = DeliveryTally();
}

void CalmTimer() {
    ++Calm.clock;
    for (auto& held : Calm.entries) {
        EntryCalm& calm = held.second;
        if (calm.held > 0 && CooldownLeft(calm, calm.cooldown) == 0) {
            // A digest that raises is logged and not tried again: its
            // spawns are dropped with it, as a spawn's announcement would be.
            RunLogged([&] { SendDigest(*held.first, calm); });
            Delivered.digest = false;
            calm.cooldownStart = Calm.clock;
            calm.held = 0;
        }
    }
}

namespace {

// An entry's state, made at its first spawn since load or since it was
// configured: out of line, so that every later one is a lookup without this
// one's frame.
[[gnu::noinline]] EntryCalm& FirstSeen(std::string_view itemKey, const Json& entry) {
    EntryCalm& calm = Calm.entries[&entry];
    calm.key = std::string(itemKey);
    calm.cooldown = CooldownOf(entry, Calm.settings);
    return calm;
}

EntryCalm& StateOf(std::string_view itemKey, const Json& entry) {
    if (Calm.lastEntry != &entry) {
        const auto found = Calm.entries.find(&entry);
        Calm.lastState = found != Calm.entries.end() ? &found->second : &FirstSeen(itemKey, entry);
        Calm.lastEntry = &entry;
    }
    return *Calm.lastState;
}

// Out of line, so that a server where nothing is held pays only the test of
// Holds(), not this function's frame.
[[gnu::noinline]] CalmVerdict HeldOrAnnounced(const Json* entry, std::string_view itemKey, float x, float y,
                                              EntryCalm** state) {
    if (TooFewPlayers()) {
        ++Calm.heldTooFewPlayers;
        return CalmVerdict::HeldTooFewPlayers;
    }
    if (entry == nullptr) {
        return CalmVerdict::Announce;
    }
    EntryCalm& calm = StateOf(itemKey, *entry);
    *state = &calm;
    if (CooldownLeft(calm, calm.cooldown) == 0) {
        return CalmVerdict::Announce;
    }
    ++calm.held;
    calm.heldX = x;
    calm.heldY = y;
    ++Calm.heldByCooldown;
    return CalmVerdict::HeldByCooldown;
}

}  // namespace

CalmVerdict CalmBeforeAnnouncing(const Json* entry, std::string_view itemKey, float x, float y, EntryCalm** state) {
    return Holds() ? HeldOrAnnounced(entry, itemKey, x, y, state) : CalmVerdict::Announce;
}

void CalmAnnounced(std::string_view itemKey, const Json& entry, EntryCalm* state) {
    EntryCalm& calm = state != nullptr ? *state : StateOf(itemKey, entry);
    ++calm.announced;
    calm.lastAnnounced = Calm.clock;
    if (Holds() && calm.cooldown > 0) {
        calm.cooldownStart = Calm.clock;
    }
}

std::string CalmRemark(const Json* entry, std::string_view /*itemKey*/) {
    if (TooFewPlayers()) {
        return " (on the server: held, too few players)";
    }
    if (entry == nullptr) {
        return {};
    }
    const auto found = Calm.entries.find(entry);
    const std::int64_t left =
        found == Calm.entries.end() ? 0 : CooldownLeft(found->second, CooldownOf(*entry, Calm.settings));
    return left > 0 ? " (on the server: held for " + Seconds(left) + " more by its cooldown)" : std::string();
}

std::string CalmStatus() {
    return "Sent " + std::to_string(Delivered.announcements) + " announcements as " + std::to_string(Delivered.lines) +
           " lines; held " + std::to_string(Calm.heldByCooldown) + " by cooldowns (" +
           std::to_string(Delivered.digests) + " digests sent), " + std::to_string(Calm.heldTooFewPlayers) +
           " with too few players; " + std::to_string(Delivered.notSentByChoices) +
           " lines not sent by players' choices.";
}

std::string EntryStatus(std::string_view itemKey, const Json& entry) {
    const auto found = Calm.entries.find(&entry);
    const EntryCalm calm = found == Calm.entries.end() ? EntryCalm{} : found->second;
    std::string status(itemKey);
    status += calm.announced == 0 ? ": never announced"
                                  : ": announced " + std::to_string(calm.announced) + " times, last " +
                                        Seconds(Calm.clock - calm.lastAnnounced) + " ago";
    const std::int32_t cooldown = CooldownOf(entry, Calm.settings);
    if (cooldown > 0) {
        status += "; cooldown " + Seconds(cooldown) + ", " + std::to_string(calm.held) + " held now";
        if (calm.held > 0) {
            status += ", digest in " + Seconds(CooldownLeft(calm, cooldown));
        }
    }
    return status + ".";
}
