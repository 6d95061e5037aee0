// The framework's web requests. Scripted, nothing leaves the process and a
// test or a scenario says what each request gets back; live, one worker
// thread carries them out over the network. Either way a callback runs only
// where the game's clock ticks (Wait) or where a plugin finishes its
// requests, never on the worker.

#include "Requests.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <map>
#include <thread>

#include "HostState.h"

#if !defined(_WIN32)
#include <unistd.h>
#endif

namespace StandIn::detail {

// ---- Between the threads -------------------------------------------------------

void LiveExchange::Notify() {
    work_.notify_one();
    if (wake_) {
        wake_();
    }
}

void LiveExchange::Submit(HttpJob job) {
    const std::lock_guard lock(mutex_);
    queued_.push_back(std::move(job));
    Notify();
}

std::optional<std::pair<std::uint64_t, ArkApi::HttpReply>> LiveExchange::NextDone() {
    const std::lock_guard lock(mutex_);
    if (done_.empty()) {
        return std::nullopt;
    }
    auto next = std::move(done_.front());
    done_.pop_front();
    return next;
}

std::size_t LiveExchange::DoneCount() {
    const std::lock_guard lock(mutex_);
    return done_.size();
}

void LiveExchange::WaitForTransfers(std::chrono::steady_clock::time_point deadline) {
    std::unique_lock lock(mutex_);
    ended_.wait_until(lock, deadline, [this] { return queued_.empty() && started_.size() == cancelled_.size(); });
}

void LiveExchange::Abandon(const std::unordered_set<std::uint64_t>& ids) {
    const std::lock_guard lock(mutex_);
    const auto abandoned = [&ids](const auto& entry) { return ids.count(entry.first) > 0; };
    std::erase_if(queued_, [&ids](const HttpJob& job) { return ids.count(job.id) > 0; });
    std::erase_if(done_, abandoned);
    for (const std::uint64_t id : ids) {
        if (started_.count(id) > 0) {
            cancelled_.insert(id);
        }
    }
    // The worker may stop what it no longer needs to carry on.
    if (!cancelled_.empty()) {
        Notify();
    }
}

bool LiveExchange::Take(std::vector<HttpJob>& jobs, std::vector<std::uint64_t>& cancelled, bool idle,
                        std::size_t most) {
    std::unique_lock lock(mutex_);
    if (idle) {
        work_.wait(lock, [this] { return stopping_ || !queued_.empty() || !cancelled_.empty(); });
    }
    if (stopping_) {
        return false;
    }
    for (; most > 0 && !queued_.empty(); --most) {
        started_.insert(queued_.front().id);
        jobs.push_back(std::move(queued_.front()));
        queued_.pop_front();
    }
    for (const std::uint64_t id : cancelled_) {
        started_.erase(id);
        cancelled.push_back(id);
    }
    cancelled_.clear();
    return true;
}

void LiveExchange::Report(std::uint64_t id, ArkApi::HttpReply reply) {
    const std::lock_guard lock(mutex_);
    started_.erase(id);
    if (cancelled_.erase(id) == 0) {
        done_.emplace_back(id, std::move(reply));
    }
    ended_.notify_all();
}

void LiveExchange::SetWake(std::function<void()> wake) {
    const std::lock_guard lock(mutex_);
    wake_ = std::move(wake);
}

void LiveExchange::Stop() {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
    Notify();
}

// ---- Addresses -------------------------------------------------------------------

std::optional<std::string> HttpHost(std::string_view url) {
    // Whitespace and control characters would let one address be read as
    // another by whoever parses it next.
    if (std::any_of(url.begin(), url.end(),
                    [](char c) { return static_cast<unsigned char>(c) <= 0x20 || c == 0x7F; })) {
        return std::nullopt;
    }
    const std::size_t schemeEnd = url.find("://");
    if (schemeEnd == std::string_view::npos) {
        return std::nullopt;
    }
    std::string scheme(url.substr(0, schemeEnd));
    std::transform(scheme.begin(), scheme.end(), scheme.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (scheme != "http" && scheme != "https") {
        return std::nullopt;
    }
    std::string_view authority = url.substr(schemeEnd + 3);
    authority = authority.substr(0, authority.find_first_of("/?#"));
    if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos) {
        authority.remove_prefix(at + 1);
    }
    std::string_view host = authority;
    std::string_view port;
    if (authority.starts_with('[')) {
        const std::size_t close = authority.find(']');
        if (close == std::string_view::npos) {
            return std::nullopt;
        }
        host = authority.substr(0, close + 1);
        const std::string_view rest = authority.substr(close + 1);
        if (!rest.empty() && !rest.starts_with(':')) {
            return std::nullopt;
        }
        port = rest.empty() ? rest : rest.substr(1);
    } else if (const std::size_t colon = authority.find(':'); colon != std::string_view::npos) {
        host = authority.substr(0, colon);
        port = authority.substr(colon + 1);
    }
    const bool portDigits =
        port.size() <= 5 && std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (host.empty() || host == "[]" || !portDigits ||
        (!port.empty() && std::atoi(std::string(port).c_str()) > 65535)) {
        return std::nullopt;
    }
    return std::string(host);
}

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

void SetRequestTimeouts(int connectMilliseconds, int totalMilliseconds) {
    // Zero means "no bound" to the HTTP libraries: the least is 1 ms.
    Requests().connectTimeout = std::chrono::milliseconds((std::max)(connectMilliseconds, 1));
    Requests().totalTimeout = std::chrono::milliseconds((std::max)(totalMilliseconds, 1));
}

}  // namespace StandIn
