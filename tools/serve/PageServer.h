#pragma once
// The served preview: the page at "/" and its update stream at "/events", on
// the loopback address only. The watcher publishes; every open page follows.
//
// One thread serves every connection, none of them blocking it, each held to
// bounds of time and size, so that no client -- a browser left open, or
// anything else on the machine that connects -- can hold herald up or make it
// grow, and a stop ends it within a poll's wait.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace Herald {

struct PageServerLimits {
    std::size_t streams = 32;               // open pages followed at once; one more is answered 503
    std::size_t connections = 96;           // streams, and requests and responses on their way; beyond, 503 and closed
    std::chrono::milliseconds head{2000};   // for a request's whole head to arrive, however it trickles
    std::chrono::milliseconds stall{5000};  // for a response, or an event, to make any progress
    std::chrono::milliseconds response{60000};   // for a page to be written whole
    std::chrono::milliseconds keepAlive{15000};  // a quiet stream is sent a comment, so a closed tab is noticed
};

struct PageServer;
struct StopPageServer {
    void operator()(PageServer* server) const;  // closes every connection and the port, joins
};
using PageServerHandle = std::unique_ptr<PageServer, StopPageServer>;

// Binds 127.0.0.1:port (0: a free port), alone; null when the port can't be had.
PageServerHandle StartPageServer(int port, const PageServerLimits& limits = {});

// A new page, the preview of the file as of the given count of saves: every
// open page is told its version and fetches it. Made into one response here,
// once, which every connection that asks for it shares.
void PublishPage(PageServer& server, std::string html, std::uint64_t saves);
// A save was seen and its preview is on its way: open pages say so meanwhile.
// Returns the count of saves so far.
std::uint64_t PublishSave(PageServer& server);

// Answers from now on, in a thread of its own that takes no signal: once the
// first page is published, so that no one is served a page before there is
// one. Until then a browser's connection waits in the listener's backlog.
void AcceptPages(PageServer& server);
int ServerPort(const PageServer& server);

}  // namespace Herald
