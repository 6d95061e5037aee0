#include "relay/RelayQueue.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <nlohmann/json.hpp>

#include "config/ConfigReaders.h"

namespace {

using Json = nlohmann::json;

constexpr std::string_view MarkdownCharacters = "\\*_~`|><#[]()-";
constexpr std::string_view LineBreak = "\n";
constexpr std::string_view Ellipsis = "…";

// The bytes a PlainLine holds: printable ASCII but Markdown's characters.
constexpr std::array<bool, 256> PlainBytes = [] {
    std::array<bool, 256> plain{};
    for (int c = ' '; c < 0x7F; ++c) {
        plain[static_cast<std::size_t>(c)] = MarkdownCharacters.find(static_cast<char>(c)) == std::string_view::npos;
    }
    return plain;
}();

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

std::size_t Characters(std::string_view text) {
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return !IsContinuationByte(c); }));
}

// The first characters of a text, no character split.
std::string_view FirstCharacters(std::string_view text, std::size_t characters) {
    std::size_t end = 0;
    for (std::size_t kept = 0; end < text.size() && kept < characters; ++kept) {
        ++end;
        while (end < text.size() && IsContinuationByte(text[end])) {
            ++end;
        }
    }
    return text.substr(0, end);
}

// The text cut to at most limit characters, ending in "…" where it was cut;
// an escape is never left without the character it escapes.
std::string CutToCharacters(std::string_view text, std::size_t limit) {
    if (Characters(text) <= limit) {
        return std::string(text);
    }
    std::string_view cut = FirstCharacters(text, limit - 1);
    std::size_t backslashes = 0;
    while (backslashes < cut.size() && cut[cut.size() - 1 - backslashes] == '\\') {
        ++backslashes;
    }
    if (backslashes % 2 == 1) {
        cut.remove_suffix(1);
    }
    return std::string(cut) + std::string(Ellipsis);
}

bool SameHeaderName(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return LowerAscii(x) == LowerAscii(y); });
}

std::optional<std::string_view> Header(const ArkApi::HttpReply& reply, std::string_view name) {
    for (const auto& [headerName, value] : reply.headers) {
        if (SameHeaderName(headerName, name)) {
            return value;
        }
    }
    return std::nullopt;
}

// Seconds as Discord writes them: digits with an optional fraction, spaces
// around; anything else is no number.
std::optional<double> ReadSeconds(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return std::nullopt;
    }
    text = text.substr(first, text.find_last_not_of(" \t") - first + 1);
    if (text.empty() || text.size() > 32 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return (c >= '0' && c <= '9') || c == '.'; }) ||
        text.front() == '.') {
        return std::nullopt;
    }
    double seconds = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(seconds)) {
        return std::nullopt;
    }
    return seconds;
}

// retry_after at the top of a JSON body; nothing below the top is kept while
// reading it, so a deep or large body costs no more than its length.
std::optional<double> BodyRetryAfter(const std::string& body) {
    if (body.empty() || body.front() != '{') {
        return std::nullopt;
    }
    const Json top = Json::parse(
        body,
        [](int depth, Json::parse_event_t event, Json&) {
            return depth < 1 || (depth == 1 && event != Json::parse_event_t::object_start &&
                                 event != Json::parse_event_t::array_start);
        },
        false);
    if (!top.is_object()) {
        return std::nullopt;
    }
    const auto found = top.find("retry_after");
    if (found == top.end() || !found->is_number() || !std::isfinite(found->get<double>()) || found->get<double>() < 0) {
        return std::nullopt;
    }
    return found->get<double>();
}

}  // namespace

std::string EscapeMarkdown(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size() + text.size() / 8);
    for (const char c : text) {
        if (MarkdownCharacters.find(c) != std::string_view::npos) {
            escaped += '\\';
        }
        escaped += c;
    }
    return escaped;
}

bool PlainLine(std::string_view text) {
    if (text.size() > RelayQueue::PostLimit) {
        return false;
    }
    for (const char c : text) {
        if (!PlainBytes[static_cast<unsigned char>(c)]) {
            return false;
        }
    }
    return true;
}

std::string PostedLine(std::string_view text) {
    return PlainLine(text) ? std::string(text) : CutToCharacters(EscapeMarkdown(text), RelayQueue::PostLimit);
}

std::string RoleMentions(const std::vector<std::string>& roles) {
    std::string mentions;
    for (const std::string& role : roles) {
        mentions += (mentions.empty() ? "<@&" : " <@&") + role + ">";
    }
    return mentions;
}

