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

#include "serve/HttpRequest.h"
#include "serve/Socket.h"

namespace Herald {

namespace {

using ServerClock = std::chrono::steady_clock;
using SharedText = std::shared_ptr<const std::string>;

// Connections the system holds for herald until it takes them: a page and
// its stream come together, and a page opened in many tabs at once.
constexpr int ListenBacklog = 128;
// The longest the server waits without looking at its deadlines and the stop
// flag; a publication or a stop wakes it at once anyway.
constexpr int LongestWaitMs = 100;
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
// Accepted in one turn at most, so that a flood of connections can't stall the others.
constexpr int AcceptsPerTurn = 64;

// Keeps an open page showing the latest preview: told a new version, it
// fetches the page once and swaps its body in place, keeping the scroll
// position; it says so while a save is being previewed and when herald is
// gone. Events carry no page, so a big page is sent once per open page and
// made once per save, whatever number of pages follow it.
constexpr const char* LiveScript = R"(<style>
#herald-live { position: fixed; top: 0; left: 0; right: 0; z-index: 10; margin: 0; padding: 6px 40px;
  background: #3b3010; color: #f6c453; font-weight: 600; }
</style><script>
(() => {
  const versionOf = (page) => {
    const meta = page.querySelector('meta[name="herald-version"]');
    return meta ? meta.content : '';
  };
  let version = versionOf(document);
  let wanted = version;
  let fetching = false;
  const notice = (text) => {
    let bar = document.getElementById('herald-live');
    if (!text) { if (bar) bar.remove(); return; }
    if (!bar) { bar = document.createElement('p'); bar.id = 'herald-live'; document.body.prepend(bar); }
    bar.textContent = text;
  };
  const silent = () => notice('herald is not answering: this page shows the last preview it sent, ' +
                              'which may not be the file as saved now.');
  // One fetch at a time; versions announced meanwhile are fetched once after it.
  const follow = async () => {
    fetching = true;
    try {
      while (wanted !== version) {
        const asked = wanted;
        const response = await fetch('/', { cache: 'no-store' });
        if (!response.ok) throw new Error('status ' + response.status);
        const fresh = new DOMParser().parseFromString(await response.text(), 'text/html');
        version = versionOf(fresh);
        if (wanted === asked) wanted = version;
        const x = window.scrollX, y = window.scrollY;
        document.title = fresh.title;
        document.body.replaceWith(fresh.body);
        window.scrollTo(x, y);
      }
      notice('');
    } catch (error) {
      silent();
    }
    fetching = false;
  };
  const events = new EventSource('/events?since=' + encodeURIComponent(version));
  events.addEventListener('page', (event) => {
    wanted = event.lastEventId;
    if (wanted === version) notice('');
    else if (!fetching) follow();
  });
  events.addEventListener('save', () => notice('The file was saved: previewing it again...'));
  events.onopen = () => { if (!fetching) notice(''); };
  events.onerror = silent;
})();
</script>
)";

// The page does fetch, but only from this server.
constexpr const char* PagePolicy =
    "default-src 'none'; style-src 'unsafe-inline'; script-src 'unsafe-inline'; connect-src 'self'";

// The whole response to "GET /": the page --html writes, with the version it
// is and the script that follows it, made once for every client.
std::string PageResponse(const std::string& html, const std::string& version) {
    const std::string head = "<meta name=\"herald-version\" content=\"" + version + "\">" + LiveScript;
    const std::size_t at = html.find("</head>");
    const std::size_t bodySize = html.size() + (at == std::string::npos ? 0 : head.size());
    std::string response = std::string("HTTP/1.1 200 OK\r\n") +
                           "Content-Type: text/html; charset=utf-8\r\n"
                           "Content-Length: " +
                           std::to_string(bodySize) +
                           "\r\n"
                           "Cache-Control: no-store\r\n"
                           "Content-Security-Policy: " +
                           PagePolicy +
                           "\r\n"
                           "Connection: close\r\n\r\n";
    response.reserve(response.size() + bodySize);
    if (at == std::string::npos) {
        response += html;
    } else {
        response.append(html, 0, at).append(head).append(html, at);
    }
    return response;
}

// A refusal, or an answer of nothing to see; the connection closes after it.
SharedText ShortResponse(int status) {
    const std::string text = std::to_string(status) + " " + StatusText(status) + "\n";
    return std::make_shared<const std::string>("HTTP/1.1 " + std::to_string(status) + " " + StatusText(status) +
                                               "\r\n"
                                               "Content-Type: text/plain; charset=utf-8\r\n"
                                               "Content-Length: " +
                                               std::to_string(text.size()) +
                                               "\r\n"
                                               "Cache-Control: no-store\r\n" +
                                               (status == 405 ? "Allow: GET\r\n" : "") + "Connection: close\r\n\r\n" +
                                               text);
}

// The stream's response has no length: it ends when the connection does.
constexpr const char* StreamHead =
    "HTTP/1.1 200 OK\r\n"
    "Content-Type: text/event-stream\r\n"
    "Cache-Control: no-store\r\n"
    "Connection: close\r\n\r\n";

}  // namespace

struct PageServer {
    // What every open page is told, as of the last publication.
    struct Published {
        SharedText page;  // the whole response to "GET /"
        std::string version;
        std::uint64_t saves = 0;  // saves seen; more than previewed while a preview is due
        std::uint64_t previewed = 0;
    };

    struct Connection {
        enum class Phase {
            Head,       // reading the request's head
            Writing,    // a response, then the connection closes or it becomes a stream
            Stream,     // following the page; writing an event when out is set
            Lingering,  // the response written and the writing side shut: reading what is left
        };
        Net::Socket socket;
        Phase phase = Phase::Head;
        RequestHeadReader head;
        std::size_t received = 0;
        ServerClock::time_point deadline;  // Head: the whole head; Writing: the whole response; Lingering: the end
        ServerClock::time_point stall;     // for the write on its way to make progress
        SharedText out;                    // being written, from offset
        std::size_t offset = 0;
        bool stream = false;  // becomes a stream once out is written
        std::string version;  // Stream: the version the page shows
        std::uint64_t saves = 0;
        ServerClock::time_point lastWrite;
        bool done = false;
    };

    Net::Socket listener;
    Net::Waker waker;
    PageServerLimits limits;
    int port = 0;
    std::atomic<bool> stopping{false};
    std::thread thread;

    std::mutex mutex;
    Published published;           // guarded by mutex
    std::uint64_t generation = 0;  // guarded by mutex: counts publications

    std::vector<std::unique_ptr<Connection>> connections;  // the server thread's own
    Published current;                                     // its copy of published

    void Run();
    void AcceptWaiting(ServerClock::time_point now);
    void Route(Connection& connection, const HttpRequest& request, ServerClock::time_point now);
    void Read(Connection& connection, ServerClock::time_point now);
    void Write(Connection& connection, ServerClock::time_point now);
    void NextEvent(Connection& connection, ServerClock::time_point now) const;
    void CheckDeadlines(Connection& connection, ServerClock::time_point now);
    std::size_t Streams() const;
};

namespace {

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
