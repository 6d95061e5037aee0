// What preview prints of its own between check's findings and the transcript:
// the entries that send nothing and why, each entry's group, the cooldowns and
// their digests, and what the relay posts; in words, or one JSON object a line.

#include "preview/PreviewPrinters.h"

#include <algorithm>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

#include "check/Wording.h"
#include "common/Output.h"
#include "config/ConfigKeys.h"
#include "config/ConfigReaders.h"
#include "config/PlayersReaders.h"
#include "run/Printers.h"

namespace Herald {

namespace {

// Small objects whose keys keep the order they are added in (a line of
// output); its lookups are linear, so never a config's.
using OrderedJson = nlohmann::ordered_json;

// ---- The relay ---------------------------------------------------------------------

std::string GroupsKey() { return std::string(Key::Discord) + " → " + std::string(Key::Groups); }

// A post's content as the webhook receives it, its escapes single, each line of
// it on a line of its own under the entry's.
std::string PostWords(const RelayPost& post) {
    return (post.username.empty() ? std::string("under the webhook's own name") : "as " + JsonString(post.username)) +
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
        out << "    " << (entry.code ? std::string(Key::AsteroidGen2) + " " + *entry.code : entry.title) << ": "
            << RelayWords(entry) << "\n";
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
            OrderedJson line{{"type", "cooldown"},
                             {"entry", entry.pointer},
                             {"seconds", entry.cooldown},
                             {"held", DigestSampleHeld},
                             {"digest", OrderedJson::array()}};
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

}  // namespace

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

}  // namespace Herald