std::string PostBody(std::string_view content, std::string_view username, const std::vector<std::string>& roles) {
    Json body = Json::object();
    body["content"] = content;
    if (!username.empty()) {
        body["username"] = FirstCharacters(username, UsernameLimit);
    }
    body["allowed_mentions"] = {{"parse", Json::array()}};
    if (!roles.empty()) {
        body["allowed_mentions"]["roles"] = roles;
    }
    return body.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::optional<double> RequestedWait(const ArkApi::HttpReply& reply) {
    if (reply.status == 429) {
        if (const auto header = Header(reply, "Retry-After")) {
            if (const std::optional<double> seconds = ReadSeconds(*header)) {
                return seconds;
            }
        }
        if (const std::optional<double> seconds = BodyRetryAfter(reply.body)) {
            return seconds;
        }
        return 1.0;  // a 429 that says nothing: the least Discord's buckets take
    }
    const auto remaining = Header(reply, "X-RateLimit-Remaining");
    if (remaining && ReadSeconds(*remaining) == 0.0) {
        if (const auto resetAfter = Header(reply, "X-RateLimit-Reset-After")) {
            return ReadSeconds(*resetAfter);
        }
    }
    return std::nullopt;
}

void RelayQueue::Push(std::string line, bool digest) {
    if (stopped_) {
        ++dropped_;
        return;
    }
    // A character past a post's length is never posted: the line is cut when
    // it is read, to the same text, and an escape only lengthens it. The
    // bytes are bounded too, whatever a malformed text's characters.
    const std::size_t kept = std::min(FirstCharacters(line, PostLimit + 1).size(), 4 * (PostLimit + 1));
    line.resize(kept);
    line.shrink_to_fit();
    if (Waiting() >= WaitingLimit) {
        DropOldest();
    }
    waiting_.push_back({std::move(line), digest});
}

bool RelayQueue::InFlightMentions() const {
    return inFlight_ && !mention_.empty() &&
           std::any_of(inFlight_->lines.begin(), inFlight_->lines.end(), [](const Line& line) { return !line.digest; });
}

void RelayQueue::DropOldest() {
    if (retry_) {
        retry_->lines.pop_front();
        if (retry_->lines.empty()) {
            retry_.reset();
        }
    } else {
        waiting_.pop_front();
    }
    ++dropped_;
}

// The post waits again, and its lines count again among those waiting: the
// oldest go past the cap.
void RelayQueue::Retry(Post post) {
    retry_ = std::move(post);
    while (Waiting() > WaitingLimit) {
        DropOldest();
    }
}

std::string RelayQueue::Content() const {
    std::string content = InFlightMentions() ? mention_ + std::string(LineBreak) : std::string();
    for (const Line& line : inFlight_->lines) {
        content += line.text;
        content += LineBreak;
    }
    content.resize(content.size() - LineBreak.size());  // a post holds a line at least
    return content;
}

std::optional<std::string> RelayQueue::TakePost(double now) {
    if (stopped_ || inFlight_ || now < readyAt_) {
        return std::nullopt;
    }
    if (retry_) {
        inFlight_ = std::move(retry_);
        retry_.reset();
        return Content();
    }
    if (waiting_.empty()) {
        return std::nullopt;
    }
    Post post;
    // Room is kept for the mention whether or not the post ends up naming it.
    std::size_t characters = mention_.empty() ? 0 : Characters(mention_) + Characters(LineBreak);
    while (!waiting_.empty()) {
        std::string line = reading_(waiting_.front().text);
        if (!mention_.empty() && post.lines.empty()) {
            line = CutToCharacters(line, PostLimit - characters);
        }
        const std::size_t added = Characters(line) + (post.lines.empty() ? 0 : Characters(LineBreak));
        if (!post.lines.empty() && characters + added > PostLimit) {
            break;
        }
        characters += added;
        post.lines.push_back({std::move(line), waiting_.front().digest});
        waiting_.pop_front();
    }
    inFlight_ = std::move(post);
    return Content();
}

RelayQueue::Outcome RelayQueue::Completed(const ArkApi::HttpReply& reply, double now) {
    if (!inFlight_) {
        return Outcome::Dropped;
    }
    Post post = std::move(*inFlight_);
    inFlight_.reset();
    lastStatus_ = reply.status;
    if (const std::optional<double> wait = RequestedWait(reply)) {
        readyAt_ = now + std::min(*wait, LongestWait);
    }
    const int status = reply.status;
    if (status >= 200 && status < 300) {
        ++postsSent_;
        return Outcome::Sent;
    }
    if (status == 429) {
        Retry(std::move(post));
        return Outcome::WaitAsked;
    }
    if (status == 401 || status == 403 || status == 404) {
        stopped_ = true;
        dropped_ += static_cast<std::int64_t>(post.lines.size());
        DropAll();
        return Outcome::Stopped;
    }
    if (status == 0 || status >= 500) {
        if (++post.failures <= RetryLimit) {
            readyAt_ = std::max(readyAt_, now + static_cast<double>(1 << (post.failures - 1)));
            Retry(std::move(post));
            return Outcome::Retrying;
        }
    }
    dropped_ += static_cast<std::int64_t>(post.lines.size());
    return Outcome::Dropped;
}

std::size_t RelayQueue::DropWaiting() {
    const std::size_t lines = Waiting();
    waiting_.clear();
    retry_.reset();
    dropped_ += static_cast<std::int64_t>(lines);
    return lines;
}

std::size_t RelayQueue::DropAll() {
    const std::size_t lines = inFlight_ ? inFlight_->lines.size() : 0;
    inFlight_.reset();
    dropped_ += static_cast<std::int64_t>(lines);
    return lines + DropWaiting();
}
