// The one translation unit that includes cpp-httplib: its header is heavy,
// and on Windows it brings in <windows.h> and its macros.
#include "serve/PageServer.h"

#include <httplib.h>

#include <chrono>
#include <csignal>
#include <thread>

#if !defined(_WIN32)
#include <pthread.h>
#endif

namespace Herald {

struct PageServer {
    httplib::Server http;
    std::thread listener;
    LivePage* live = nullptr;
    int port = 0;
};

namespace {

// Server-sent events, and each event carries the whole new page: the page
// swaps its body for the new one in place, with no second request to race a
// further save, and herald serves one page and one stream, nothing else.
// An open page that hears nothing for this long is sent a comment, so that a
// closed tab is noticed and its connection freed.
constexpr auto KeepAlive = std::chrono::seconds(15);

// Replaces the body of an open page with each new one, keeping its scroll
// position; says so while a save is being previewed and when herald is gone.
constexpr const char* LiveScript = R"(<style>
#herald-live { position: fixed; top: 0; left: 0; right: 0; z-index: 10; margin: 0; padding: 6px 40px;
  background: #3b3010; color: #f6c453; font-weight: 600; }
</style><script>
(() => {
  let version = document.querySelector('meta[name="herald-version"]').content;
  const notice = (text) => {
    let bar = document.getElementById('herald-live');
    if (!text) { if (bar) bar.remove(); return; }
    if (!bar) { bar = document.createElement('p'); bar.id = 'herald-live'; document.body.prepend(bar); }
    bar.textContent = text;
  };
  const events = new EventSource('/events?since=' + encodeURIComponent(version));
  events.addEventListener('page', (event) => {
    if (event.lastEventId !== version) {
      version = event.lastEventId;
      const fresh = new DOMParser().parseFromString(event.data, 'text/html');
      const x = window.scrollX, y = window.scrollY;
      document.title = fresh.title;
      document.body.replaceWith(fresh.body);
      window.scrollTo(x, y);
    }
    notice('');
  });
  events.addEventListener('save', () => notice('The file was saved: previewing it again...'));
  events.onerror = () => notice('herald is not answering: this page shows the last preview it sent, ' +
                                'which may not be the file as saved now.');
})();
</script>
)";

// What "/" serves: the page --html writes, with the script that follows it.
std::string ServedHtml(const std::string& html, const std::string& version) {
    const std::string head = "<meta name=\"herald-version\" content=\"" + version + "\">" + LiveScript;
    const std::size_t at = html.find("</head>");
    return at == std::string::npos ? html : html.substr(0, at) + head + html.substr(at);
}

// One event; the page's lines each as a data line (a CR would end one too).
std::string PageEvent(const std::string& html, const std::string& version) {
    std::string event = "event: page\nid: " + version + "\n";
    std::size_t start = 0;
    while (start <= html.size()) {
        std::size_t end = html.find_first_of("\r\n", start);
        if (end == std::string::npos) {
            end = html.size();
        }
        event += "data: " + html.substr(start, end - start) + "\n";
        start = end + 1;
    }
    return event + "\n";
}

// Only a request that names this server as the browser reached it: a page
// elsewhere that rebinds its own name to 127.0.0.1 can't read the preview.
bool AddressedHere(const httplib::Request& request, int port) {
    const std::string host = request.get_header_value("Host");
    const std::string suffix = ":" + std::to_string(port);
    return host == "127.0.0.1" + suffix || host == "localhost" + suffix;
}

// Streams events to one open page until it closes or herald stops; the page
// says which version it shows, so one it has not seen comes at once.
void StreamEvents(LivePage& live, const httplib::Request& request, httplib::Response& response) {
    response.set_header("Cache-Control", "no-store");
    const std::string since = request.get_param_value("since");
    response.set_chunked_content_provider(
        "text/event-stream",
        [&live, version = since, saves = std::uint64_t{0}](std::size_t, httplib::DataSink& sink) mutable {
            std::unique_lock lock(live.mutex);
            const auto news = [&] { return live.stopping || live.version != version || live.saves != saves; };
            live.changed.wait_for(lock, KeepAlive, news);
            if (live.stopping) {
                return false;
            }
            std::string event;
            if (live.version != version) {
                version = live.version;
                event = PageEvent(live.html, version);
            } else if (live.saves != saves && live.saves != live.previewed) {
                event = "event: save\ndata:\n\n";
            } else {
                event = ":\n\n";
            }
            saves = live.saves;
            lock.unlock();
            return sink.write(event.data(), event.size());
        });
}

void Route(PageServer& server) {
    LivePage& live = *server.live;
    server.http.set_pre_routing_handler([&server](const httplib::Request& request, httplib::Response& response) {
        if (AddressedHere(request, server.port)) {
            return httplib::Server::HandlerResponse::Unhandled;
        }
        response.status = 404;
        return httplib::Server::HandlerResponse::Handled;
    });
    server.http.Get("/", [&live](const httplib::Request&, httplib::Response& response) {
        std::string html;
        {
            const std::lock_guard lock(live.mutex);
            html = ServedHtml(live.html, live.version);
        }
        response.set_header("Cache-Control", "no-store");
        // The page fetches nothing; its script talks to this server alone.
        response.set_header("Content-Security-Policy",
                            "default-src 'none'; style-src 'unsafe-inline'; script-src 'unsafe-inline'; "
                            "connect-src 'self'");
        response.set_content(html, "text/html; charset=utf-8");
    });
    server.http.Get("/events", [&live](const httplib::Request& request, httplib::Response& response) {
        StreamEvents(live, request, response);
    });
}

}  // namespace

void PublishPage(LivePage& live, std::string html, std::uint64_t saves) {
    {
        const std::lock_guard lock(live.mutex);
        static std::uint64_t published = 0;
        static const auto started = std::chrono::steady_clock::now().time_since_epoch().count();
        live.html = std::move(html);
        live.version = std::to_string(started) + "-" + std::to_string(++published);
        live.previewed = saves;
    }
    live.changed.notify_all();
}

std::uint64_t PublishSave(LivePage& live) {
    std::uint64_t saves = 0;
    {
        const std::lock_guard lock(live.mutex);
        saves = ++live.saves;
    }
    live.changed.notify_all();
    return saves;
}

void StopPageServer::operator()(PageServer* server) const {
    {
        const std::lock_guard lock(server->live->mutex);
        server->live->stopping = true;
    }
    server->live->changed.notify_all();
    server->http.stop();
    if (server->listener.joinable()) {
        server->listener.join();
    }
    delete server;
}

PageServerHandle StartPageServer(LivePage& live, int port) {
    PageServerHandle server(new PageServer);
    server->live = &live;
    Route(*server);
    if (port == 0) {
        server->port = server->http.bind_to_any_port("127.0.0.1");
    } else {
        server->port = server->http.bind_to_port("127.0.0.1", port) ? port : -1;
    }
    if (server->port <= 0) {
        return nullptr;
    }
    return server;
}

// The connections' threads take no signal: Ctrl-C reaches the thread that
// watches the file, which stops them in order.
void AcceptPages(PageServer& server) {
#if defined(_WIN32)
    server.listener = std::thread([&server] { server.http.listen_after_bind(); });
#else
    sigset_t all;
    sigset_t previous;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &previous);
    server.listener = std::thread([&server] { server.http.listen_after_bind(); });
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
#endif
}

int ServerPort(const PageServer& server) { return server.port; }

}  // namespace Herald
