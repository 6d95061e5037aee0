#pragma once
// The served preview: the page at "/" and its update stream at "/events", on
// the loopback address only. The watcher publishes; every open page follows.

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace Herald {

// What every open page is told, shared by the watcher and the connections.
struct LivePage {
    std::mutex mutex;
    std::condition_variable changed;
    std::string html;     // the page as --html writes it
    std::string version;  // of html: unique to this process, so a page kept open across a restart is refreshed
    std::uint64_t saves = 0;  // saves seen; more than previewed while a preview is due
    std::uint64_t previewed = 0;
    bool stopping = false;
};

// A new page, the preview of the file as of the given count of saves: every
// open page replaces its body with it.
void PublishPage(LivePage& live, std::string html, std::uint64_t saves);
// A save was seen and its preview is on its way: open pages say so meanwhile.
// Returns the count of saves so far.
std::uint64_t PublishSave(LivePage& live);

struct PageServer;
struct StopPageServer {
    void operator()(PageServer* server) const;  // ends every stream, stops listening, joins
};
using PageServerHandle = std::unique_ptr<PageServer, StopPageServer>;

// Binds 127.0.0.1:port (0: a free port); null when the port can't be had.
PageServerHandle StartPageServer(LivePage& live, int port);
// Answers in threads of its own from now on: once the first page is published,
// so that no one is served a page before there is one. Until then a browser's
// connection waits.
void AcceptPages(PageServer& server);
int ServerPort(const PageServer& server);

}  // namespace Herald
