#pragma once
// The stand-in's live web requests, between the game thread, which makes them
// and runs their completions, and the one worker thread that carries them out
// (RequestsCurl.cpp on Linux, RequestsWinHttp.cpp on Windows). The callbacks
// never leave the game thread's side: the worker sees only what it sends and
// hands back only what came.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "game/ArkApi.h"

namespace StandIn::detail {

// What a live reply may hold. A body beyond MaxReplyBody fails the request
// (status 0, an error saying so) rather than arriving cut short: a callback
// that parses it must never mistake the first part for the whole. Headers
// beyond MaxReplyHeaders are dropped, the first ones kept.
inline constexpr std::size_t MaxReplyBody = 64 * 1024;
inline constexpr std::size_t MaxReplyHeaders = 100;
// Requests made and not yet completed nor abandoned, in either mode: one
// more is refused, so that a plugin sending faster than replies come can't
// grow the host without bound.
inline constexpr std::size_t MaxRequestsInFlight = 256;

inline constexpr std::chrono::milliseconds DefaultConnectTimeout{5000};
inline constexpr std::chrono::milliseconds DefaultTotalTimeout{10000};

struct HttpJob {
    std::uint64_t id = 0;
    std::string url;
    std::string body;
    std::vector<std::string> headerLines;  // "Name: value", the content type's first
    std::chrono::milliseconds connectTimeout = DefaultConnectTimeout;
    std::chrono::milliseconds totalTimeout = DefaultTotalTimeout;
};

// The requests between the two threads, under one lock. A job is queued until
// the worker takes it, then started until the worker reports its reply, then
// done until the game thread runs its completion. Abandoning takes it out of
// whichever of these it is in; a started one is only marked, and what the
// worker reports of it later is dropped.
class LiveExchange {
public:
    // ---- The game thread's side
    void Submit(HttpJob job);
    // The oldest reply not yet handed on.
    std::optional<std::pair<std::uint64_t, ArkApi::HttpReply>> NextDone();
    std::size_t DoneCount();
    // Until nothing queued or started is left unabandoned, or the deadline;
    // whether nothing was.
    bool WaitForTransfers(std::chrono::steady_clock::time_point deadline);
    void Abandon(const std::unordered_set<std::uint64_t>& ids);

    // ---- The worker's side
    // Moves at most `most` queued jobs, oldest first, into `jobs` and the ids
    // abandoned while started into `cancelled` (the worker then reports
    // nothing of them). Blocks while there is none of either and `idle`.
    // False once stopping.
    bool Take(std::vector<HttpJob>& jobs, std::vector<std::uint64_t>& cancelled, bool idle,
              std::size_t most = MaxRequestsInFlight);
    void Report(std::uint64_t id, ArkApi::HttpReply reply);
    // A worker blocked outside Take (in its HTTP library's wait) is woken by
    // this, called with the lock held; none to clear it.
    void SetWake(std::function<void()> wake);

    // ---- Process end
    void Stop();

private:
    void Notify();  // lock held

    std::mutex mutex_;
    std::condition_variable work_;
    std::condition_variable ended_;
    std::deque<HttpJob> queued_;
    std::unordered_set<std::uint64_t> started_;
    std::unordered_set<std::uint64_t> cancelled_;  // a subset of started_
    std::deque<std::pair<std::uint64_t, ArkApi::HttpReply>> done_;
    std::function<void()> wake_;
    bool stopping_ = false;
};

// Per platform. Prepare runs once on the game thread before the worker
// starts (a library's global set-up that is not safe beside other threads);
// Run is the worker's whole life, until the exchange stops.
void PrepareHttpClient();
void RunHttpWorker(LiveExchange& exchange);
// After the worker has ended, at process end.
void ReleaseHttpClient();

// The host of an http:// or https:// address: "hooks.example.org" of
// "https://user@hooks.example.org:8443/a/b?token=c", never its port, path or
// query, which may carry a secret. None for any other address.
std::optional<std::string> HttpHost(std::string_view url);

// The completions due at a tick of the game clock, before its timers.
void RunRequestCompletions();
// A reset: back to scripted, default bounds, every request dropped unrun.
void ResetRequests();

}  // namespace StandIn::detail
