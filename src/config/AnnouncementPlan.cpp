#include "config/AnnouncementPlan.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "config/CalmReaders.h"
#include "config/ConfigKeys.h"
#include "config/ConfigReaders.h"
#include "config/DeliveryValues.h"
#include "config/ItemNames.h"
#include "config/PlayersReaders.h"
#include "config/RelayReaders.h"

namespace {

using Json = nlohmann::json;

// What every plan of one document and map shares, read once.
struct Planner {
    const Json& document;
    std::string_view map;
    CalmSettings calm;
    DiscordSettings discord;
    // EnableNests, or the error its read raises.
    std::optional<bool> nests;
    std::string nestsFailure;

    Planner(const Json& document, std::string_view map)
        : document(document), map(map), calm(CalmSettingsOf(document)), discord(DiscordSettingsOf(document)) {
        try {
            nests = NestsExamined(document);
        } catch (const Json::exception& error) {
            nestsFailure = error.what();
        }
    }

    bool Relays(std::string_view group) const { return discord.relays && RelaysGroup(discord, GroupFold(group)); }
};

// The template's message and delivery, read as a delivery reads them: Msg,
// Type, then Time, Size and Color, or Sender. A template that is not an
// object, or whose Msg is empty, sends nothing.
void PlanTemplate(const Json& notification, AnnouncementPlan& plan, bool colorOfItsOwn = true) {
    if (!notification.is_object()) {
        plan.silence = "it has no " + std::string(Key::Notification);
        return;
    }
    std::string spare;
    const std::string_view message = MessageOf(notification, spare);
    if (message.empty()) {
        plan.silence = "its " + std::string(Key::Msg) + " is empty";
        return;
    }
    plan.message = message;  // a text of the document: no spare is ever used for a text that is there
    plan.offered = true;
    Delivery& delivery = plan.delivery;
    delivery.onScreen = SentOnScreen(notification);
    if (delivery.onScreen) {
        delivery.time = DisplayTimeOf(notification);
        delivery.size = DisplaySizeOf(notification);
        if (colorOfItsOwn) {
            delivery.color = ColorTextOf(notification, spare);  // no spare is used for a text that is there
        }
    } else {
        delivery.sender = SenderOf(notification);
    }
}

// Reads that raise leave the plan with what was read before them, and the
// first one's error text, the library's, as its failure. A template that can
// send offers its group whatever a later read of its delivery raises.
template <typename Reads>
void Read(AnnouncementPlan& plan, Reads&& reads) {
    try {
        reads();
    } catch (const Json::exception& error) {
        if (!plan.failure) {
            plan.failure = error.what();
        }
    }
}

// Told only where nothing else keeps it silent: the admin is sent to the
// map where it would be sent.
void SilentHere(AnnouncementPlan& plan, std::string_view home, std::string_view what) {
    plan.offered = false;
    if (plan.silence) {
        return;
    }
    plan.silence = std::string(what) + " are announced on " + std::string(home);
    plan.sentOn = home;
}

// An Items entry, read in the order a spawn of it reads: whether any object
// has its key, whether its kind is examined, its Name, then its template.
AnnouncementPlan PlanItem(const Planner& planner, std::string_view key, const Json& entry) {
    AnnouncementPlan plan;
    plan.key = key;
    plan.entry = &entry;
    const KeyFragments fragments = FindKeyFragments(key);
    // Nests are looked up under the key of the creature that laid them.
    plan.kind = fragments.ocean                                 ? AnnouncementKind::OceanCrate
                : !fragments.hunted && IsItemKeyOfSomeName(key) ? AnnouncementKind::Nest
                                                                : AnnouncementKind::Structure;
    plan.group = GroupOf(entry, key);
    plan.relayed = planner.Relays(plan.group);
    plan.cooldown = CooldownOf(entry, planner.calm);
    if (!CanBeItemKey(key)) {
        plan.silence = "no spawned object has this item key (an item key ends at its first \"_C\")";
        return plan;
    }
    // An ocean crate is announced by a hook of its own, whatever EnableNests says.
    if (!fragments.ocean && !fragments.container) {
        if (!planner.nests) {
            plan.failure = planner.nestsFailure;
            return plan;
        }
        if (!*planner.nests) {
            plan.silence = std::string(Key::EnableNests) + " is false";
            return plan;
        }
    }
    // A Name that raises fails the spawn, but the template can still send:
    // the group is offered, as the template alone decides it.
    Read(plan, [&] {
        std::string spare;  // used only where the read raises
        plan.name = ItemName(entry, key, spare);
    });
    Read(plan, [&] { PlanTemplate(NotificationOf(entry), plan); });
    if (fragments.ocean && planner.map != OceanCrateMap) {
        SilentHere(plan, OceanCrateMap, "ocean crates");
    }
    return plan;
}

AnnouncementPlan PlanAsteroids(const Planner& planner, std::string_view code) {
    AnnouncementPlan plan;
    plan.key = code;
    plan.kind = AnnouncementKind::Asteroid;
    Read(plan, [&] {
        const Json& asteroids = AsteroidsOf(planner.document);
        plan.entry = &asteroids;
        plan.group = AsteroidGroupOf(asteroids);
        plan.relayed = planner.Relays(plan.group);
        if (!AsteroidsEnabled(asteroids)) {
            plan.silence = std::string(Key::AsteroidGen2) + " is not enabled";
            return;
        }
        // The code's colour goes onto a copy of the template in place of its
        // own, which is never read; the copy raises where the template is
        // neither an object nor absent.
        AsteroidTemplate(asteroids, std::string(DefaultAsteroidColor));
        PlanTemplate(NotificationOf(asteroids), plan, false);
    });
    if (planner.map != AsteroidMap) {
        SilentHere(plan, AsteroidMap, "asteroid crates");
    }
    return plan;
}

AnnouncementPlan Plan(const Planner& planner, const PlanSubject& subject) {
    if (subject.asteroid) {
        return PlanAsteroids(planner, subject.key);
    }
    AnnouncementPlan plan;
    plan.key = subject.key;
    Read(plan, [&] {
        const Json& entry = ItemEntry(planner.document, subject.key);
        if (!entry.is_null()) {
            plan = PlanItem(planner, subject.key, entry);
        } else {
            plan.group = KindGroup(subject.key);
            plan.silence = "it has no entry in " + std::string(Key::Items);
        }
    });
    return plan;
}

// Each group once, as the first plan offering it writes it.
void AddGroup(std::vector<std::string>& groups, std::vector<std::string>& folded, std::string_view group) {
    std::string fold = GroupFold(group);
    if (std::find(folded.begin(), folded.end(), fold) == folded.end()) {
        groups.emplace_back(group);
        folded.push_back(std::move(fold));
    }
}

// AsteroidGen2 on a map where it is never announced: its group alone, since
// no asteroid crate is planned there, and its reads, which may raise, are
// made where one is.
AnnouncementPlan AsteroidsElsewhere(const Planner& planner) {
    AnnouncementPlan plan;
    plan.kind = AnnouncementKind::Asteroid;
    if (planner.document.is_object()) {
        plan.entry = &AsteroidsOf(planner.document);
        plan.group = AsteroidGroupOf(*plan.entry);
        plan.relayed = planner.Relays(plan.group);
    }
    SilentHere(plan, AsteroidMap, "asteroid crates");
    return plan;
}

}  // namespace

