#include "preview/PreviewPlan.h"

#include <algorithm>
#include <iterator>
#include <nlohmann/json.hpp>
#include <string_view>
#include <unordered_set>

#include "check/DocumentScan.h"
#include "common/Output.h"
#include "config/AnnouncementPlan.h"
#include "config/ConfigKeys.h"
#include "config/ConfigReaders.h"
#include "config/DeliveryValues.h"
#include "config/ItemNames.h"
#include "config/Placeholders.h"
#include "config/PlayersReaders.h"

namespace Herald {

namespace {

using Json = nlohmann::json;

// The game numbers each object it spawns after its class name.
constexpr std::string_view FirstInstance = "_1";
// An asteroid crate is named SupplyCrate_Space_NN_CODE_C_N: its code begins
// where the plugin reads it from.
constexpr std::string_view AsteroidCrateNumber = "01_";
static_assert(SpaceCrateFragment.size() + AsteroidCrateNumber.size() == AsteroidCodeStart);

// Whether the plugin reads the entry's colour as "Random"; where its reads
// raise, it sends nothing.
bool DrawsRandomColor(const Json& entry) {
    try {
        const Json& notification = NotificationOf(entry);
        std::string spare;
        return notification.is_object() && ColorTextOf(notification, spare) == RandomColorText;
    } catch (const nlohmann::json::exception&) {
        return false;
    }
}

// Whether the plugin's item key of an object named `name` is `key`: the name
// cut after its first "_C_".
bool NameGivesKey(std::string_view name, std::size_t keyLength) {
    const std::size_t end = FindItemKeyEnd(name);
    return end != std::string_view::npos && end + ItemKeyEndLength == keyLength;
}

SpawnStructureEvent StructureSpawn(const std::string& name, SpawnClass objectClass) {
    SpawnStructureEvent spawn;
    spawn.name = name;
    spawn.objectClass = objectClass;
    return spawn;
}

// What is spawned for a key that names an object: an ocean crate, an item
// container, a nest, or else the nest of the creature the key names.
void PlanItemSpawn(const std::string& key, PlannedEntry& planned) {
    PreviewEntry& shown = planned.shown;
    const std::string name = key + std::string(FirstInstance);
    const KeyFragments fragments = FindKeyFragments(key);
    if (fragments.ocean) {
        planned.spawn = SpawnContainerEvent{name, {}, true};
        shown.spawn = "ocean crate " + name;
    } else if (fragments.container) {
        planned.spawn = StructureSpawn(name, SpawnClass::Container);
        shown.spawn = "item container " + name;
    } else if (fragments.nest) {
        planned.spawn = StructureSpawn(name, SpawnClass::Structure);
        shown.spawn = "nest " + name + " with no creature";
    } else {
        // Nests are looked up under the creature that laid them.
        const std::string nest = std::string(NestFragment) + std::string(FirstInstance);
        SpawnStructureEvent spawn = StructureSpawn(nest, SpawnClass::Structure);
        spawn.instigator = InstigatorSpec{name, InstigatorClass::Dino, SampleCreatureLevel, true};
        planned.spawn = std::move(spawn);
        shown.spawn = "nest " + nest + " laid by " + name + " at level " + std::to_string(SampleCreatureLevel);
    }
}

PlannedEntry PlanItem(const Json& document, const std::string& key, const Json& entry,
                      const std::string& structureMap) {
    PlannedEntry planned;
    PreviewEntry& shown = planned.shown;
    const PlanSubject subject{key, false};
    const std::string_view home = HomeMapOf(subject);
    shown.pointer = std::string(ItemsPointer.View()) + PointerStep(key);
    shown.title = key;
    shown.map = home.empty() ? structureMap : std::string(home);
    const AnnouncementPlan plan = PlanAnnouncement(document, subject, shown.map);
    shown.group = plan.group;
    planned.relayed = plan.relayed;
    shown.randomColor = DrawsRandomColor(entry);
    // No object's name gives a key that the plugin would cut shorter, nor
    // one not ending in "_C"; a near name would find another entry, so
    // nothing is spawned, and check's finding says why.
    if (NameGivesKey(key + std::string(FirstInstance), key.size())) {
        PlanItemSpawn(key, planned);
    }
    return planned;
}

PlannedEntry PlanAsteroid(const Json& document, const std::string& code, const Json& asteroids, bool enabled) {
    PlannedEntry entry;
    PreviewEntry& shown = entry.shown;
    const PlanSubject subject{code, true};
    shown.pointer = AsteroidsPointer.View();
    shown.title = code;
    shown.code = code;
    shown.map = HomeMapOf(subject);
    const AnnouncementPlan plan = PlanAnnouncement(document, subject, shown.map);
    shown.group = plan.group;
    entry.relayed = plan.relayed;
    if (const auto colors = asteroids.find(Key::Color); colors != asteroids.end() && colors->is_object()) {
        const auto color = colors->find(code);
        shown.randomColor =
            color != colors->end() && color->is_string() && color->get<std::string>() == RandomColorText;
    }
    if (!enabled) {
        shown.notes.push_back("AsteroidGen2/Enable is not true: asteroid announcements are off");
    }
    const std::string name =
        std::string(SpaceCrateFragment) + std::string(AsteroidCrateNumber) + code + "_C" + std::string(FirstInstance);
    // Only where the plugin cuts the name does its item key leave this code.
    if (!NameGivesKey(name, AsteroidCodeStart + code.size() + ItemKeyEndLength)) {
        shown.notes.push_back(
            "no asteroid crate's name yields this code: the \"_C_\" in it would cut the "
            "crate's item key short");
    } else {
        entry.spawn = StructureSpawn(name, SpawnClass::Container);
        shown.spawn = "asteroid crate " + name;
    }
    return entry;
}

std::vector<PlannedEntry> PlanAsteroids(const Json& document, const std::vector<std::string>& codes) {
    std::vector<PlannedEntry> planned;
    const auto asteroids = document.find(Key::AsteroidGen2);
    if (asteroids == document.end() || !asteroids->is_object()) {
        return planned;
    }
    bool enabled = false;
    try {
        enabled = AsteroidsEnabled(*asteroids);
    } catch (const nlohmann::json::exception&) {
    }
    const auto inDocument = [&](const std::string& code) {
        return std::any_of(AsteroidCodeMaps().begin(), AsteroidCodeMaps().end(), [&](std::string_view map) {
            const auto codeMap = asteroids->find(std::string(map));
            return codeMap != asteroids->end() && codeMap->is_object() && codeMap->contains(code);
        });
    };
    for (const std::string& code : codes) {
        // A code map that a later one of the same name replaced is gone.
        if (inDocument(code)) {
            planned.push_back(PlanAsteroid(document, code, *asteroids, enabled));
        }
    }
    return planned;
}

// Keys given twice in one object are the document's once.
std::vector<std::string> Once(const std::vector<std::string>& keys) {
    std::vector<std::string> once;
    std::unordered_set<std::string> seen;
    for (const std::string& key : keys) {
        if (seen.insert(key).second) {
            once.push_back(key);
        }
    }
    return once;
}

}  // namespace

std::vector<PlannedEntry> PlanPreview(const CheckedConfig& checked, const std::string& structureMap) {
    const Json& document = checked.document;
    if (!document.is_object()) {
        return {};
    }
    std::vector<PlannedEntry> plan;
    std::vector<PlannedEntry> ocean;
    if (const auto items = document.find(Key::Items); items != document.end() && items->is_object()) {
        for (const std::string& key : Once(checked.itemKeys)) {
            // A key of an object that a later one under the same key replaced is gone.
            if (const auto entry = items->find(key); entry != items->end()) {
                PlannedEntry planned = PlanItem(document, key, *entry, structureMap);
                (planned.shown.map == structureMap ? plan : ocean).push_back(std::move(planned));
            }
        }
    }
    std::move(ocean.begin(), ocean.end(), std::back_inserter(plan));
    std::vector<PlannedEntry> asteroids = PlanAsteroids(document, Once(checked.asteroidCodes));
    std::move(asteroids.begin(), asteroids.end(), std::back_inserter(plan));
    return plan;
}

// The scenario preview plays is the one `herald run` would play from a file,
// where every text is JSON: bytes that are not UTF-8 read as U+FFFD there, and
// so the plugin and the transcript see them that way here too.
PreviewScenario ScenarioOfPlan(const std::vector<PlannedEntry>& plan, const std::string& configText,
                               const std::string& map, bool answerEachPost) {
    PreviewScenario scenario;
    scenario.setup.configText = ValidUtf8(configText);
    scenario.setup.map = ValidUtf8(map);
    scenario.setup.players.push_back({std::string(PreviewPlayerName), false});
    std::string current = map;
    for (const PlannedEntry& entry : plan) {
        if (!entry.spawn) {
            scenario.spawnEvents.emplace_back();
            continue;
        }
        if (entry.shown.map != current) {
            current = entry.shown.map;
            scenario.events.emplace_back(InitGameEvent{ValidUtf8(current)});
        }
        scenario.spawnEvents.emplace_back(scenario.events.size());
        scenario.events.push_back(*entry.spawn);
        if (answerEachPost) {
            scenario.events.emplace_back(WaitEvent{1});
        }
    }
    return scenario;
}

}  // namespace Herald
