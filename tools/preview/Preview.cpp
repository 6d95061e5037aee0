// herald preview: a config checked, its entries planned and played through
// the plugin, and check's findings given to the entries they lie in; then
// printed, and made into a page.

#include "preview/Preview.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <unordered_map>

#include "check/Check.h"
#include "check/DocumentScan.h"
#include "common/Output.h"
#include "config/AnnouncementPlan.h"
#include "config/CalmReaders.h"
#include "config/ConfigFile.h"
#include "config/ConfigKeys.h"
#include "config/ConfigLimits.h"
#include "config/PlayersReaders.h"
#include "config/RelayReaders.h"
#include "preview/PreviewPage.h"
#include "preview/PreviewPlan.h"
#include "preview/PreviewPlay.h"
#include "preview/PreviewPrinters.h"
#include "run/Play.h"
#include "run/Printers.h"

namespace Herald {

namespace {

namespace fs = std::filesystem;
// Small objects whose keys keep the order they are added in (a line of
// output); its lookups are linear, so never a config's.
using OrderedJson = nlohmann::ordered_json;

// Each finding goes to the entry it lies in: an Items entry is the pointer's
// first two steps, an asteroid code its first three (/AsteroidGen2/Name/Metal).
void GroupFindings(const std::vector<Finding>& findings, std::vector<PlannedEntry>& plan, PreviewReport& report) {
    const std::string items = std::string(ItemsPointer.View()) + "/";
    const std::string asteroids(AsteroidsPointer.View());
    std::unordered_map<std::string, std::size_t> owners;
    for (std::size_t index = 0; index < plan.size(); ++index) {
        const PreviewEntry& entry = plan[index].shown;
        if (!entry.code) {
            owners.emplace(entry.pointer, index);
            continue;
        }
        for (const std::string_view map : AsteroidCodeMaps()) {
            owners.emplace(asteroids + PointerStep(map) + PointerStep(*entry.code), index);
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
        const bool ofAsteroids = finding.path.starts_with(asteroids + "/");
        const int steps = finding.path.starts_with(items) ? 2 : ofAsteroids ? 3 : 0;
        const auto owner = steps > 0 ? owners.find(prefix(finding.path, steps)) : owners.end();
        if (owner != owners.end()) {
            plan[owner->second].shown.findings.push_back(finding);
        } else if (finding.path == asteroids || ofAsteroids) {
            report.asteroidFindings.push_back(finding);
        } else {
            report.fileFindings.push_back(finding);
        }
    }
}

// The relay's settings as preview shows them: never the whole address.
PreviewReport::Relay RelayShown(const DiscordSettings& settings) {
    PreviewReport::Relay shown;
    shown.relays = settings.relays;
    if (settings.relays) {
        shown.webhook = WebhookShown(settings.webhook);
    }
    shown.groups = settings.groups;
    shown.problems = settings.problems;
    return shown;
}

// Why nothing of the file can be spawned at all, if so: the plugin would not
// read it either.
std::optional<std::string> WhyNotPreviewed(const std::string& path) {
    const ConfigFileFacts facts = ConfigFileFactsOf(path);
    if (!facts.Exists()) {
        return "the file does not exist";
    }
    const std::optional<ConfigFileRefusal> refusal = RefusalOf(facts);
    if (refusal == ConfigFileRefusal::NotRegularFile) {
        return "the plugin reads config.json only as a regular file";
    }
    if (refusal == ConfigFileRefusal::TooLarge) {
        return "the file is larger than the " + std::to_string(ConfigFileSizeLimit >> 20) +
               " MiB that the plugin reads";
    }
    if (refusal == ConfigFileRefusal::CantOpen) {
        return "herald can't open the file";
    }
    return std::nullopt;
}

// The page's file is opened first, so that a path that can't be written
// stops the preview before anything is printed.
bool OpenPage(const PreviewOptions& options, std::ofstream& page, std::ostream& err) {
    std::error_code error;
    if (fs::equivalent(*options.htmlPath, options.configPath, error)) {
        err << "herald: the page would overwrite " << options.configPath << "\n";
        return false;
    }
    page.open(fs::path(*options.htmlPath), std::ios::binary | std::ios::trunc);
    if (!page) {
        err << "herald: can't write the page to " << *options.htmlPath << "\n";
        return false;
    }
    return true;
}

// The findings and the report of one preview, the page not yet made. With
// keepGoing (--serve), a file that is missing or can't be read is a report
// too: its findings say why, and the next save may mend it.
struct Previewed {
    CheckedConfig checked;
    PreviewReport report;
    std::optional<PlayedScenario> played;
};

Previewed Prepare(const PreviewOptions& options, bool keepGoing) {
    Previewed previewed{CheckConfigFileOnce(options.configPath), {}, std::nullopt};
    const CheckedConfig& checked = previewed.checked;
    PreviewReport& report = previewed.report;
    report.configPath = options.configPath;
    report.map = options.map;
    report.checkStatus = CheckExitStatus(checked.findings);
    report.notPreviewed = WhyNotPreviewed(options.configPath);
    if (!report.notPreviewed && !checked.text) {
        if (!keepGoing) {
            throw std::runtime_error("can't open " + options.configPath);
        }
        report.notPreviewed = "herald can't open the file";
    }
    std::vector<PlannedEntry> plan;
    const DiscordSettings discord = DiscordSettingsOf(checked.document);
    if (discord.present) {
        report.discord = RelayShown(discord);
    }
    if (!report.notPreviewed) {
        plan = PlanPreview(checked, options.map);
        const PreviewScenario scenario = ScenarioOfPlan(plan, *checked.text, options.map, discord.relays);
        previewed.played = PlayPlan(scenario, options.pluginPath);
        Attribute(*previewed.played, scenario, plan, report);
        if (!report.loadError) {
            PlayDigests(checked.document, options, plan);
        }
    }
    GroupFindings(checked.findings, plan, report);
    // The preview has one player, whom a MinPlayers above one leaves alone.
    if (const std::int32_t needed = CalmSettingsOf(checked.document).minPlayers; needed > 1) {
        for (PlannedEntry& entry : plan) {
            if (!entry.shown.Sends()) {
                entry.shown.notes.push_back(std::string(Key::Calm) + "/" + std::string(Key::MinPlayers) + " is " +
                                            std::to_string(needed) +
                                            ": with the preview's one player every spawn is held");
            }
        }
    }
    const PlayersSettings players = PlayersSettingsOf(checked.document);
    if (players.enabled) {
        report.chatCommand = players.command;
        // A read that raises on the way offers nothing, as the command would
        // answer nothing.
        try {
            report.announcedGroups = AnnouncedGroups(checked.document, options.map);
        } catch (const nlohmann::json::exception&) {
        }
    }
    for (PlannedEntry& entry : plan) {
        if (discord.relays && !report.loadError) {
            entry.shown.relayed = entry.relayed;
        }
        report.entries.push_back(std::move(entry.shown));
    }
    return previewed;
}

int Print(const PreviewOptions& options, const Previewed& previewed, std::ostream& out) {
    const PreviewReport& report = previewed.report;
    const int status = PrintFindings(options.configPath, previewed.checked.findings, options.json, out);
    if (report.notPreviewed) {
        if (options.json) {
            out << CompactJson(OrderedJson{{"type", "not_previewed"}, {"reason", *report.notPreviewed}}) << "\n";
        } else {
            out << "\nNothing to preview: " << *report.notPreviewed << "\n";
        }
        return status;
    }
    PrintSilent(report, options.json, out);
    // The transcript is the one `herald run` prints for the plan's scenario;
    // a closed output raises OutputClosed, said on err.
    PrintPlayed(*previewed.played, options.json ? TranscriptFormat::Json : TranscriptFormat::Human, out);
    return status;
}

int Preview(const PreviewOptions& options, std::ostream& out, std::ostream& err) {
    std::error_code error;
    if (!fs::exists(options.configPath, error)) {
        err << "herald: " << options.configPath << ": no such file\n";
        return 2;
    }
    std::ofstream page;
    if (options.htmlPath && !OpenPage(options, page, err)) {
        return 2;
    }
    const Previewed previewed = Prepare(options, false);
    // The page is whole before anything is printed: a reader that stops
    // early (herald preview ... | head) does not cut it short.
    if (options.htmlPath && !(page << PreviewPageHtml(previewed.report)).flush()) {
        throw std::runtime_error("can't write the page to " + *options.htmlPath);
    }
    page.close();
    return Print(options, previewed, out);
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

PagePreview PreviewToPage(const PreviewOptions& options, std::ostream& out) {
    const SignalCleanup signals;
    PreviewOptions text = options;
    text.json = false;
    PagePreview result;
    try {
        const Previewed previewed = Prepare(text, true);
        result.html = PreviewPageHtml(previewed.report);
        result.status = Print(text, previewed, out);
    } catch (const OutputClosed&) {
        throw;
    } catch (const std::exception& error) {
        // Said on the page as in the output: the last good result is gone
        // from both, so neither shows it as the file's.
        PreviewReport report;
        report.configPath = options.configPath;
        report.map = options.map;
        report.checkStatus = 2;
        report.notPreviewed = std::string("herald could not preview this save: ") + error.what();
        result.html = PreviewPageHtml(report);
        out << "\nNothing to preview: " << *report.notPreviewed << "\n";
        result.status = 2;
    }
    return result;
}

}  // namespace Herald
