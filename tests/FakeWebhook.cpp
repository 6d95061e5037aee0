#include "FakeWebhook.h"

#include <cstring>
#include <sstream>
#include <stdexcept>

#include <nlohmann/json.hpp>

#if defined(_WIN32)
#include <winsock2.h>
#include <ws2tcpip.h>
using SocketLength = int;
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
using SocketLength = socklen_t;
#endif

namespace HeraldTest {

namespace {

// A request head and body are never near this; anything longer is a fault.
constexpr std::size_t RequestLimit = 1 << 20;

#if defined(_WIN32)
using Socket = SOCKET;
void CloseSocket(Socket socket) { closesocket(socket); }
int PollOne(Socket socket, int milliseconds) {
    WSAPOLLFD entry{socket, POLLRDNORM, 0};
    return WSAPoll(&entry, 1, milliseconds);
}
struct Winsock {
    Winsock() {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    }
};
#else
using Socket = int;
void CloseSocket(Socket socket) { close(socket); }
int PollOne(Socket socket, int milliseconds) {
    pollfd entry{socket, POLLIN, 0};
    return poll(&entry, 1, milliseconds);
}
#endif

Socket AsSocket(std::intptr_t handle) { return static_cast<Socket>(handle); }

void SendAll(Socket socket, const std::string& text) {
    std::size_t sent = 0;
    while (sent < text.size()) {
        const auto wrote = send(socket, text.data() + sent, static_cast<int>(text.size() - sent), 0);
        if (wrote <= 0) {
            return;
        }
        sent += static_cast<std::size_t>(wrote);
    }
}

std::string Seconds(double seconds) {
    std::ostringstream text;
    text << seconds;
    return text.str();
}

}  // namespace

FakeWebhook::FakeWebhook(int millisecondsPerSecond) : millisecondsPerSecond_(millisecondsPerSecond) {
#if defined(_WIN32)
    static Winsock winsock;
#endif
    const Socket listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    SocketLength length = sizeof address;
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), length) != 0 || listen(listener, 16) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        CloseSocket(listener);
        throw std::runtime_error("the fake webhook could not listen on loopback");
    }
    listener_ = static_cast<std::intptr_t>(listener);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
}

FakeWebhook::~FakeWebhook() {
    stop_ = true;
    thread_.join();
    CloseSocket(AsSocket(listener_));
}

std::string FakeWebhook::Url() const {
    return "http://127.0.0.1:" + std::to_string(port_) + "/api/webhooks/1/fake-token";
}

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
    const auto elapsed = std::chrono::steady_clock::now() - start_;
    return std::chrono::duration<double, std::milli>(elapsed).count() / millisecondsPerSecond_;
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

void FakeWebhook::Serve() {
    while (!stop_) {
        if (PollOne(AsSocket(listener_), 20) <= 0) {
            continue;
        }
        const Socket connection = accept(AsSocket(listener_), nullptr, nullptr);
        if (connection == static_cast<Socket>(-1)) {
            continue;
        }
        Respond(static_cast<std::intptr_t>(connection));
        CloseSocket(connection);
    }
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

void FakeWebhook::Respond(std::intptr_t handle) {
    const Socket connection = AsSocket(handle);
    std::string request;
    std::size_t bodyStart = std::string::npos;
    std::size_t length = 0;
    char buffer[4096];
    while (!stop_ && request.size() < RequestLimit) {
        if (PollOne(connection, 20) <= 0) {
            continue;
        }
        const auto got = recv(connection, buffer, sizeof buffer, 0);
        if (got <= 0) {
            return;
        }
        request.append(buffer, static_cast<std::size_t>(got));
        if (bodyStart == std::string::npos && (bodyStart = request.find("\r\n\r\n")) != std::string::npos) {
            bodyStart += 4;
            std::string head = request.substr(0, bodyStart);
            for (char& c : head) {
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            }
            const std::size_t field = head.find("content-length:");
            length = field == std::string::npos ? 0 : std::stoul(head.substr(field + 15));
        }
        if (bodyStart != std::string::npos && request.size() >= bodyStart + length) {
            break;
        }
    }
    if (bodyStart == std::string::npos) {
        return;
    }
    const double now = Now();
    Received received;
    received.at = now;
    const nlohmann::json body = nlohmann::json::parse(request.substr(bodyStart, length), nullptr, false);
    if (body.is_object() && body.contains("content") && body["content"].is_string()) {
        received.content = body["content"].get<std::string>();
    }
    std::string reply;
    {
        std::lock_guard lock(mutex_);
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
                    reply += "X-RateLimit-Limit: " + std::to_string(limit_) + "\r\nX-RateLimit-Remaining: " +
                             std::to_string(limit_ - inWindow_) + "\r\nX-RateLimit-Reset-After: " +
                             Seconds(windowStart_ + window_ - now) + "\r\n";
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
                reply = "HTTP/1.1 429 Too Many Requests\r\nConnection: close\r\nContent-Type: application/json\r\n"
                        "Retry-After: " + Seconds(wait) + "\r\nContent-Length: " + std::to_string(body429.size()) +
                        "\r\n\r\n" + body429;
                break;
            }
            case Answer::ServerError:
                reply = "HTTP/1.1 500 Internal Server Error\r\nConnection: close\r\nContent-Length: 0\r\n\r\n";
                break;
            case Answer::Close:
                break;
        }
        received_.push_back(received);
    }
    if (received.answer == Answer::Stall) {
        stalling_ = true;
        const auto until = std::chrono::steady_clock::now() +
                           std::chrono::milliseconds(static_cast<int>(StallSeconds * millisecondsPerSecond_));
        while (!stop_ && std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        stalling_ = false;
    }
    SendAll(connection, reply);
}

}  // namespace HeraldTest
