#include "FakeWebhook.h"

#include <algorithm>
#include <nlohmann/json.hpp>
#include <sstream>
#include <stdexcept>

namespace HeraldTest {

namespace {

std::string Seconds(double seconds) {
    std::ostringstream text;
    text << seconds;
    return text.str();
}

}  // namespace

FakeWebhook::FakeWebhook()
    : server_([this](const SeenRequest& request, const std::atomic<bool>&) { return Respond(request); }) {
    if (!server_.Listening()) {
        throw std::runtime_error("the fake webhook could not listen on loopback");
    }
}

FakeWebhook::~FakeWebhook() {
    {
        std::lock_guard lock(mutex_);
        closing_ = true;
    }
    advanced_.notify_all();
}

std::string FakeWebhook::Url() const { return server_.Url("/api/webhooks/1/fake-token"); }

void FakeWebhook::Script(std::vector<Answer> answers) {
    std::lock_guard lock(mutex_);
    script_ = std::move(answers);
    scripted_ = 0;
}

void FakeWebhook::Limit(int requests, double windowSeconds) {
    std::lock_guard lock(mutex_);
    limit_ = requests;
    window_ = windowSeconds;
}

double FakeWebhook::Now() const {
    std::lock_guard lock(mutex_);
    return now_;
}

void FakeWebhook::Advance(double seconds) {
    {
        std::lock_guard lock(mutex_);
        now_ += seconds;
    }
    advanced_.notify_all();
}

std::vector<FakeWebhook::Received> FakeWebhook::Requests() const {
    std::lock_guard lock(mutex_);
    return received_;
}

std::vector<std::string> FakeWebhook::DeliveredLines() const {
    std::vector<std::string> lines;
    for (const Received& request : Requests()) {
        if (request.answer != Answer::Accept && request.answer != Answer::Stall) {
            continue;
        }
        std::istringstream content(request.content);
        for (std::string line; std::getline(content, line);) {
            lines.push_back(line);
        }
    }
    return lines;
}

int FakeWebhook::RequestsDuringAWait() const {
    std::lock_guard lock(mutex_);
    return duringWait_;
}

int FakeWebhook::TooManyAnswered() const {
    std::lock_guard lock(mutex_);
    return tooMany_;
}

std::size_t FakeWebhook::Holding() const {
    std::lock_guard lock(mutex_);
    return static_cast<std::size_t>(std::count_if(received_.begin(), received_.end(), [this](const Received& request) {
        return request.answer == Answer::Stall && now_ < request.at + StallSeconds;
    }));
}

FakeWebhook::Answer FakeWebhook::NextAnswer(double now) {
    if (scripted_ < script_.size()) {
        return script_[scripted_++];
    }
    if (limit_ > 0) {
        if (windowStart_ < 0 || now >= windowStart_ + window_) {
            windowStart_ = now;
            inWindow_ = 0;
        }
        if (inWindow_ == limit_) {
            return Answer::TooMany;
        }
    }
    return Answer::Accept;
}

std::optional<std::string> FakeWebhook::Respond(const SeenRequest& request) {
    Received received;
    const nlohmann::json body = nlohmann::json::parse(request.body, nullptr, false);
    if (body.is_object() && body.contains("content") && body["content"].is_string()) {
        received.content = body["content"].get<std::string>();
    }
    std::string reply;
    std::unique_lock lock(mutex_);
    const double now = now_;
    received.at = now;
    if (now < waitUntil_) {
        ++duringWait_;
    }
    received.answer = NextAnswer(now);
    switch (received.answer) {
        case Answer::Accept:
        case Answer::Stall: {
            reply = "HTTP/1.1 204 No Content\r\nConnection: close\r\n";
            if (limit_ > 0) {
                ++inWindow_;
                reply += "X-RateLimit-Limit: " + std::to_string(limit_) +
                         "\r\nX-RateLimit-Remaining: " + std::to_string(limit_ - inWindow_) +
                         "\r\nX-RateLimit-Reset-After: " + Seconds(windowStart_ + window_ - now) + "\r\n";
            }
            reply += "\r\n";
            break;
        }
        case Answer::TooMany: {
            ++tooMany_;
            const double wait = limit_ > 0 && windowStart_ >= 0 ? windowStart_ + window_ - now : TooManyWait;
            waitUntil_ = now + wait;
            const std::string body429 = R"({"message": "You are being rate limited.", "retry_after": )" +
                                        Seconds(wait) + R"(, "global": false})";
            reply =
                "HTTP/1.1 429 Too Many Requests\r\nConnection: close\r\nContent-Type: application/json\r\n"
                "Retry-After: " +
                Seconds(wait) + "\r\nContent-Length: " + std::to_string(body429.size()) + "\r\n\r\n" + body429;
            break;
        }
        case Answer::ServerError:
            reply = "HTTP/1.1 500 Internal Server Error\r\nConnection: close\r\nContent-Length: 0\r\n\r\n";
            break;
        case Answer::Close:
            break;
    }
    received_.push_back(received);
    if (received.answer == Answer::Stall) {
        const double end = now + StallSeconds;
        advanced_.wait(lock, [&] { return now_ >= end || closing_; });
    }
    if (received.answer == Answer::Close) {
        return std::nullopt;
    }
    return reply;
}

}  // namespace HeraldTest
