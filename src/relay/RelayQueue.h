#pragma once
// The lines waiting for one Discord webhook, and when the next post may go.
// Lines are merged into posts of at most PostLimit characters, in the order
// they came; at most WaitingLimit wait; one post is in flight at a time; each
// reply's rate limits are followed. The queue makes no request and reads no
// clock: its owner posts what TakePost gives and says what time it is.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "game/ArkApi.h"

// Markdown's characters escaped, so a line shows as players read it.
std::string EscapeMarkdown(std::string_view text);

// Whether a line is posted exactly as written: printable ASCII without
// Markdown's characters, and no longer than a post. Most announcements are.
bool PlainLine(std::string_view text);
// A line as posted: Markdown's characters escaped, cut to a post's length.
std::string PostedLine(std::string_view text);

// A post's JSON body: the content, the name it appears under (left out when
// empty, cut to UsernameLimit characters, past which Discord refuses the
// post), and no mention allowed to ping but of these roles.
inline constexpr std::size_t UsernameLimit = 80;
std::string PostBody(std::string_view content, std::string_view username, const std::vector<std::string>& roles = {});

// The roles a post names before its lines, "<@&ID>" each, one space between.
std::string RoleMentions(const std::vector<std::string>& roles);

// How long a reply asks to wait before the next request, in seconds: a 429's
// Retry-After header, or retry_after in its JSON body; any reply's
// X-RateLimit-Reset-After when X-RateLimit-Remaining is 0. None when it asks
// for no wait.
std::optional<double> RequestedWait(const ArkApi::HttpReply& reply);

class RelayQueue {
public:
    static constexpr std::size_t WaitingLimit = 100;
    static constexpr std::size_t PostLimit = 2000;  // characters, as Discord counts a message's
    static constexpr int RetryLimit = 5;
    // However long a reply asks for: a wrong or hostile header must not stop
    // the relay for good.
    static constexpr double LongestWait = 600;

    enum class Outcome { Sent, WaitAsked, Retrying, Dropped, Stopped };

    // How a waiting line becomes the text posted, when a post is made: the
    // spawn that pushed it pays for no more than keeping it.
    using LineReading = std::string (*)(std::string_view line);
    explicit RelayQueue(LineReading reading = &PostedLine) : reading_(reading) {}

    // A line as given, read when it is posted, kept no longer than a post
    // can show of it. Past WaitingLimit, the post to be retried included, the
    // oldest line is dropped. Once stopped, every line is dropped. A digest
    // pings no one.
    void Push(std::string line, bool digest = false);
    // Named at the head of each post that holds a line other than a digest,
    // within the post's length.
    void SetMention(std::string mention) { mention_ = std::move(mention); }
    // Whether the post in flight starts with the mention.
    bool InFlightMentions() const;
    // The content of the post that may go now (nothing in flight, no wait
    // running, not stopped, something to send), which is then in flight.
    std::optional<std::string> TakePost(double now);
    // The reply to the post in flight (status 0: none came).
    Outcome Completed(const ArkApi::HttpReply& reply, double now);
    // Everything waiting or to be retried dropped and counted; a post in
    // flight still counts as its reply says. Gives how many lines were dropped.
    std::size_t DropWaiting();
    // The same, and the post in flight, whose reply will never come.
    std::size_t DropAll();
    // A reload starts relaying again after 401, 403 or 404.
    void Resume() { stopped_ = false; }

    bool InFlight() const { return inFlight_.has_value(); }
    bool Stopped() const { return stopped_; }
    std::size_t Waiting() const { return waiting_.size() + (retry_ ? retry_->lines.size() : 0); }
    std::int64_t PostsSent() const { return postsSent_; }
    std::int64_t Dropped() const { return dropped_; }
    // The last reply's status; 0 for a request that got none; none before any.
    std::optional<int> LastStatus() const { return lastStatus_; }

private:
    struct Line {
        std::string text;
        bool digest = false;
    };
    struct Post {
        std::deque<Line> lines;  // as posted, oldest first
        int failures = 0;
    };
    // The content of the post in flight.
    std::string Content() const;
    void DropOldest();
    void Retry(Post post);
    LineReading reading_;
    std::deque<Line> waiting_;  // as pushed
    std::string mention_;
    std::optional<Post> inFlight_;
    std::optional<Post> retry_;  // sent again when the wait ends
    double readyAt_ = 0;
    bool stopped_ = false;
    std::int64_t postsSent_ = 0;
    std::int64_t dropped_ = 0;
    std::optional<int> lastStatus_;
};
