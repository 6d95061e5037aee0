#pragma once
// A small HTTP server on the loopback address for the tests of real
// requests: it reads each request whole on a thread of its own and answers
// with whatever its handler gives, and keeps what it received.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace HeraldTest {

struct SeenRequest {
    std::string head;  // request line and header lines, as sent
    std::string body;
    std::string Path() const;
};

// The bytes to answer a request with, or none: the connection is closed
// without a word. A handler that stalls waits while stopping stays false.
using LoopbackHandler =
    std::function<std::optional<std::string>(const SeenRequest&, const std::atomic<bool>& stopping)>;

class LoopbackServer {
public:
    explicit LoopbackServer(LoopbackHandler handler);
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    bool Listening() const;
    std::string Url(const std::string& path) const;

    std::vector<SeenRequest> Seen();
    // Until that many requests have arrived whole, for at most a few seconds.
    bool AwaitSeen(std::size_t count);

private:
    void AcceptAll();
    void Serve(std::intptr_t connection);

    LoopbackHandler handler_;
    unsigned short port_ = 0;
    std::intptr_t listener_;
    std::atomic<bool> stopping_{false};
    std::thread acceptor_;
    std::vector<std::thread> handlers_;  // the acceptor's alone until it has ended
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<SeenRequest> seen_;
};

// A port on the loopback address where nothing listens.
unsigned short ClosedLoopbackPort();

}  // namespace HeraldTest
