#pragma once
// A Discord webhook on loopback for the real HTTP client: it answers each
// request as the test scripts it, or keeps Discord's rate limit itself, and
// keeps what it received. Its clock runs in seconds of its own, each a given
// number of real milliseconds, so that a test can play minutes of a server
// in seconds: the stand-in's game clock then advances one second per such
// period, and every wait the webhook asks for is in the same seconds.

#include <atomic>
#include <chrono>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "LoopbackServer.h"

namespace HeraldTest {

class FakeWebhook {
public:
    enum class Answer {
        Accept,       // 204, with the rate limit's headers when one is kept
        TooMany,      // 429 with Retry-After and retry_after of TooManyWait
        ServerError,  // 500
        Stall,        // 204 after StallSeconds
        Close,        // the connection closed without a reply
    };
    static constexpr double TooManyWait = 1.5;
    static constexpr double StallSeconds = 10;

    explicit FakeWebhook(int millisecondsPerSecond);
    FakeWebhook(const FakeWebhook&) = delete;
    FakeWebhook& operator=(const FakeWebhook&) = delete;

    std::string Url() const;
    // The answers of the next requests, in order; after them, Accept.
    void Script(std::vector<Answer> answers);
    // Discord's limit kept: at most requests in each window of seconds, the
    // next ones answered 429 until the window ends.
    void Limit(int requests, double windowSeconds);

    // The webhook's clock, in its own seconds since it started.
    double Now() const;

    struct Received {
        double at = 0;
        Answer answer = Answer::Accept;
        std::string content;  // the post's content, as JSON gave it
    };
    std::vector<Received> Requests() const;
    // The lines of every accepted post, in the order they came.
    std::vector<std::string> DeliveredLines() const;
    // Requests that came while a 429's wait ran.
    int RequestsDuringAWait() const;
    int TooManyAnswered() const;
    bool Stalling() const { return stalling_; }

private:
    std::optional<std::string> Respond(const SeenRequest& request, const std::atomic<bool>& stopping);
    Answer NextAnswer(double now);

    const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    const int millisecondsPerSecond_;
    std::atomic<bool> stalling_{false};
    mutable std::mutex mutex_;
    std::vector<Answer> script_;
    std::size_t scripted_ = 0;
    int limit_ = 0;
    double window_ = 0;
    double windowStart_ = -1;
    int inWindow_ = 0;
    double waitUntil_ = 0;
    int duringWait_ = 0;
    int tooMany_ = 0;
    std::vector<Received> received_;
    // Last: its threads may call Respond as soon as it is made.
    LoopbackServer server_;
};

}  // namespace HeraldTest
