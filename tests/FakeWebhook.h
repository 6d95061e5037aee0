#pragma once
// A Discord webhook on loopback for the real HTTP client: it answers each
// request as the test scripts it, or keeps Discord's rate limit itself, and
// keeps what it received. Its clock stands still until the test advances it:
// a rate limit's window, a 429's wait and a stall end only when the test has
// moved it past their end, whatever the real time, so that a test plays
// minutes of a server as fast as the requests go and the same on every run.

#include <condition_variable>
#include <cstddef>
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
        Stall,        // 204 once the clock has run StallSeconds past the request's arrival
        Close,        // the connection closed without a reply
    };
    static constexpr double TooManyWait = 1.5;
    static constexpr double StallSeconds = 10;

    FakeWebhook();
    ~FakeWebhook();
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
    // Moves the clock on; a stall whose end it reaches then answers.
    void Advance(double seconds);

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
    // Requests stalled whose end the clock has not reached. One stops counting
    // the moment the clock reaches its end, before its reply has gone: whoever
    // waits for it then waits for the reply itself.
    std::size_t Holding() const;
    bool Stalling() const { return Holding() > 0; }

private:
    std::optional<std::string> Respond(const SeenRequest& request);
    Answer NextAnswer(double now);

    mutable std::mutex mutex_;
    std::condition_variable advanced_;
    double now_ = 0;
    // A stalled responder waits on advanced_, which the server's own stopping
    // flag never signals: the destructor sets this and wakes them before the
    // server joins their threads.
    bool closing_ = false;
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
