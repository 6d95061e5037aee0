#include "relay/Relay.h"

#include <optional>
#include <string>

#include "announce/Templates.h"
#include "config/Config.h"
#include "config/Placeholders.h"
#include "config/PlayersReaders.h"
#include "config/RelayReaders.h"
#include "game/ArkApi.h"
#include "game/GameTypes.h"
#include "plugin/PluginLog.h"
#include "plugin/PluginName.h"
#include "relay/RelayQueue.h"

namespace {

constexpr char ContentType[] = "application/json";

// A line as players read it, then as posted: the game's string ends at a
// zero character, and bytes that are no UTF-8 are decoded as the game
// decodes them.
std::string LineAsPlayersReadIt(std::string_view filled) {
    if (PlainLine(filled)) {
        return std::string(filled);
    }
    return PostedLine(FString::FromUtf8(std::string(filled)).ToUtf8());
}

struct RelayState {
    DiscordSettings settings;
    bool relaying = false;  // Discord relays anything
    RelayQueue queue{&LineAsPlayersReadIt};
    // Which request a completion answers: one that a reload or an unload left
    // behind is not the queue's any more.
    std::uint64_t request = 0;
    // Requests whose completion has not run, whoever's they are now: the host
    // must hold none of this library's callbacks once it is unloaded.
    int open = 0;
};
RelayState Relay;

// The game's clock, in seconds; the timer and the completions read it alike.
double Now() {
    UWorld* world = ArkApi::GetApiUtils().QueryWorld();
    return world != nullptr ? static_cast<double>(GameField<float>(world, "UWorld.TimeSeconds")) : 0.0;
}

std::string Username() {
    std::string filled;
    const std::string_view replacements[] = {MapNamePlaceholder, CurrentMapName};
    FillTemplateInto(filled, Relay.settings.username, replacements);
    return filled;
}

void Completed(std::uint64_t request, const ArkApi::HttpReply& reply);

// Hands the next post to the host when one may go.
void SendWhenReady() {
    if (!Relay.relaying || Relay.queue.InFlight()) {
        return;
    }
    const std::optional<std::string> content = Relay.queue.TakePost(Now());
    if (!content) {
        return;
    }
    const std::uint64_t request = ++Relay.request;
    const bool started = ArkApi::GetRequests().CreatePostRequest(
        Relay.settings.postAddress,
        [request](const ArkApi::HttpReply& reply) {
            --Relay.open;
            RunLogged([&] { Completed(request, reply); });
        },
        PostBody(*content, Username(),
                 Relay.queue.InFlightMentions() ? Relay.settings.mentions : std::vector<std::string>()),
        ContentType, {std::string("User-Agent: ") + PluginName});
    if (started) {
        ++Relay.open;
    } else {
        Completed(request, ArkApi::HttpReply{0, {}, {}, "the host did not start the request"});
    }
}

void Completed(std::uint64_t request, const ArkApi::HttpReply& reply) {
    if (request != Relay.request) {
        return;
    }
    if (Relay.queue.Completed(reply, Now()) == RelayQueue::Outcome::Stopped) {
        PluginLog::WriteError("Discord webhook " + WebhookShown(Relay.settings.webhook) + " answered " +
                              std::to_string(reply.status) + ": nothing more is relayed until the next reload");
    }
    SendWhenReady();
}

}  // namespace

void FollowRelaySettings() {
    Relay.settings = DiscordSettingsOf(PluginConfig);
    for (const std::string& problem : Relay.settings.problems) {
        PluginLog::WriteError(problem);
    }
    Relay.relaying = Relay.settings.relays;
    Relay.queue.SetMention(RoleMentions(Relay.settings.mentions));
    Relay.queue.Resume();
    if (!Relay.relaying && Relay.queue.Waiting() > 0) {
        const std::size_t dropped = Relay.queue.DropWaiting();
        PluginLog::WriteWarning("Discord: " + std::to_string(dropped) + " lines not relayed, the relay is off");
    }
    SendWhenReady();
}

void StopRelay() {
    Relay.relaying = false;
    if (Relay.open > 0) {
        // A completion that comes in time counts; what follows it is not sent.
        ArkApi::GetRequests().FinishRequests(UnloadWait);
    }
    const std::size_t dropped = Relay.queue.DropAll();
    if (dropped > 0) {
        PluginLog::WriteWarning("Discord: " + std::to_string(dropped) + " lines not relayed at unload");
    }
    Relay = RelayState();
}

void RelayTimer() { SendWhenReady(); }

void RelayLine(std::string_view filled, bool digest) {
    if (!Relay.relaying) {
        return;
    }
    Relay.queue.Push(std::string(filled), digest);
    SendWhenReady();
}

std::string RelayStatus() {
    if (!Relay.settings.present) {
        return {};
    }
    const std::optional<int> last = Relay.queue.LastStatus();
    const std::string reply = !last ? "none" : *last == 0 ? "none came" : std::to_string(*last);
    return " Discord: " + std::to_string(Relay.queue.PostsSent()) + " posts sent, " +
           std::to_string(Relay.queue.Waiting()) + " lines waiting, " + std::to_string(Relay.queue.Dropped()) +
           " dropped, last reply " + reply + ".";
}
