// The page server's loop: one thread polls the listener and every connection,
// takes up what was published and hands each connection its turn; and the
// calls that start it, publish to it and stop it.

#include "serve/PageServer.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#if !defined(_WIN32)
#include <pthread.h>
#endif

#include "serve/PageServerState.h"
#include "serve/Socket.h"

namespace Herald {

namespace {

// Connections the system holds for herald until it takes them: a page and
// its stream come together, and a page opened in many tabs at once.
constexpr int ListenBacklog = 128;
// The longest the server waits without looking at its deadlines and the stop
// flag; a publication or a stop wakes it at once anyway.
constexpr int LongestWaitMs = 100;
// Accepted in one turn at most, so that a flood of connections can't stall the others.
constexpr int AcceptsPerTurn = 64;

}  // namespace

void PageServer::AcceptWaiting(ServerClock::time_point now) {
    for (int i = 0; i < AcceptsPerTurn; ++i) {
        Net::Socket socket = Net::Accept(listener);
        if (!socket.IsOpen()) {
            return;
        }
        if (connections.size() >= limits.connections) {
            const SharedText busy = ShortResponse(503);
            Net::Send(socket, busy->data(), busy->size());
            continue;  // and closed
        }
        auto connection = std::make_unique<Connection>();
        connection->socket = std::move(socket);
        connection->deadline = now + limits.head;
        connections.push_back(std::move(connection));
    }
}

void PageServer::Run() {
    Net::PollSet poll;
    std::uint64_t seen = 0;
    while (!stopping.load()) {
        {
            const std::lock_guard lock(mutex);
            if (generation != seen) {
                seen = generation;
                current = published;
            }
        }
        ServerClock::time_point now = ServerClock::now();
        for (const auto& connection : connections) {
            if (connection->phase == Connection::Phase::Stream && !connection->out) {
                NextEvent(*connection, now);
            }
        }
        poll.Clear();
        poll.Add(listener, true, false);
        const bool wakes = waker.Readable().IsOpen();
        if (wakes) {
            poll.Add(waker.Readable(), true, false);
        }
        const std::size_t first = wakes ? 2 : 1;
        for (const auto& connection : connections) {
            const bool reads = connection->phase != Connection::Phase::Writing;
            poll.Add(connection->socket, reads, connection->out != nullptr);
        }
        if (!poll.Wait(LongestWaitMs)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(LongestWaitMs));
            continue;
        }
        if (stopping.load()) {
            break;
        }
        now = ServerClock::now();
        if (wakes && poll.Readable(1)) {
            waker.Drain();
        }
        for (std::size_t i = 0; i < connections.size(); ++i) {
            Connection& connection = *connections[i];
            if (poll.Broken(first + i)) {
                connection.done = true;
                continue;
            }
            if (poll.Readable(first + i) && connection.phase != Connection::Phase::Writing) {
                Read(connection, now);
            }
            // Writing, a hang-up is all a read would show: the write then fails.
            const bool hungUp = connection.phase == Connection::Phase::Writing && poll.Readable(first + i);
            if (!connection.done && connection.out && (poll.Writable(first + i) || hungUp)) {
                Write(connection, now);
            }
            if (!connection.done) {
                CheckDeadlines(connection, now);
            }
        }
        std::erase_if(connections, [](const auto& connection) { return connection->done; });
        if (poll.Readable(0)) {
            AcceptWaiting(now);
        }
    }
    connections.clear();
    current = Published{};
}

void PublishPage(PageServer& server, std::string html, std::uint64_t saves) {
    static std::atomic<std::uint64_t> published{0};
    static const auto started = std::chrono::steady_clock::now().time_since_epoch().count();
    // Unique to this process, so that a page kept open across a restart is refreshed.
    std::string version = std::to_string(started) + "-" + std::to_string(++published);
    SharedText page = std::make_shared<const std::string>(PageResponse(html, version));
    html = std::string();  // before the old page goes too: the least held at once
    {
        const std::lock_guard lock(server.mutex);
        std::swap(server.published.page, page);
        server.published.version = std::move(version);
        server.published.previewed = saves;
        ++server.generation;
    }
    server.waker.Wake();
}

std::uint64_t PublishSave(PageServer& server) {
    std::uint64_t saves = 0;
    {
        const std::lock_guard lock(server.mutex);
        saves = ++server.published.saves;
        ++server.generation;
    }
    server.waker.Wake();
    return saves;
}

void StopPageServer::operator()(PageServer* server) const {
    server->stopping.store(true);
    server->waker.Wake();
    if (server->thread.joinable()) {
        server->thread.join();
    }
    delete server;
}

PageServerHandle StartPageServer(int port, const PageServerLimits& limits) {
    PageServerHandle server(new PageServer);
    server->limits = limits;
    server->listener = Net::ListenOnLoopback(port, ListenBacklog);
    if (!server->listener.IsOpen()) {
        return nullptr;
    }
    // Without it the server still stops and follows saves, at its longest wait.
    server->waker.Open();
    server->port = Net::LocalPort(server->listener);
    return server;
}

// The server's thread takes no signal: Ctrl-C reaches the thread that
// watches the file, which stops it.
void AcceptPages(PageServer& server) {
#if defined(_WIN32)
    server.thread = std::thread([&server] { server.Run(); });
#else
    sigset_t all;
    sigset_t previous;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &previous);
    server.thread = std::thread([&server] { server.Run(); });
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
#endif
}

int ServerPort(const PageServer& server) { return server.port; }

}  // namespace Herald
