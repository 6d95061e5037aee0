#pragma once
// The page server's state, shared by its loop (PageServer.cpp) and its
// handling of each connection (PageConnections.cpp).

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "serve/HttpRequest.h"
#include "serve/PageResponses.h"
#include "serve/PageServer.h"
#include "serve/Socket.h"

namespace Herald {

using ServerClock = std::chrono::steady_clock;

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

}  // namespace Herald
