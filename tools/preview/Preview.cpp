#include "preview/Preview.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <unordered_map>

#include "check/Check.h"
#include "check/DocumentScan.h"
#include "check/Wording.h"
#include "common/Output.h"
#include "common/TemporaryFolder.h"
#include "config/ConfigFile.h"
#include "config/ConfigKeys.h"
#include "config/ConfigLimits.h"
#include "config/ConfigReaders.h"
#include "preview/PreviewPage.h"
#include "preview/PreviewPlan.h"
#include "run/Play.h"
#include "run/Printers.h"

namespace Herald {

namespace {

namespace fs = std::filesystem;
// Small objects whose keys keep the order they are added in (a line of
// output); its lookups are linear, so never a config's.
using OrderedJson = nlohmann::ordered_json;

// ---- What each entry sent --------------------------------------------------------

// What the game received, as the transcript's JSON carries it: a number JSON
// can't hold (NaN, infinities) is none.
std::optional<float> Finite(float value) { return std::isfinite(value) ? std::optional<float>(value) : std::nullopt; }

std::optional<Delivery> AsDelivery(const StandIn::Record& record) {
    Delivery delivery;
    delivery.text = ValidUtf8(record.text);
    switch (record.kind) {
        case StandIn::RecordKind::Notification:
            delivery.kind = Delivery::Kind::Notification;
            delivery.color = {Finite(record.color.R).value_or(0.0F), Finite(record.color.G).value_or(0.0F),
                              Finite(record.color.B).value_or(0.0F), Finite(record.color.A).value_or(0.0F)};
            delivery.size = Finite(record.size);
            delivery.time = Finite(record.time);
            return delivery;
        case StandIn::RecordKind::Chat:
            delivery.kind = Delivery::Kind::Chat;
            delivery.sender = ValidUtf8(record.sender);
            return delivery;
        case StandIn::RecordKind::Log:
            delivery.kind = Delivery::Kind::Log;
            delivery.level = ValidUtf8(record.level);
            return delivery;
        case StandIn::RecordKind::ConsoleReply:
        case StandIn::RecordKind::RconReply:
        case StandIn::RecordKind::Refused:
        case StandIn::RecordKind::Webhook:
            break;
    }
    return std::nullopt;
}

// A post as the host received it: the body the plugin made, read back; a
// body that is no JSON object is shown whole as its content.
std::optional<RelayPost> AsPost(const StandIn::Record& record) {
    if (record.kind != StandIn::RecordKind::Webhook) {
        return std::nullopt;
    }
    RelayPost post;
    const nlohmann::json body = nlohmann::json::parse(record.text, nullptr, false);
    if (!body.is_object()) {
        post.content = ValidUtf8(record.text);
        return post;
    }
    const auto text = [&body](std::string_view name) {
        const auto member = body.find(name);
        return member != body.end() && member->is_string() ? ValidUtf8(member->get_ref<const std::string&>())
                                                            : std::string();
    };
    post.content = text("content");
    post.username = text("username");
    return post;
}

// The posts among one event's records.
std::vector<RelayPost> PostsOf(const std::vector<PlayRecord>& records) {
    std::vector<RelayPost> posts;
    for (const PlayRecord& record : records) {
        if (const auto* host = std::get_if<HostRecords>(&record)) {
            for (const StandIn::Record& made : host->records) {
                if (std::optional<RelayPost> post = AsPost(made)) {
                    posts.push_back(std::move(*post));
                }
            }
        }
    }
    return posts;
}


// Each entry gets what its own spawn made the plugin send and log; the
// plugin's refusal to load, if it refused, is the report's.
void Attribute(const PlayedScenario& played, const PreviewScenario& scenario, std::vector<PlannedEntry>& plan,
               PreviewReport& report) {
    for (const PlayRecord& record : played.opening.records) {
        if (const auto* load = std::get_if<LoadRecord>(&record); load != nullptr && !load->result.ok) {
            report.loadError = load->result.error;
        }
    }
    for (std::size_t entry = 0; entry < plan.size(); ++entry) {
        if (!scenario.spawnEvents[entry]) {
            continue;
        }
        for (const PlayRecord& record : played.events[*scenario.spawnEvents[entry]].records) {
            const auto* host = std::get_if<HostRecords>(&record);
            for (std::size_t i = 0; host != nullptr && i < host->records.size(); ++i) {
                if (std::optional<Delivery> delivery = AsDelivery(host->records[i])) {
                    plan[entry].shown.deliveries.push_back(std::move(*delivery));
                }
                if (std::optional<RelayPost> post = AsPost(host->records[i])) {
                    plan[entry].shown.posts.push_back(std::move(*post));
                }
            }
        }
    }
}

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

// ---- Cooldowns and their digests ----------------------------------------------------

using Json = nlohmann::json;

PlayedScenario PlayPlan(const PreviewScenario& scenario, const std::string& pluginPath);

// How a digest looks is the plugin's to say: each cooling entry is spawned
// once more and then DigestSampleHeld times within a cooldown of one second,
// and the game runs on a second for the digest, in a run of its own that is
// never printed (the transcript stays that of one spawn each). Its config is
// the file's with only Calm's Digest kept (so that one player is enough) and
// that short cooldown on each entry that cools down.
void PlayDigests(const Json& document, const PreviewOptions& options, std::vector<PlannedEntry>& plan) {
    const auto items = document.find(Key::Items);
    if (items == document.end() || !items->is_object()) {
        return;
    }
    const CalmSettings calm = CalmSettingsOf(document);
    std::vector<PlannedEntry*> cooling;
    for (PlannedEntry& planned : plan) {
        const auto entry = planned.shown.code ? items->end() : items->find(planned.shown.title);
        if (entry != items->end() && entry->is_object()) {
            planned.shown.cooldown = CooldownOf(*entry, calm);
            if (planned.shown.cooldown > 0 && planned.spawn) {
                cooling.push_back(&planned);
            }
        }
    }
    if (cooling.empty()) {
        return;
    }
    Json cooled = document;
    Json kept = Json::object();
    if (const auto given = document.find(Key::Calm); given != document.end() && given->is_object()) {
        if (const auto digest = given->find(Key::Digest); digest != given->end()) {
            kept[std::string(Key::Digest)] = *digest;
        }
    }
    cooled[std::string(Key::Calm)] = std::move(kept);
    PreviewScenario scenario;
    scenario.setup.map = ValidUtf8(options.map);
    scenario.setup.players.push_back({std::string(PreviewPlayerName), false});
    std::string current = options.map;
    std::vector<std::pair<PreviewEntry*, std::size_t>> waits;
    for (PlannedEntry* planned : cooling) {
        cooled[std::string(Key::Items)][planned->shown.title][std::string(Key::Cooldown)] = 1;
        if (planned->shown.map != current) {
            current = planned->shown.map;
            scenario.events.emplace_back(InitGameEvent{ValidUtf8(current)});
        }
        // The previous digest's post is answered first, so that this digest's
        // post goes at once, in this entry's own second.
        scenario.events.emplace_back(WaitEvent{1});
        scenario.events.insert(scenario.events.end(), DigestSampleHeld + 1, *planned->spawn);
        waits.emplace_back(&planned->shown, scenario.events.size());
        scenario.events.emplace_back(WaitEvent{1});
    }
    scenario.setup.configText = CompactJson(cooled);
    const PlayedScenario played = PlayPlan(scenario, options.pluginPath);
    for (const auto& [shown, wait] : waits) {
        shown->digestPosts = PostsOf(played.events[wait].records);
        for (const PlayRecord& record : played.events[wait].records) {
            if (const auto* host = std::get_if<HostRecords>(&record)) {
                for (const StandIn::Record& delivered : host->records) {
                    if (std::optional<Delivery> delivery = AsDelivery(delivered)) {
                        shown->digest.push_back(std::move(*delivery));
                    }
                }
            }
        }
    }
}

// ---- The relay ---------------------------------------------------------------------

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

std::string GroupsKey() { return std::string(Key::Discord) + " → " + std::string(Key::Groups); }

// A post's content as the webhook receives it, its escapes single, each line of
// it on a line of its own under the entry's.
std::string PostWords(const RelayPost& post) {
    return (post.username.empty() ? std::string("under the webhook's own name")
                                  : "as " + JsonString(post.username)) +
           ": " + Substituted(post.content, {{'\n', "\n        "}});
}

OrderedJson PostsJson(const std::vector<RelayPost>& posts) {
    OrderedJson list = OrderedJson::array();
    for (const RelayPost& post : posts) {
        list.push_back(OrderedJson{{"username", post.username.empty() ? OrderedJson() : OrderedJson(post.username)},
                                   {"content", post.content}});
    }
    return list;
}

// What the webhook receives of each entry: the text after its name, in words.
std::string RelayWords(const PreviewEntry& entry) {
    // Unknown where the plugin refused to load: it posts nothing then.
    if (!entry.relayed) {
        return "nothing is posted";
    }
    if (!*entry.relayed) {
        return "not relayed: its group " + entry.group + " is not in " + GroupsKey();
    }
    if (entry.posts.empty() && entry.digestPosts.empty()) {
        return "nothing is posted";
    }
    std::string words;
    for (const RelayPost& post : entry.posts) {
        words += (words.empty() ? "" : "; ") + PostWords(post);
    }
    for (const RelayPost& post : entry.digestPosts) {
        words += (words.empty() ? "" : "; ") + std::string("its digest ") + PostWords(post);
    }
    return words;
}

// Where the posts go and, for each entry, what is posted; the reasons the
// plugin logs where the relay posts nothing. Nothing at all without its settings.
void PrintRelay(const PreviewReport& report, bool json, std::ostream& out) {
    if (!report.discord) {
        return;
    }
    const PreviewReport::Relay& discord = *report.discord;
    if (json) {
        OrderedJson line{{"type", "discord"}, {"relays", discord.relays}};
        line["webhook"] = discord.relays ? OrderedJson(discord.webhook) : OrderedJson();
        line["groups"] = discord.groups ? OrderedJson(*discord.groups) : OrderedJson();
        line["problems"] = discord.problems;
        out << CompactJson(line) << "\n";
        for (const PreviewEntry& entry : report.entries) {
            if (!entry.relayed) {
                continue;
            }
            OrderedJson relay{{"type", "relay"}, {"entry", entry.pointer}};
            if (entry.code) {
                relay["code"] = *entry.code;
            }
            relay["group"] = entry.group;
            relay["relayed"] = *entry.relayed;
            relay["posts"] = PostsJson(entry.posts);
            relay["digest_posts"] = PostsJson(entry.digestPosts);
            out << CompactJson(relay) << "\n";
        }
        return;
    }
    if (!discord.relays) {
        out << std::string(Key::Discord) << " relays nothing, as the plugin logs at every load and reload:\n";
        for (const std::string& problem : discord.problems) {
            out << "    " << problem << "\n";
        }
        return;
    }
    std::string groups = "every group";
    if (discord.groups) {
        groups = discord.groups->empty() ? "no group" : "groups ";
        for (const std::string& group : *discord.groups) {
            groups += (&group == &discord.groups->front() ? "" : ", ") + group;
        }
    }
    out << std::string(Key::Discord) << " (posts to " << discord.webhook << ", " << groups
        << "), each post as it would be sent:\n";
    for (const std::string& problem : discord.problems) {
        out << "    logged at every load and reload: " << problem << "\n";
    }
    for (const PreviewEntry& entry : report.entries) {
        out << "    " << (entry.code ? std::string(Key::AsteroidGen2) + " " + *entry.code : entry.title) << ": " << RelayWords(entry)
            << "\n";
    }
}

// A delivery in a line of text, as the transcript words it.
std::string DeliveryWords(const Delivery& delivery) {
    switch (delivery.kind) {
        case Delivery::Kind::Notification:
            return "notification " + JsonString(delivery.text) + " colour " + ConfigColor(delivery.color);
        case Delivery::Kind::Chat:
            return "chat " + delivery.sender + ": " + JsonString(delivery.text);
        case Delivery::Kind::Log:
            return "the plugin logged " + delivery.level + ": " + delivery.text;
    }
    return {};
}

// A delivery with the transcript's keys and its numbers' shortest digits.
OrderedJson DeliveryJson(const Delivery& delivery) {
    JsonLine line;
    switch (delivery.kind) {
        case Delivery::Kind::Notification:
            line.Text("type", "notification").Text("text", delivery.text);
            line.Floats("color", {delivery.color.R, delivery.color.G, delivery.color.B, delivery.color.A});
            delivery.size ? line.Float("size", *delivery.size) : line.Null("size");
            delivery.time ? line.Float("time", *delivery.time) : line.Null("time");
            break;
        case Delivery::Kind::Chat:
            line.Text("type", "chat").Text("sender", delivery.sender).Text("text", delivery.text);
            break;
        case Delivery::Kind::Log:
            line.Text("type", "log").Text("level", delivery.level).Text("text", delivery.text);
            break;
    }
    return OrderedJson::parse(line.Done());
}

// Each entry that cools down: its cooldown and its digest. Nothing at all
// when none does.
void PrintCooldowns(const PreviewReport& report, bool json, std::ostream& out) {
    const bool any = std::any_of(report.entries.begin(), report.entries.end(),
                                 [](const PreviewEntry& entry) { return entry.cooldown > 0; });
    if (!any) {
        return;
    }
    if (!json) {
        out << "Cooldowns (further spawns within one are held; when it ends, one digest tells of them), each "
               "digest as it would be sent for "
            << DigestSampleHeld << " held spawns:\n";
    }
    for (const PreviewEntry& entry : report.entries) {
        if (entry.cooldown == 0) {
            continue;
        }
        if (json) {
            OrderedJson line{{"type", "cooldown"}, {"entry", entry.pointer}, {"seconds", entry.cooldown},
                             {"held", DigestSampleHeld}, {"digest", OrderedJson::array()}};
            for (const Delivery& delivery : entry.digest) {
                line["digest"].push_back(DeliveryJson(delivery));
            }
            out << CompactJson(line) << "\n";
            continue;
        }
        out << "    " << entry.title << ": " << entry.cooldown << " s; ";
        if (entry.digest.empty()) {
            out << "no digest is sent\n";
            continue;
        }
        for (const Delivery& delivery : entry.digest) {
            out << (&delivery == &entry.digest.front() ? "" : "; ") << DeliveryWords(delivery);
        }
        out << "\n";
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

void PrintSilentHeading(const PreviewReport& report, std::ostream& out) {
    std::size_t silent = 0;
    std::size_t codes = 0;
    for (const PreviewEntry& entry : report.entries) {
        silent += entry.Sends() ? 0 : 1;
        codes += entry.code ? 1 : 0;
    }
    const std::size_t items = report.entries.size() - codes;
    out << "\nPreview: " << Plural(items, "entry", "entries") << " of Items and "
        << Plural(codes, "asteroid code", "asteroid codes") << " spawned at world position (0, 0) for one player; "
        << (silent == 0 ? "every one sends an announcement" : Plural(silent, "sends", "send") + " nothing:") << "\n";
}

void PrintSilentEntry(const PreviewEntry& entry, const PreviewReport& report, bool json, std::ostream& out) {
    const std::vector<std::string> reasons = Reasons(entry, report);
    if (json) {
        OrderedJson line{{"type", "silent"}, {"entry", entry.pointer}};
        if (entry.code) {
            line["code"] = *entry.code;
        }
        line["map"] = entry.map;
        line["spawned"] = entry.spawn.empty() ? OrderedJson() : OrderedJson(entry.spawn);
        line["reasons"] = reasons;
        out << CompactJson(line) << "\n";
        return;
    }
    out << "    " << EntryName(entry) << ": "
        << (entry.spawn.empty() ? "nothing spawned" : entry.spawn + " on " + entry.map) << "\n";
    for (const std::string& reason : reasons) {
        out << "        " << reason << "\n";
    }
}

// The groups in the order the chat command lists them, each as its first
// entry writes it, with the entries in it in plan order.
std::vector<std::pair<std::string, std::vector<const PreviewEntry*>>> EntriesByGroup(const PreviewReport& report) {
    std::vector<std::pair<std::string, std::vector<const PreviewEntry*>>> groups;
    for (const PreviewEntry& entry : report.entries) {
        const std::string folded = GroupFold(entry.group);
        const auto known = std::find_if(groups.begin(), groups.end(),
                                        [&](const auto& group) { return GroupFold(group.first) == folded; });
        if (known != groups.end()) {
            known->second.push_back(&entry);
        } else {
            groups.push_back({entry.group, {&entry}});
        }
    }
    std::stable_sort(groups.begin(), groups.end(),
                     [](const auto& a, const auto& b) { return GroupFold(a.first) < GroupFold(b.first); });
    return groups;
}

// Each entry's group: in text a line for each group, in JSON a line for each
// entry, after one that names the chat command.
void PrintGroups(const PreviewReport& report, bool json, std::ostream& out) {
    if (report.entries.empty()) {
        return;
    }
    if (json) {
        out << CompactJson(
                   OrderedJson{{"type", "players"},
                               {"command", report.chatCommand ? OrderedJson(*report.chatCommand) : OrderedJson()}})
            << "\n";
        for (const PreviewEntry& entry : report.entries) {
            OrderedJson line{{"type", "group"}, {"entry", entry.pointer}};
            if (entry.code) {
                line["code"] = *entry.code;
            }
            line["group"] = entry.group;
            out << CompactJson(line) << "\n";
        }
        return;
    }
    out << (report.chatCommand ? "Groups (players turn them off and on with " + *report.chatCommand + " off GROUP, " +
                                     *report.chatCommand + " on GROUP):"
                               : "Groups (players can't choose: " + std::string(Key::Players) + "/" +
                                     std::string(Key::Enable) + " is false, so every player receives every group):")
        << "\n";
    for (const auto& [group, entries] : EntriesByGroup(report)) {
        out << "    " << group << ":";
        for (const PreviewEntry* entry : entries) {
            out << (entry == entries.front() ? " " : ", ")
                << (entry->code ? "AsteroidGen2 " + *entry->code : entry->title)
                << (entry->Sends() ? "" : " (sends nothing)");
        }
        out << "\n";
    }
}

void PrintSilent(const PreviewReport& report, bool json, std::ostream& out) {
    if (!json) {
        PrintSilentHeading(report, out);
    }
    for (const PreviewEntry& entry : report.entries) {
        if (!entry.Sends()) {
            PrintSilentEntry(entry, report, json, out);
        }
    }
    PrintGroups(report, json, out);
    PrintCooldowns(report, json, out);
    PrintRelay(report, json, out);
    if (!json) {
        out << "\n";
    }
}

// ---- The preview ---------------------------------------------------------------------------

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

// Spawns every planned entry once, the plugin loaded once for all of them,
// in a server folder that is gone again before anything is printed.
PlayedScenario PlayPlan(const PreviewScenario& scenario, const std::string& pluginPath) {
    std::optional<TemporaryServerFolder> folder;
    try {
        folder.emplace();
    } catch (const TemporaryFolderError& error) {
        throw TemporaryFolderError(std::string("can't make a temporary folder: ") + error.what());
    }
    return PlayInMemory(scenario.setup, scenario.events, pluginPath, *folder);
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
            entry.shown.relayed = RelaysGroup(discord, GroupFold(entry.shown.group));
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
