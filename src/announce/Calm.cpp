#include "announce/Calm.h"

#include <algorithm>
#include <nlohmann/json.hpp>
#include <unordered_map>

#include "config/CalmReaders.h"
#include "config/Config.h"
#include "config/ConfigReaders.h"
#include "config/Placeholders.h"
#include "game/ConnectedPlayers.h"
#include "plugin/PluginLog.h"

using Json = nlohmann::json;

namespace {

// One Items entry's announcements since load and its running cooldown.
struct EntryCalm {
    std::string key;
    std::int64_t announced = 0;
    std::int64_t lastAnnounced = -1;  // on the clock; -1: never
    std::int64_t cooldownStart = -1;  // of the running cooldown; -1: none runs
    std::int64_t held = 0;
    float heldX = 0;  // the latest held spawn's world position
    float heldY = 0;
    // The entry's cooldown under the settings in force, for the timer, which
    // has no plan at hand: taken when the entry is first seen and again at
    // each reload.
    std::int32_t cooldown = 0;
};

struct CalmState {
    CalmSettings settings;
    bool entriesCoolDown = false;
    std::int64_t clock = 0;  // seconds since load
    // By the entry's value in the document, whose address a spawn's plan
    // holds and hashes for nothing; the key is kept to find the entry again
    // after a reload, which makes a new document.
    std::unordered_map<const Json*, EntryCalm> entries;
    // The entry looked up last and its state: spawns of one kind come in
    // runs, and a run's spawns then skip the lookup.
    const Json* lastEntry = nullptr;
    EntryCalm* lastState = nullptr;
    CalmCounts counts;
};
CalmState Calm;

// Asteroid crates are held by MinPlayers alone: they have no cooldown.
bool HasEntry(const AnnouncementPlan& plan) { return plan.kind != AnnouncementKind::Asteroid && plan.entry != nullptr; }

bool Holds() { return Calm.settings.Holds() || Calm.entriesCoolDown; }

// Seconds the entry's cooldown still runs.
std::int64_t CooldownLeft(const EntryCalm& calm, std::int32_t cooldown) {
    if (calm.cooldownStart < 0) {
        return 0;
    }
    return std::max<std::int64_t>(0, calm.cooldownStart + cooldown - Calm.clock);
}

bool TooFewPlayers() {
    return Calm.settings.minPlayers > 0 && ConnectedPlayers() < static_cast<std::size_t>(Calm.settings.minPlayers);
}

// The one verdict the spawn and the test command share; calm is the entry's
// state, null for an asteroid or an entry not seen since load.
CalmAnswer Verdict(const EntryCalm* calm, std::int32_t cooldown) {
    if (TooFewPlayers()) {
        return {CalmVerdict::HeldTooFewPlayers, 0};
    }
    const std::int64_t left = calm != nullptr ? CooldownLeft(*calm, cooldown) : 0;
    return {left > 0 ? CalmVerdict::HeldByCooldown : CalmVerdict::Announce, left};
}

std::string Seconds(std::int64_t seconds) { return std::to_string(seconds) + " s"; }

// An entry's state, made at its first spawn since load or since it was
// configured: out of line, so that every later one is a lookup without this
// one's frame.
[[gnu::noinline]] EntryCalm& FirstSeen(const AnnouncementPlan& plan) {
    EntryCalm& calm = Calm.entries[plan.entry];
    calm.key = std::string(plan.key);
    calm.cooldown = plan.cooldown;
    return calm;
}

EntryCalm& StateOf(const AnnouncementPlan& plan) {
    if (Calm.lastEntry != plan.entry) {
        const auto found = Calm.entries.find(plan.entry);
        Calm.lastState = found != Calm.entries.end() ? &found->second : &FirstSeen(plan);
        Calm.lastEntry = plan.entry;
    }
    return *Calm.lastState;
}

void Announced(const AnnouncementPlan& plan, EntryCalm& calm) {
    if (!plan.Announced()) {
        return;
    }
    ++calm.announced;
    calm.lastAnnounced = Calm.clock;
    if (Holds() && calm.cooldown > 0) {
        calm.cooldownStart = Calm.clock;
    }
}

// Out of line, so that a server where nothing is held pays only the test of
// Holds(), not this function's frame.
[[gnu::noinline]] CalmVerdict HeldOrAnnounced(const AnnouncementPlan& plan, float x, float y) {
    EntryCalm* calm = HasEntry(plan) ? &StateOf(plan) : nullptr;
    const CalmVerdict verdict = Verdict(calm, calm != nullptr ? calm->cooldown : 0).verdict;
    switch (verdict) {
        case CalmVerdict::HeldTooFewPlayers:
            ++Calm.counts.heldTooFewPlayers;
            break;
        case CalmVerdict::HeldByCooldown:
            ++calm->held;
            calm->heldX = x;
            calm->heldY = y;
            ++Calm.counts.heldByCooldown;
            break;
        case CalmVerdict::Announce:
            if (calm != nullptr) {
                Announced(plan, *calm);
            }
            break;
    }
    return verdict;
}

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
        if (const AnnouncementPlan* plan = CurrentPlans().Item(calm.key)) {
            calm.cooldown = plan->cooldown;
            entries.emplace(plan->entry, std::move(calm));
        }
    }
    Calm.entries = std::move(entries);
    Calm.lastEntry = nullptr;
    Calm.lastState = nullptr;
}

void StopCalm() { Calm = CalmState(); }

std::vector<HeldSpawns> CalmTimer() {
    ++Calm.clock;
    std::vector<HeldSpawns> due;
    for (auto& held : Calm.entries) {
        EntryCalm& calm = held.second;
        if (calm.held > 0 && CooldownLeft(calm, calm.cooldown) == 0) {
            due.push_back({calm.key, calm.held, calm.heldX, calm.heldY});
            calm.cooldownStart = Calm.clock;
            calm.held = 0;
        }
    }
    return due;
}

const std::string& DigestText() { return Calm.settings.digest; }

CalmAnswer CalmVerdictNow(const AnnouncementPlan& plan) {
    if (!HasEntry(plan)) {
        return Verdict(nullptr, 0);
    }
    const auto found = Calm.entries.find(plan.entry);
    return Verdict(found != Calm.entries.end() ? &found->second : nullptr, plan.cooldown);
}

CalmVerdict CalmSpawn(const AnnouncementPlan& plan, float x, float y) {
    if (Holds()) {
        return HeldOrAnnounced(plan, x, y);
    }
    if (HasEntry(plan)) {
        Announced(plan, StateOf(plan));
    }
    return CalmVerdict::Announce;
}

CalmCounts CalmHeld() { return Calm.counts; }

std::string EntryStatus(const AnnouncementPlan& plan) {
    const auto found = Calm.entries.find(plan.entry);
    const EntryCalm calm = found == Calm.entries.end() ? EntryCalm{} : found->second;
    std::string status(plan.key);
    status += calm.announced == 0 ? ": never announced"
                                  : ": announced " + std::to_string(calm.announced) + " times, last " +
                                        Seconds(Calm.clock - calm.lastAnnounced) + " ago";
    if (plan.cooldown > 0) {
        status += "; cooldown " + Seconds(plan.cooldown) + ", " + std::to_string(calm.held) + " held now";
        if (calm.held > 0) {
            status += ", digest in " + Seconds(CooldownLeft(calm, plan.cooldown));
        }
    }
    return status + ".";
}
