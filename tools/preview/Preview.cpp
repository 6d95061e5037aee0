#include "preview/Preview.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <stdexcept>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "check/Check.h"
#include "common/Output.h"
#include "preview/PreviewPage.h"
#include "run/Run.h"
#include "common/TemporaryFolder.h"
#include "config/ConfigLimits.h"

namespace Herald {

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;
// Small objects whose keys keep the order they are added in (a line of
// output); its lookups are linear, so never a config's.
using OrderedJson = nlohmann::ordered_json;

// The one player who receives everything.
constexpr std::string_view PlayerName = "Survivor";
// The level of the creature whose nest is previewed: it shows what {EggLvl} becomes.
constexpr int SampleCreatureLevel = 150;
constexpr std::string_view OceanCrateMap = "Ragnarok";
constexpr std::string_view AsteroidMap = "Gen2";
constexpr std::string_view OceanCrateFragment = "supplycreate_oceaninstant_high_c";
constexpr std::array<std::string_view, 4> ContainerFragments{"supplycrate", "elementnode", "artifactcrate",
                                                             "beaverdam"};
// An asteroid crate's item key starts with these 21 bytes, so that its code
// is what follows them, up to the final "_C".
constexpr std::string_view AsteroidCratePrefix = "SupplyCrate_Space_01_";
constexpr std::array<std::string_view, 4> AsteroidCodeMaps{"Color", "Name", "PrimaryResources", "SecondaryResources"};
// A console line no plugin registers: the host refuses it with the event's
// index, which marks in the JSON transcript where one entry's spawn ends.
constexpr std::string_view EndOfEntryCommand = "HeraldPreview.EndOfEntry";

std::string Lower(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

// ---- What is spawned for each entry ----------------------------------------------

struct PlannedEntry {
    PreviewEntry shown;
    std::optional<Json> spawn;  // the scenario event; none when no object can be made for it
};

Json Origin() { return Json::array({0, 0, 0}); }

// The text of Notification/Color, as the plugin would read it for a colour.
std::string ColorText(const Json& entry) {
    if (!entry.is_object()) {
        return {};
    }
    const auto notification = entry.find("Notification");
    if (notification == entry.end() || !notification->is_object()) {
        return {};
    }
    const auto color = notification->find("Color");
    return color != notification->end() && color->is_string() ? color->get<std::string>() : std::string();
}

PlannedEntry PlanItem(const std::string& key, const Json& entry, const std::string& structureMap) {
    PlannedEntry planned;
    PreviewEntry& shown = planned.shown;
    shown.pointer = "/Items" + PointerStep(key);
    shown.title = key;
    shown.randomColor = ColorText(entry) == "Random";
    const std::string lower = Lower(key);
    const bool ocean = lower.find(OceanCrateFragment) != std::string::npos;
    shown.map = ocean ? std::string(OceanCrateMap) : structureMap;
    // The game names an object CLASS_C_NUMBER and the plugin cuts the name
    // after its first "_C_". No object gives a key with "_C_" in it or one not
    // ending in "_C"; a near name would find another entry, so nothing is
    // spawned, and check's finding says why.
    if (lower.find("_c_") != std::string::npos || !lower.ends_with("_c")) {
        return planned;
    }
    const std::string name = key + "_1";
    if (ocean) {
        planned.spawn = Json{{"event", "spawn_container"}, {"name", name}, {"position", Origin()}};
        shown.spawn = "ocean crate " + name;
    } else if (std::any_of(ContainerFragments.begin(), ContainerFragments.end(),
                           [&](std::string_view fragment) { return lower.find(fragment) != std::string::npos; })) {
        planned.spawn =
            Json{{"event", "spawn_structure"}, {"name", name}, {"class", "container"}, {"location", Origin()}};
        shown.spawn = "item container " + name;
    } else if (lower.find("nest_c") != std::string::npos) {
        planned.spawn =
            Json{{"event", "spawn_structure"}, {"name", name}, {"class", "structure"}, {"location", Origin()}};
        shown.spawn = "nest " + name + " with no creature";
    } else {
        // Nests are looked up under the creature that laid them.
        const std::string nest = "Nest_C_1";
        planned.spawn = Json{{"event", "spawn_structure"},
                             {"name", nest},
                             {"class", "structure"},
                             {"location", Origin()},
                             {"instigator", {{"name", name}, {"class", "dino"}, {"level", SampleCreatureLevel}}}};
        shown.spawn = "nest " + nest + " laid by " + name + " at level " + std::to_string(SampleCreatureLevel);
    }
    return planned;
}

std::vector<PlannedEntry> PlanAsteroids(const Json& document, const std::vector<std::string>& codes) {
    std::vector<PlannedEntry> planned;
    const auto asteroids = document.find("AsteroidGen2");
    if (asteroids == document.end() || !asteroids->is_object()) {
        return planned;
    }
    const auto enable = asteroids->find("Enable");
    const bool enabled = enable != asteroids->end() && enable->is_boolean() && enable->get<bool>();
    const auto colors = asteroids->find("Color");
    const auto inDocument = [&](const std::string& code) {
        return std::any_of(AsteroidCodeMaps.begin(), AsteroidCodeMaps.end(), [&](std::string_view map) {
            const auto codeMap = asteroids->find(std::string(map));
            return codeMap != asteroids->end() && codeMap->is_object() && codeMap->contains(code);
        });
    };
    for (const std::string& code : codes) {
        if (!inDocument(code)) {
            continue;  // a code map that a later one of the same name replaced
        }
        PlannedEntry entry;
        PreviewEntry& shown = entry.shown;
        shown.pointer = "/AsteroidGen2";
        shown.title = code;
        shown.code = code;
        shown.map = AsteroidMap;
        if (colors != asteroids->end() && colors->is_object()) {
            const auto color = colors->find(code);
            shown.randomColor = color != colors->end() && color->is_string() && color->get<std::string>() == "Random";
        }
        if (!enabled) {
            shown.notes.push_back("AsteroidGen2/Enable is not true: asteroid announcements are off");
        }
        const std::string name = std::string(AsteroidCratePrefix) + code + "_C_1";
        // The key is cut at the first "_C_" of the name: only there does it
        // leave this code.
        if (Lower(name).find("_c_") != AsteroidCratePrefix.size() + code.size()) {
            shown.notes.push_back(
                "no asteroid crate's name yields this code: the \"_C_\" in it would cut the "
                "crate's item key short");
        } else {
            entry.spawn =
                Json{{"event", "spawn_structure"}, {"name", name}, {"class", "container"}, {"location", Origin()}};
            shown.spawn = "asteroid crate " + name;
        }
        planned.push_back(std::move(entry));
    }
    return planned;
}

// The keys of Items and the asteroid codes of AsteroidGen2's four code maps,
// each once, in the order the admin wrote them: the document's own objects
// keep them sorted. Read the way the plugin reads the file: its first value.
class KeyOrder final : public nlohmann::json_sax<Json> {
public:
    std::vector<std::string> items;
    std::vector<std::string> codes;

    bool null() override { return true; }
    bool boolean(bool) override { return true; }
    bool number_integer(number_integer_t) override { return true; }
    bool number_unsigned(number_unsigned_t) override { return true; }
    bool number_float(number_float_t, const string_t&) override { return true; }
    bool string(string_t&) override { return true; }
    bool binary(binary_t&) override { return true; }
    // Each open object or array holds the key being read in it ("" in an
    // array, where no key is ever compared with one of ours).
    bool start_object(std::size_t) override {
        keys_.emplace_back();
        return true;
    }
    bool end_object() override {
        keys_.pop_back();
        return true;
    }
    bool start_array(std::size_t) override { return start_object(0); }
    bool end_array() override { return end_object(); }
    bool key(string_t& key) override {
        keys_.back() = key;
        const auto codeMap = [&] {
            return std::find(AsteroidCodeMaps.begin(), AsteroidCodeMaps.end(), keys_[1]) != AsteroidCodeMaps.end();
        };
        if (keys_.size() == 2 && keys_[0] == "Items") {
            items.push_back(key);
        } else if (keys_.size() == 3 && keys_[0] == "AsteroidGen2" && codeMap()) {
            codes.push_back(key);
        }
        return true;
    }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override { return false; }

private:
    std::vector<std::string> keys_;
};

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

std::vector<PlannedEntry> Plan(const std::string& text, const Json& document, const std::string& structureMap) {
    KeyOrder order;
    Json::sax_parse(text, &order, Json::input_format_t::json, false);
    std::vector<PlannedEntry> onMap;
    std::vector<PlannedEntry> ocean;
    if (const auto items = document.find("Items"); items != document.end() && items->is_object()) {
        for (const std::string& key : Once(order.items)) {
            // A key of an Items object that an earlier "Items" replaced is gone.
            if (const auto entry = items->find(key); entry != items->end()) {
                PlannedEntry planned = PlanItem(key, *entry, structureMap);
                (planned.shown.map == structureMap ? onMap : ocean).push_back(std::move(planned));
            }
        }
    }
    // Structures on the chosen map, then the ocean crates, then the asteroids:
    // one map change each.
    std::vector<PlannedEntry> plan = std::move(onMap);
    std::move(ocean.begin(), ocean.end(), std::back_inserter(plan));
    std::vector<PlannedEntry> asteroids = PlanAsteroids(document, Once(order.codes));
    std::move(asteroids.begin(), asteroids.end(), std::back_inserter(plan));
    return plan;
}

// The scenario that spawns the plan; with markers, an end-of-entry console
// line after each spawn, whose event indices are given in order.
Json Scenario(const std::string& configText, const std::string& map, const std::vector<PlannedEntry>& plan,
              std::vector<std::pair<long long, std::size_t>>* markers) {
    Json events = Json::array();
    std::string current = map;
    for (std::size_t index = 0; index < plan.size(); ++index) {
        const PlannedEntry& entry = plan[index];
        if (!entry.spawn) {
            continue;
        }
        if (entry.shown.map != current) {
            current = entry.shown.map;
            events.push_back({{"event", "init_game"}, {"map", current}});
        }
        events.push_back(*entry.spawn);
        if (markers != nullptr) {
            markers->emplace_back(static_cast<long long>(events.size()), index);
            events.push_back({{"event", "console"}, {"player", nullptr}, {"command", EndOfEntryCommand}});
        }
    }
    return Json{{"config_text", configText},
                {"map", map},
                {"players", Json::array({{{"name", PlayerName}}})},
                {"events", std::move(events)}};
}

// ---- Running it ----------------------------------------------------------------------

// A folder of this preview's own for its scenario files, removed on every way
// out (TemporaryFolder.h).
struct ScratchFolder {
    TemporaryFolder folder;

    ScratchFolder() try : folder("herald-preview") {
    } catch (const TemporaryFolderError& error) {
        throw TemporaryFolderError(std::string("can't make a temporary folder: ") + error.what());
    }

    std::string Write(const std::string& name, const std::string& text) {
        const fs::path file = folder.Root() / name;
        folder.Holds(file, false);
        std::ofstream stream(file, std::ios::binary | std::ios::trunc);
        stream << text;
        if (!stream.flush()) {
            throw std::runtime_error("can't write " + file.string());
        }
        return file.string();
    }
};

std::string ScenarioText(const Json& scenario) {
    // Text after the document's end, which the plugin never reads, may hold
    // bytes that are not UTF-8; they become U+FFFD.
    return scenario.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::optional<float> Number(const Json& value) {
    if (!value.is_number()) {
        return std::nullopt;
    }
    return static_cast<float>(value.get<double>());
}

std::optional<Delivery> AsDelivery(const Json& record) {
    const std::string type = record.value("type", "");
    Delivery delivery;
    delivery.text = record.value("text", "");
    if (type == "notification") {
        delivery.kind = Delivery::Kind::Notification;
        const Json& color = record.value("color", Json::array());
        float* channels[] = {&delivery.color.R, &delivery.color.G, &delivery.color.B, &delivery.color.A};
        for (std::size_t i = 0; i < 4; ++i) {
            *channels[i] = i < color.size() ? Number(color[i]).value_or(0.0F) : 0.0F;
        }
        delivery.size = Number(record.value("size", Json()));
        delivery.time = Number(record.value("time", Json()));
        return delivery;
    }
    if (type == "chat") {
        delivery.kind = Delivery::Kind::Chat;
        delivery.sender = record.value("sender", "");
        return delivery;
    }
    if (type == "log") {
        delivery.kind = Delivery::Kind::Log;
        delivery.level = record.value("level", "");
        return delivery;
    }
    return std::nullopt;
}

// Hands each transcript line to the entry whose spawn caused it: the lines
// between the load and the first marker belong to the first spawned entry,
// and so on.
void Attribute(const std::string& transcript, const std::vector<std::pair<long long, std::size_t>>& markers,
               std::vector<PlannedEntry>& plan, PreviewReport& report) {
    bool loaded = false;
    std::size_t passed = 0;
    std::istringstream lines(transcript);
    for (std::string line; std::getline(lines, line);) {
        const Json record = Json::parse(line, nullptr, false);
        if (!record.is_object()) {
            continue;
        }
        const std::string type = record.value("type", "");
        if (type == "load" && !loaded) {
            loaded = true;
            if (!record.value("ok", false)) {
                report.loadError = record.value("error", "");
            }
            continue;
        }
        if (type == "refused" && passed < markers.size() && record.value("event", Json()) == markers[passed].first) {
            ++passed;
            continue;
        }
        if (!loaded || passed == markers.size()) {
            continue;
        }
        if (std::optional<Delivery> delivery = AsDelivery(record)) {
            plan[markers[passed].second].shown.deliveries.push_back(std::move(*delivery));
        }
    }
}

// Each finding goes to the entry it lies in: an Items entry is the pointer's
// first two steps, an asteroid code its first three (/AsteroidGen2/Name/Metal).
void GroupFindings(const std::vector<Finding>& findings, std::vector<PlannedEntry>& plan, PreviewReport& report) {
    std::unordered_map<std::string, std::size_t> owners;
    for (std::size_t index = 0; index < plan.size(); ++index) {
        const PreviewEntry& entry = plan[index].shown;
        if (!entry.code) {
            owners.emplace(entry.pointer, index);
            continue;
        }
        for (const std::string_view map : AsteroidCodeMaps) {
            owners.emplace("/AsteroidGen2/" + std::string(map) + PointerStep(*entry.code), index);
        }
    }
    const auto prefix = [](const std::string& path, int steps) {
        std::size_t end = 0;
        for (int step = 0; step < steps && end != std::string::npos; ++step) {
            end = path.find('/', end + 1);
        }
        return path.substr(0, end);
    };
    for (const Finding& finding : findings) {
        const auto item = finding.path.starts_with("/Items/") ? owners.find(prefix(finding.path, 2)) : owners.end();
        const auto code =
            finding.path.starts_with("/AsteroidGen2/") ? owners.find(prefix(finding.path, 3)) : owners.end();
        if (item != owners.end()) {
            plan[item->second].shown.findings.push_back(finding);
        } else if (code != owners.end()) {
            plan[code->second].shown.findings.push_back(finding);
        } else if (finding.path == "/AsteroidGen2" || finding.path.starts_with("/AsteroidGen2/")) {
            report.asteroidFindings.push_back(finding);
        } else {
            report.fileFindings.push_back(finding);
        }
    }
}

// ---- What is printed -------------------------------------------------------------------

std::string FindingLine(const Finding& finding) {
    return std::string(finding.severity == Severity::Error ? "error " : "warning ") +
           (finding.path.empty() ? "(file)" : finding.path) + ": " + finding.message;
}

// Why an entry sends nothing: its findings, what the plugin logged, the
// preview's own notes; the plugin's refusal to load above all.
std::vector<std::string> Reasons(const PreviewEntry& entry, const PreviewReport& report) {
    std::vector<std::string> reasons;
    if (report.loadError) {
        reasons.push_back("the plugin refused to load: " + *report.loadError);
    }
    for (const Finding& finding : entry.findings) {
        reasons.push_back(FindingLine(finding));
    }
    if (entry.code) {
        for (const Finding& finding : report.asteroidFindings) {
            reasons.push_back(FindingLine(finding));
        }
    }
    for (const Delivery& delivery : entry.deliveries) {
        if (delivery.kind == Delivery::Kind::Log) {
            reasons.push_back("the plugin logged " + delivery.level + ": " + delivery.text);
        }
    }
    reasons.insert(reasons.end(), entry.notes.begin(), entry.notes.end());
    if (reasons.empty()) {
        reasons.push_back("herald check reports nothing about this entry");
    }
    return reasons;
}

std::string EntryName(const PreviewEntry& entry) {
    return entry.code ? "AsteroidGen2 code \"" + *entry.code + "\"" : entry.pointer;
}

void PrintSilent(const PreviewReport& report, bool json, std::ostream& out) {
    std::size_t silent = 0;
    std::size_t codes = 0;
    for (const PreviewEntry& entry : report.entries) {
        silent += entry.Sends() ? 0 : 1;
        codes += entry.code ? 1 : 0;
    }
    if (!json) {
        const std::size_t items = report.entries.size() - codes;
        out << "\nPreview: " << items << (items == 1 ? " entry" : " entries") << " of Items and " << codes
            << (codes == 1 ? " asteroid code" : " asteroid codes")
            << " spawned at world position (0, 0) for one player; "
            << (silent == 0 ? std::string("every one sends an announcement")
                            : std::to_string(silent) + (silent == 1 ? " sends" : " send") + " nothing:")
            << "\n";
    }
    for (const PreviewEntry& entry : report.entries) {
        if (entry.Sends()) {
            continue;
        }
        const std::vector<std::string> reasons = Reasons(entry, report);
        if (json) {
            OrderedJson line{{"type", "silent"}, {"entry", entry.pointer}};
            if (entry.code) {
                line["code"] = *entry.code;
            }
            line["map"] = entry.map;
            line["spawned"] = entry.spawn.empty() ? OrderedJson() : OrderedJson(entry.spawn);
            line["reasons"] = reasons;
            out << line.dump(-1, ' ', false, OrderedJson::error_handler_t::replace) << "\n";
            continue;
        }
        out << "    " << EntryName(entry) << ": "
            << (entry.spawn.empty() ? "nothing spawned" : entry.spawn + " on " + entry.map) << "\n";
        for (const std::string& reason : reasons) {
            out << "        " << reason << "\n";
        }
    }
    if (!json) {
        out << "\n";
    }
}

std::string ReadFile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        throw std::runtime_error("can't open " + path.string());
    }
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

int Preview(const PreviewOptions& options, std::ostream& out, std::ostream& err) {
    std::error_code error;
    if (!fs::exists(options.configPath, error)) {
        err << "herald: " << options.configPath << ": no such file\n";
        return 2;
    }
    // The page's file is opened first, so that a path that can't be written
    // stops the preview before anything is printed.
    std::ofstream page;
    if (options.htmlPath) {
        if (fs::equivalent(*options.htmlPath, options.configPath, error)) {
            err << "herald: the page would overwrite " << options.configPath << "\n";
            return 2;
        }
        page.open(fs::path(*options.htmlPath), std::ios::binary | std::ios::trunc);
        if (!page) {
            err << "herald: can't write the page to " << *options.htmlPath << "\n";
            return 2;
        }
    }
    PreviewReport report;
    report.configPath = options.configPath;
    report.map = options.map;
    const std::vector<Finding> findings = CheckConfigFile(options.configPath);
    report.checkStatus = CheckExitStatus(findings);

    const std::uintmax_t size = fs::file_size(options.configPath, error);
    if (error || !fs::is_regular_file(options.configPath, error)) {
        report.notPreviewed = "the plugin reads config.json only as a regular file";
    } else if (size > ConfigFileSizeLimit) {
        report.notPreviewed =
            "the file is larger than the " + std::to_string(ConfigFileSizeLimit >> 20) + " MiB that the plugin reads";
    }
    std::vector<PlannedEntry> plan;
    std::optional<ScratchFolder> scratch;
    std::string shown;  // the scenario whose transcript is printed
    if (!report.notPreviewed) {
        const std::string text = ReadFile(options.configPath);
        // Read as the plugin reads it: one value from the start. A file that
        // doesn't parse has no entries, and the transcript shows the refusal.
        Json document;
        std::istringstream stream(text);
        try {
            stream >> document;
        } catch (const Json::exception&) {
            document = Json();
        }
        if (document.is_object()) {
            plan = Plan(text, document, options.map);
        }
        scratch.emplace();
        std::vector<std::pair<long long, std::size_t>> markers;
        const std::string marked =
            scratch->Write("marked.json", ScenarioText(Scenario(text, options.map, plan, &markers)));
        shown = scratch->Write("preview.json", ScenarioText(Scenario(text, options.map, plan, nullptr)));
        std::ostringstream transcript;
        std::ostringstream runErrors;
        if (RunCommand(marked, options.pluginPath, TranscriptFormat::Json, transcript, runErrors) != 0) {
            err << runErrors.str();
            return 2;
        }
        Attribute(transcript.str(), markers, plan, report);
    }
    GroupFindings(findings, plan, report);
    for (PlannedEntry& entry : plan) {
        report.entries.push_back(std::move(entry.shown));
    }
    // The page is whole before anything is printed: a reader that stops
    // early (herald preview ... | head) does not cut it short.
    if (options.htmlPath && !(page << PreviewPageHtml(report)).flush()) {
        throw std::runtime_error("can't write the page to " + *options.htmlPath);
    }
    page.close();

    const int status = CheckCommand(options.configPath, options.json, out);
    if (report.notPreviewed) {
        if (options.json) {
            out << OrderedJson{{"type", "not_previewed"}, {"reason", *report.notPreviewed}}.dump() << "\n";
        } else {
            out << "\nNothing to preview: " << *report.notPreviewed << "\n";
        }
        return status;
    }
    PrintSilent(report, options.json, out);
    // What is printed is run's own transcript of the scenario without markers.
    const TranscriptFormat format = options.json ? TranscriptFormat::Json : TranscriptFormat::Human;
    return RunCommand(shown, options.pluginPath, format, out, err) == 0 ? status : 2;
}

}  // namespace

bool PreviewEntry::Sends() const {
    return std::any_of(deliveries.begin(), deliveries.end(),
                       [](const Delivery& delivery) { return delivery.kind != Delivery::Kind::Log; });
}

int PreviewCommand(const PreviewOptions& options, std::ostream& out, std::ostream& err) {
    const SignalCleanup signals;
    try {
        return Preview(options, out, err);
    } catch (const std::exception& error) {
        err << "herald: " << error.what() << "\n";
        return 2;
    }
}

}  // namespace Herald
