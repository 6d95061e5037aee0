#include "LoopbackServer.h"

#include <chrono>

#if defined(_WIN32)
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace HeraldTest {

namespace {

#if defined(_WIN32)
using LoopbackSocket = SOCKET;
const LoopbackSocket NoLoopbackSocket = INVALID_SOCKET;
constexpr int LoopbackSendFlags = 0;
void CloseLoopbackSocket(LoopbackSocket socket) { closesocket(socket); }
#else
using LoopbackSocket = int;
const LoopbackSocket NoLoopbackSocket = -1;
// A client that gave up has closed its end: a write there must fail, not
// end the test with SIGPIPE.
constexpr int LoopbackSendFlags = MSG_NOSIGNAL;
void CloseLoopbackSocket(LoopbackSocket socket) { close(socket); }
#endif

LoopbackSocket AsSocket(std::intptr_t handle) { return static_cast<LoopbackSocket>(handle); }

// Whether the socket has something to read within a short while.
bool Readable(LoopbackSocket socket) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(socket, &set);
    timeval wait{0, 20000};
    return select(static_cast<int>(socket + 1), &set, nullptr, nullptr, &wait) > 0;
}

LoopbackSocket ListeningSocket(unsigned short& port) {
#if defined(_WIN32)
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    if (!started) {
        return NoLoopbackSocket;
    }
#endif
    const LoopbackSocket listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (listener == NoLoopbackSocket || bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener, 16) != 0 || getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return NoLoopbackSocket;
    }
    port = ntohs(address.sin_port);
    return listener;
}

// Reads until complete says so, or the peer or the server stops.
bool ReadUntil(LoopbackSocket connection, std::string& data, const std::atomic<bool>& stopping,
               const std::function<bool()>& complete) {
    char buffer[4096];
    while (!complete()) {
        if (stopping) {
            return false;
        }
        if (!Readable(connection)) {
            continue;
        }
        const auto got = recv(connection, buffer, sizeof buffer, 0);
        if (got <= 0) {
            return false;
        }
        data.append(buffer, static_cast<std::size_t>(got));
    }
    return true;
}

void SendAll(LoopbackSocket connection, const std::string& data) {
    std::size_t sent = 0;
    while (sent < data.size()) {
        const auto wrote =
            send(connection, data.data() + sent, static_cast<int>(data.size() - sent), LoopbackSendFlags);
        if (wrote <= 0) {
            return;
        }
        sent += static_cast<std::size_t>(wrote);
    }
}

}  // namespace

std::string SeenRequest::Path() const { return head.substr(5, head.find(' ', 5) - 5); }

LoopbackServer::LoopbackServer(LoopbackHandler handler)
    : handler_(std::move(handler)), listener_(static_cast<std::intptr_t>(ListeningSocket(port_))) {
    if (Listening()) {
        acceptor_ = std::thread([this] { AcceptAll(); });
    }
}

LoopbackServer::~LoopbackServer() {
    stopping_ = true;
    if (acceptor_.joinable()) {
        acceptor_.join();
    }
    for (std::thread& handler : handlers_) {
        handler.join();
    }
    if (Listening()) {
        CloseLoopbackSocket(AsSocket(listener_));
    }
}

bool LoopbackServer::Listening() const { return AsSocket(listener_) != NoLoopbackSocket; }

std::string LoopbackServer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<SeenRequest> LoopbackServer::Seen() {
    const std::lock_guard lock(mutex_);
    return seen_;
}

bool LoopbackServer::AwaitSeen(std::size_t count) {
    std::unique_lock lock(mutex_);
    return arrived_.wait_for(lock, std::chrono::seconds(3), [&] { return seen_.size() >= count; });
}

void LoopbackServer::AcceptAll() {
    while (!stopping_) {
        if (!Readable(AsSocket(listener_))) {
            continue;
        }
        const LoopbackSocket connection = accept(AsSocket(listener_), nullptr, nullptr);
        if (connection != NoLoopbackSocket) {
            handlers_.emplace_back([this, connection] {
                Serve(static_cast<std::intptr_t>(connection));
                CloseLoopbackSocket(connection);
            });
        }
    }
}

void LoopbackServer::Serve(std::intptr_t handle) {
    const LoopbackSocket connection = AsSocket(handle);
    std::string data;
    if (!ReadUntil(connection, data, stopping_, [&] { return data.find("\r\n\r\n") != std::string::npos; })) {
        return;
    }
    const std::size_t headEnd = data.find("\r\n\r\n");
    SeenRequest request{data.substr(0, headEnd), data.substr(headEnd + 4)};
    std::size_t length = 0;
    std::string lower = request.head;
    for (char& c : lower) {
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    }
    if (const std::size_t at = lower.find("\r\ncontent-length:"); at != std::string::npos) {
        length = std::stoul(lower.substr(at + 17));
    }
    if (!ReadUntil(connection, request.body, stopping_, [&] { return request.body.size() >= length; })) {
        return;
    }
    {
        const std::lock_guard lock(mutex_);
        seen_.push_back(request);
    }
    arrived_.notify_all();
    if (const std::optional<std::string> reply = handler_(request, stopping_)) {
        SendAll(connection, *reply);
    }
}

unsigned short ClosedLoopbackPort() {
    unsigned short port = 0;
    const LoopbackSocket listener = ListeningSocket(port);
    CloseLoopbackSocket(listener);
    return port;
}

}  // namespace HeraldTest
