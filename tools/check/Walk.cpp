#include "check/Walk.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "check/DocumentScan.h"
#include "check/Wording.h"
#include "common/Output.h"
#include "config/AnnouncementPlan.h"
#include "config/CalmReaders.h"
#include "config/ConfigKeys.h"
#include "config/ConfigReaders.h"
#include "config/DeliveryValues.h"
#include "config/ItemNames.h"
#include "config/Placeholders.h"
#include "config/PlayersReaders.h"

namespace Herald {

namespace {

using Json = nlohmann::json;

// The rules the walk runs and the report they add to.
struct Visit {
    std::span<const Rule> rules;
    Report& report;
};

void Run(const Context& at, const Visit& visit) {
    for (const Rule& rule : visit.rules) {
        if ((rule.places & At(at.place)) != 0) {
            rule.check(at, visit.report);
        }
    }
}

// The place of a member of an object: its path, its value if given, and its
// pattern in the key table (patternStep is "*" for a name of the admin's own).
// What the walk knows around it is kept.
Context Child(const Context& parent, Place place, std::string_view name, std::string_view patternStep) {
    Context child = parent;
    child.place = place;
    child.path = parent.path + PointerStep(name);
    child.value = nullptr;
    if (parent.value != nullptr && parent.value->is_object()) {
        const auto found = parent.value->find(name);
        child.value = found == parent.value->end() ? nullptr : &*found;
    }
    const ConfigKey* key = FindConfigKey(std::string(parent.pattern) + "/" + std::string(patternStep));
    child.pattern = key != nullptr ? key->Pointer() : std::string_view();
    child.name = name;
    return child;
}

Context Child(const Context& parent, Place place, std::string_view name) { return Child(parent, place, name, name); }

bool IsObject(const Context& at) { return at.value != nullptr && at.value->is_object(); }

// What the plugin decides, by its own reads; where a read raises, the plugin
// does nothing further with the value, and the walk goes on as ifItRaises says.
template <typename Decision>
bool Decided(const Decision& decision, bool ifItRaises) {
    try {
        return decision();
    } catch (const nlohmann::json::exception&) {
        return ifItRaises;
    }
}

// What the plugin does with a spawn of the subject on the map where it is
// announced.
AnnouncementPlan HomePlan(const Json& root, const PlanSubject& subject) {
    return PlanAnnouncement(root, subject, HomeMapOf(subject));
}

// A notification's keys, in the order their findings are told: what is sent,
// how, and then what the delivery reads.
constexpr std::pair<Place, std::string_view> NotificationKeys[] = {
    {Place::Message, Key::Msg},      {Place::DeliveryType, Key::Type}, {Place::DisplayTime, Key::Time},
    {Place::DisplaySize, Key::Size}, {Place::Sender, Key::Sender},     {Place::Color, Key::Color},
};

void WalkNotification(Context notification, const Visit& visit) {
    Run(notification, visit);
    if (!IsObject(notification)) {
        return;
    }
    // A Type of another type fails before anything is sent: the keys are told
    // as the default delivery reads them.
    const Json& sent = *notification.value;
    notification.onScreen = Decided([&] { return SentOnScreen(sent); }, DefaultType == NotificationType);
    for (const auto& [place, name] : NotificationKeys) {
        Run(Child(notification, place, name), visit);
    }
}

void WalkAsteroids(const Context& document, const Json& root, const Visit& visit) {
    const Context asteroids = Child(document, Place::Asteroids, Key::AsteroidGen2);
    Run(asteroids, visit);
    if (!IsObject(asteroids)) {
        return;
    }
    Run(Child(asteroids, Place::AsteroidsEnable, Key::Enable), visit);
    const AnnouncementPlan plan = HomePlan(root, {{}, true});
    Context group = Child(asteroids, Place::Group, Key::Group);
    group.kind = plan.kind;
    group.group = plan.group;
    group.canSend = plan.offered;
    Run(group, visit);
    if (!asteroids.asteroidsOn) {
        return;
    }
    for (const std::string_view map : AsteroidCodeMaps()) {
        const Context codes = Child(asteroids, Place::AsteroidCodeMap, map);
        Run(codes, visit);
        if (!IsObject(codes)) {
            continue;
        }
        for (const auto& [code, value] : codes.value->items()) {
            Context entry = Child(codes, Place::AsteroidCode, code, Key::AnyMember);
            entry.codeMap = map;
            Run(entry, visit);
        }
    }
    Context notification = Child(asteroids, Place::Notification, Key::Notification);
    notification.kind = AnnouncementKind::Asteroid;
    WalkNotification(std::move(notification), visit);
}

void WalkItems(const Context& document, const Json& root, const Visit& visit) {
    // An entry's Cooldown that is no count gives way to Calm's, without a word in the log.
    const std::string instead = std::string(Key::Calm) + " → " + std::string(Key::Cooldown) + ", " +
                                std::to_string(CalmSettingsOf(root).cooldown) + " s";
    const Context items = Child(document, Place::Items, Key::Items);
    Run(items, visit);
    if (items.value == nullptr || !items.value->is_object()) {
        return;
    }
    for (const auto& [key, entry] : items.value->items()) {
        const AnnouncementPlan plan = HomePlan(root, {key, false});
        Context item = Child(items, Place::Item, key, Key::AnyMember);
        item.kind = plan.kind;
        Run(item, visit);
        if (!entry.is_object()) {
            continue;
        }
        Run(Child(item, Place::ItemName, Key::Name), visit);
        Context group = Child(item, Place::Group, Key::Group);
        group.group = plan.group;
        group.canSend = plan.offered;
        Run(group, visit);
        Context cooldown = Child(item, Place::Count, Key::Cooldown);
        cooldown.countInstead = instead;
        cooldown.canSend = group.canSend;
        Run(cooldown, visit);
        WalkNotification(Child(item, Place::Notification, Key::Notification), visit);
    }
}

// Players' keys are read at every load and reload, whatever Enable says.
void WalkPlayers(const Context& document, const Visit& visit) {
    const Context players = Child(document, Place::Players, Key::Players);
    Run(players, visit);
    if (!IsObject(players)) {
        return;
    }
    constexpr std::pair<Place, std::string_view> keys[] = {
        {Place::PlayersEnable, Key::Enable}, {Place::ChatCommand, Key::Command}, {Place::ChoiceStore, Key::Store}};
    for (const auto& [place, name] : keys) {
        Run(Child(players, place, name), visit);
    }
}

// Calm is read at every load and reload; its keys not of their form give way
// to their defaults, each with an error line.
void WalkCalm(const Context& document, const Visit& visit) {
    const Context calm = Child(document, Place::Calm, Key::Calm);
    Run(calm, visit);
    if (!IsObject(calm)) {
        return;
    }
    const std::string minPlayers = "no minimum of players (" + std::to_string(DefaultMinPlayers) + ")";
    const std::string cooldown = "a cooldown of " + std::to_string(DefaultCooldown) + " s";
    const std::pair<std::string_view, const std::string*> counts[] = {{Key::MinPlayers, &minPlayers},
                                                                      {Key::Cooldown, &cooldown}};
    for (const auto& [name, instead] : counts) {
        Context count = Child(calm, Place::Count, name);
        count.countInstead = *instead;
        count.countLogged = true;
        Run(count, visit);
    }
    Context digest = Child(calm, Place::Digest, Key::Digest);
    digest.kind = AnnouncementKind::Digest;
    Run(digest, visit);
}

// The groups some entry announces on some map: structures' on every map,
// ocean crates' on Ragnarok alone, asteroids' on Gen2 alone.
std::vector<std::string> AnnouncedAnywhere(const Json& root) {
    std::vector<std::string> groups = AnnouncedGroups(root, AsteroidMap);
    for (std::string& group : AnnouncedGroups(root, OceanCrateMap)) {
        const std::string folded = GroupFold(group);
        if (std::none_of(groups.begin(), groups.end(),
                         [&](const std::string& known) { return GroupFold(known) == folded; })) {
            groups.push_back(std::move(group));
        }
    }
    return groups;
}

// The relay's settings are read at every load and reload: a webhook that is refused relays
// nothing, and its other keys not of their form give way to their defaults,
// each with an error line.
void WalkDiscord(const Context& document, const Json& root, const Visit& visit) {
    const Context discord = Child(document, Place::Discord, Key::Discord);
    Run(discord, visit);
    if (!IsObject(discord)) {
        return;
    }
    Run(Child(discord, Place::Webhook, Key::Webhook), visit);
    const std::vector<std::string> announced = AnnouncedAnywhere(root);
    Context groups = Child(discord, Place::RelayedGroups, Key::Groups);
    groups.announcedAnywhere = &announced;
    Run(groups, visit);
    Run(Child(discord, Place::Username, Key::Username), visit);
    Context thread = Child(discord, Place::Thread, Key::Thread);
    if (const Json* webhook = Child(discord, Place::Webhook, Key::Webhook).value; webhook && webhook->is_string()) {
        thread.webhook = webhook->get_ref<const std::string&>();
    }
    Run(thread, visit);
    Run(Child(discord, Place::Mention, Key::Mention), visit);
}

}  // namespace

void WalkDocument(const Json& document, Report& report) { WalkDocument(document, Rules(), report); }

void WalkDocument(const Json& document, std::span<const Rule> rules, Report& report) {
    const Visit visit{rules, report};
    Context at{Place::Document, "", &document, ""};
    Run(at, visit);
    if (!document.is_object()) {
        return;
    }
    at.enableNests = Decided([&] { return NestsExamined(document); }, false);
    at.asteroidsOn = Decided([&] { return AsteroidsEnabled(AsteroidsOf(document)); }, false);
    Run(Child(at, Place::SchemaReference, Key::SchemaReference), visit);
    Run(Child(at, Place::EnableNests, Key::EnableNests), visit);
    WalkAsteroids(at, document, visit);
    WalkItems(at, document, visit);
    WalkPlayers(at, visit);
    WalkCalm(at, visit);
    WalkDiscord(at, document, visit);
}

}  // namespace Herald
