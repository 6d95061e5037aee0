// The plan played through the plugin in memory, and what each entry's spawns
// made it send, log and post, read back from the stand-in's records.

#include "preview/PreviewPlay.h"

#include <cmath>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <utility>

#include "common/Output.h"
#include "common/TemporaryFolder.h"
#include "config/CalmReaders.h"
#include "config/ConfigKeys.h"
#include "config/ConfigReaders.h"

namespace Herald {

namespace {

using Json = nlohmann::json;

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

}  // namespace

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

}  // namespace Herald