std::string_view HomeMapOf(const PlanSubject& subject) {
    if (subject.asteroid) {
        return AsteroidMap;
    }
    return FindKeyFragments(subject.key).ocean ? OceanCrateMap : std::string_view();
}

AnnouncementPlan PlanAnnouncement(const Json& document, const PlanSubject& subject, std::string_view map) {
    return Plan(Planner(document, map), subject);
}

PlanBook PlanEveryEntry(const Json& document, std::string_view map) {
    PlanBook book;
    std::vector<std::string> folded;
    const Planner planner(document, map);
    const auto items = document.find(Key::Items);
    try {
        ItemEntry(document, {});
    } catch (const Json::exception& error) {
        book.itemsFailure = error.what();
    }
    if (items != document.end() && items->is_object()) {
        book.items.reserve(items->size());
        for (const auto& [key, entry] : items->items()) {
            if (entry.is_null()) {
                continue;  // not configured: a lookup finds nothing
            }
            auto [placed, added] = book.items.try_emplace(key);
            placed->second = PlanItem(planner, placed->first, entry);
            if (placed->second.offered) {
                AddGroup(book.groups, folded, placed->second.group);
            }
        }
    }
    book.asteroids = map == AsteroidMap ? PlanAsteroids(planner, {}) : AsteroidsElsewhere(planner);
    if (book.asteroids.offered) {
        AddGroup(book.groups, folded, book.asteroids.group);
    }
    std::sort(book.groups.begin(), book.groups.end(),
              [](const std::string& a, const std::string& b) { return GroupFold(a) < GroupFold(b); });
    return book;
}

std::vector<std::string> AnnouncedGroups(const Json& document, std::string_view map) {
    return PlanEveryEntry(document, map).groups;
}
