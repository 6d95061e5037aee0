// Each connection of the page server, one turn at a time and never blocking:
// its request read and routed, its response or its stream's next event
// written, and its deadlines kept.

#include <algorithm>
#include <utility>

#include "serve/PageServerState.h"

namespace Herald {

namespace {

// Per connection and turn: a turn stays short whatever one client does.
constexpr std::size_t ReadSize = 16 * 1024;
constexpr std::size_t WriteSize = 1024 * 1024;
// A stream's client sends nothing after its request; one that goes on is dropped.
constexpr std::size_t StreamInputAllowance = 4 * 1024;
// After a response herald reads for a while what the client still sends,
// so that closing with it unread does not reset the connection and take the
// response with it; a client that sends more is cut off.
constexpr auto Linger = std::chrono::milliseconds(1000);
constexpr std::size_t LingerBytes = 64 * 1024;

void BeginWrite(PageServer::Connection& connection, SharedText text, ServerClock::time_point now,
                const PageServerLimits& limits) {
    connection.out = std::move(text);
    connection.offset = 0;
    connection.stall = now + limits.stall;
    if (connection.phase != PageServer::Connection::Phase::Stream) {
        connection.phase = PageServer::Connection::Phase::Writing;
        connection.deadline = now + limits.response;
    }
}

void RefuseWith(PageServer::Connection& connection, int status, ServerClock::time_point now,
                const PageServerLimits& limits) {
    connection.stream = false;
    BeginWrite(connection, ShortResponse(status), now, limits);
}

}  // namespace

std::size_t PageServer::Streams() const {
    return static_cast<std::size_t>(std::count_if(connections.begin(), connections.end(),
                                                  [](const auto& connection) { return connection->stream; }));
}

// Only a request that names this server as the browser reached it: a page
// elsewhere that rebinds its own name to 127.0.0.1 can't read the preview.
void PageServer::Route(Connection& connection, const HttpRequest& request, ServerClock::time_point now) {
    const std::string* host = request.Header("host");
    const std::string suffix = ":" + std::to_string(port);
    if (host == nullptr || (*host != "127.0.0.1" + suffix && *host != "localhost" + suffix)) {
        RefuseWith(connection, 404, now, limits);
    } else if (request.path == "/" && current.page) {
        BeginWrite(connection, current.page, now, limits);
    } else if (request.path == "/") {
        RefuseWith(connection, 503, now, limits);
    } else if (request.path != "/events") {
        RefuseWith(connection, 404, now, limits);
    } else if (Streams() >= limits.streams) {
        // Refused at once: a page kept waiting would look alive and follow nothing.
        RefuseWith(connection, 503, now, limits);
    } else {
        // The page says which version it shows, so one it has not seen comes at once.
        connection.stream = true;
        connection.version = QueryValue(request.query, "since");
        BeginWrite(connection, std::make_shared<const std::string>(StreamHead), now, limits);
    }
}

void PageServer::Read(Connection& connection, ServerClock::time_point now) {
    char buffer[ReadSize];
    const std::ptrdiff_t count = Net::Receive(connection.socket, buffer, sizeof buffer);
    if (count == Net::WouldBlock) {
        return;
    }
    if (count <= 0) {
        connection.done = true;  // closed, or reset: nothing more to say to it
        return;
    }
    connection.received += static_cast<std::size_t>(count);
    switch (connection.phase) {
        case Connection::Phase::Head: {
            const HeadVerdict& verdict =
                connection.head.Feed(std::string_view(buffer, static_cast<std::size_t>(count)));
            if (verdict.state != HeadVerdict::State::Incomplete) {
                connection.received = 0;  // from here on, what comes after the head
            }
            if (verdict.state == HeadVerdict::State::Refused) {
                RefuseWith(connection, verdict.status, now, limits);
            } else if (verdict.state == HeadVerdict::State::Complete) {
                Route(connection, verdict.request, now);
            }
            break;
        }
        case Connection::Phase::Stream:
            connection.done = connection.received > StreamInputAllowance;
            break;
        case Connection::Phase::Lingering:
            connection.done = connection.received > LingerBytes;
            break;
        case Connection::Phase::Writing:
            break;
    }
}

void PageServer::Write(Connection& connection, ServerClock::time_point now) {
    const std::string& text = *connection.out;
    const std::size_t size = std::min(text.size() - connection.offset, WriteSize);
    const std::ptrdiff_t count = Net::Send(connection.socket, text.data() + connection.offset, size);
    if (count == Net::WouldBlock) {
        return;
    }
    if (count < 0) {
        connection.done = true;
        return;
    }
    connection.offset += static_cast<std::size_t>(count);
    connection.stall = now + limits.stall;
    if (connection.offset < text.size()) {
        return;
    }
    connection.out.reset();
    connection.lastWrite = now;
    if (connection.stream) {
        connection.phase = Connection::Phase::Stream;
    } else if (connection.phase == Connection::Phase::Writing) {
        Net::ShutdownWrite(connection.socket);
        connection.phase = Connection::Phase::Lingering;
        connection.received = 0;
        connection.deadline = now + Linger;
    }
}

// An event is made when the last one is written, from the latest state: a
// page that reads slowly is told the latest news, never a backlog of it.
void PageServer::NextEvent(Connection& connection, ServerClock::time_point now) const {
    std::string event;
    if (connection.version != current.version) {
        connection.version = current.version;
        event = "event: page\nid: " + current.version + "\ndata: " + current.version + "\n\n";
    } else if (connection.saves != current.saves && current.saves != current.previewed) {
        event = "event: save\ndata:\n\n";
    } else if (now - connection.lastWrite >= limits.keepAlive) {
        event = ":\n\n";
    }
    connection.saves = current.saves;
    if (!event.empty()) {
        BeginWrite(connection, std::make_shared<const std::string>(std::move(event)), now, limits);
    }
}

void PageServer::CheckDeadlines(Connection& connection, ServerClock::time_point now) {
    switch (connection.phase) {
        case Connection::Phase::Head:
            if (now >= connection.deadline) {
                // A connection opened ahead of need and never used is closed
                // quietly; one that began a request is told why.
                if (connection.received == 0) {
                    connection.done = true;
                } else {
                    RefuseWith(connection, 408, now, limits);
                }
            }
            break;
        case Connection::Phase::Writing:
            connection.done = now >= connection.deadline || now >= connection.stall;
            break;
        case Connection::Phase::Stream:
            connection.done = connection.out && now >= connection.stall;
            break;
        case Connection::Phase::Lingering:
            connection.done = now >= connection.deadline;
            break;
    }
}

}  // namespace Herald
