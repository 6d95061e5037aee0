// The framework's web requests. Scripted, nothing leaves the process and a
// test or a scenario says what each request gets back; live, one worker
// thread carries them out over the network. Either way a callback runs only
// where the game's clock ticks (Wait) or where a plugin finishes its
// requests, never on the worker.

#include "Requests.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <thread>

#include "HostState.h"

#if !defined(_WIN32)
#include <unistd.h>
#endif

namespace StandIn::detail {

namespace {

// ---- What the game thread keeps ------------------------------------------------

struct ScriptedRequest {
    std::uint64_t id = 0;
    ArkApi::HttpCallback callback;
    std::optional<ArkApi::HttpReply> reply;
};

// The worker and what it shares, made on the first switch to live requests
// and never destroyed: a plugin may finish its requests at any time up to
// its unload, and on Windows that runs under the loader lock, where a thread
// must be neither started nor waited for. Where the process ends by exit()
// the worker is stopped there (StopLiveClient).
struct LiveClient {
    LiveExchange exchange;
    std::thread worker;
#if !defined(_WIN32)
    pid_t process = getpid();
#endif
};

struct RequestState {
    bool scripted = true;
    std::chrono::milliseconds connectTimeout = DefaultConnectTimeout;
    std::chrono::milliseconds totalTimeout = DefaultTotalTimeout;
    std::uint64_t made = 0;
    std::deque<ScriptedRequest> scriptedInFlight;  // oldest first
    std::map<std::uint64_t, ArkApi::HttpCallback> liveCallbacks;
    LiveClient* live = nullptr;
};

// Never destroyed: a callback left in flight may belong to a plugin library
// already unloaded at exit, whose code its destructor would run.
RequestState& Requests() {
    static RequestState& state = *new RequestState;
    return state;
}

#if !defined(_WIN32)
void StopLiveClient() {
    LiveClient* client = Requests().live;
    // A forked child inherits the client but not its thread.
    if (client == nullptr || client->process != getpid()) {
        return;
    }
    client->exchange.Stop();
    client->worker.join();
    ReleaseHttpClient();
}
#endif

LiveClient& StartLiveClient() {
    RequestState& state = Requests();
    if (state.live == nullptr) {
        PrepareHttpClient();
        state.live = new LiveClient;
        state.live->worker = std::thread([client = state.live] { RunHttpWorker(client->exchange); });
#if !defined(_WIN32)
        // Registered after the HTTP library's own set-up, so that it runs
        // before that library's own clean-up at exit.
        std::atexit(StopLiveClient);
#endif
    }
    return *state.live;
}

bool AcceptableHeaderLine(std::string_view line) {
    const std::size_t colon = line.find(':');
    return colon != std::string_view::npos && colon > 0 &&
           line.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

// Runs the completions of live requests that had ended by the call, oldest
// reply first; one a callback makes or abandons is left to its own turn.
void RunLiveCompletions() {
    RequestState& state = Requests();
    if (state.live == nullptr) {
        return;
    }
    LiveExchange& exchange = state.live->exchange;
    for (std::size_t due = exchange.DoneCount(); due > 0; --due) {
        auto next = exchange.NextDone();
        if (!next) {
            break;
        }
        const auto found = state.liveCallbacks.find(next->first);
        if (found == state.liveCallbacks.end()) {
            continue;
        }
        const ArkApi::HttpCallback callback = std::move(found->second);
        state.liveCallbacks.erase(found);
        callback(next->second);
    }
}

// Gives how many live requests were dropped.
std::size_t AbandonLiveRequests() {
    RequestState& state = Requests();
    if (state.live == nullptr || state.liveCallbacks.empty()) {
        return 0;
    }
    std::unordered_set<std::uint64_t> ids;
    for (const auto& [id, callback] : state.liveCallbacks) {
        ids.insert(id);
    }
    state.live->exchange.Abandon(ids);
    const auto dropped = std::move(state.liveCallbacks);
    state.liveCallbacks.clear();
    return dropped.size();
}

std::size_t AbandonScriptedRequests() {
    RequestState& state = Requests();
    const auto dropped = std::move(state.scriptedInFlight);
    state.scriptedInFlight.clear();
    return dropped.size();
}

// The thread a post goes to: its address's thread_id, digits alone.
std::string ThreadOf(std::string_view url) {
    constexpr std::string_view Thread = "thread_id=";
    const std::size_t query = url.find('?');
    const std::size_t at = query == std::string_view::npos ? query : url.find(Thread, query);
    if (at == std::string_view::npos) {
        return {};
    }
    const std::string_view rest = url.substr(at + Thread.size());
    return std::string(rest.substr(0, std::min(rest.find_first_not_of("0123456789"), rest.size())));
}

class StandInRequests final : public ArkApi::IRequests {
public:
    bool CreatePostRequest(const std::string& url, const ArkApi::HttpCallback& callback, const std::string& body,
                           const std::string& contentType, const std::vector<std::string>& headers) override {
        TheServer().hostCalls.emplace_back("CreatePostRequest");
        RequestState& state = Requests();
        const std::optional<std::string> host = HttpHost(url);
        if (!host || !callback || RequestsInFlight() >= MaxRequestsInFlight) {
            return false;
        }
        std::vector<std::string> lines;
        if (!contentType.empty()) {
            lines.push_back("Content-Type: " + contentType);
        }
        lines.insert(lines.end(), headers.begin(), headers.end());
        if (!std::all_of(lines.begin(), lines.end(),
                         [](const std::string& line) { return AcceptableHeaderLine(line); })) {
            return false;
        }
        const std::uint64_t id = ++state.made;
        if (state.scripted) {
            Record webhook;
            webhook.kind = RecordKind::Webhook;
            webhook.host = *host;
            webhook.thread = ThreadOf(url);
            webhook.text = body;
            TheServer().records.push_back(std::move(webhook));
            state.scriptedInFlight.push_back({id, callback, std::nullopt});
            return true;
        }
        state.liveCallbacks.emplace(id, callback);
        state.live->exchange.Submit({id, url, body, std::move(lines), state.connectTimeout, state.totalTimeout});
        return true;
    }

    std::size_t FinishRequests(std::chrono::milliseconds timeout) override {
        TheServer().hostCalls.emplace_back("FinishRequests");
        std::size_t abandoned = AbandonScriptedRequests();
        RequestState& state = Requests();
        if (state.live != nullptr && !state.liveCallbacks.empty()) {
            // Bounded, so that no timeout a plugin gives can overflow the clock.
            const auto wait =
                (std::clamp)(timeout, std::chrono::milliseconds(0), std::chrono::milliseconds(std::chrono::hours(24)));
            state.live->exchange.WaitForTransfers(std::chrono::steady_clock::now() + wait);
            RunLiveCompletions();
            abandoned += AbandonLiveRequests();
        }
        return abandoned;
    }
};

}  // namespace

void RunRequestCompletions() {
    RequestState& state = Requests();
    // Only those made before the tick: one a callback makes waits for the next.
    const std::uint64_t madeBefore = state.made;
    while (!state.scriptedInFlight.empty() && state.scriptedInFlight.front().id <= madeBefore) {
        ScriptedRequest request = std::move(state.scriptedInFlight.front());
        state.scriptedInFlight.pop_front();
        ArkApi::HttpReply reply;
        reply.status = 204;
        request.callback(request.reply.value_or(reply));
    }
    RunLiveCompletions();
}

void ResetRequests() {
    AbandonScriptedRequests();
    AbandonLiveRequests();
    RequestState& state = Requests();
    state.scripted = true;
    state.connectTimeout = DefaultConnectTimeout;
    state.totalTimeout = DefaultTotalTimeout;
}

}  // namespace StandIn::detail

namespace ArkApi {

IRequests& GetRequests() {
    static StandIn::detail::StandInRequests requests;
    return requests;
}

}  // namespace ArkApi

namespace StandIn {

using namespace detail;

void ScriptRequests(bool scripted) {
    if (!scripted) {
        StartLiveClient();
    }
    Requests().scripted = scripted;
}

bool ReplyToOldestRequest(const ArkApi::HttpReply& reply) {
    for (ScriptedRequest& request : Requests().scriptedInFlight) {
        if (!request.reply) {
            request.reply = reply;
            return true;
        }
    }
    return false;
}

std::size_t RequestsInFlight() {
    const RequestState& state = Requests();
    return state.scriptedInFlight.size() + state.liveCallbacks.size();
}

std::size_t RequestsAnswered() {
    RequestState& state = Requests();
    // Abandoning takes a reply out of the exchange too: each one there is a
    // callback's still.
    return state.scriptedInFlight.size() + (state.live != nullptr ? state.live->exchange.DoneCount() : 0);
}

bool AwaitAnswers(int milliseconds) {
    RequestState& state = Requests();
    if (state.live == nullptr || state.liveCallbacks.empty()) {
        return true;
    }
    const auto wait = std::chrono::milliseconds((std::max)(milliseconds, 0));
    return state.live->exchange.WaitForTransfers(std::chrono::steady_clock::now() + wait);
}

void SetRequestTimeouts(int connectMilliseconds, int totalMilliseconds) {
    // Zero means "no bound" to the HTTP libraries: the least is 1 ms.
    Requests().connectTimeout = std::chrono::milliseconds((std::max)(connectMilliseconds, 1));
    Requests().totalTimeout = std::chrono::milliseconds((std::max)(totalMilliseconds, 1));
}

}  // namespace StandIn
