#pragma once
// The players' store on a thread of its own, so that the game never waits on
// a disk or another server's lock. The game thread hands changes over and
// collects what the worker did; every read and write happens on the worker.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "players/ChoiceStore.h"
#include "players/PlayerChoices.h"
#include "players/WorkerThread.h"

// A change as handed over, numbered by the game thread in the order made.
struct NumberedChange {
    std::uint64_t number = 0;
    RowChange change;
};

// What the worker did since the game thread last collected.
struct StoreNews {
    // What was read after the changes through readThrough were committed
    // (the later ones are not in it): the whole store, or the players changed
    // since the read before, or nothing new.
    std::unique_ptr<PlayerChoices> whole;
    ChangedPlayers changed;
    bool read = false;
    std::uint64_t readThrough = 0;
    // Every change numbered up to this one is committed.
    std::uint64_t savedThrough = 0;
    // Why the last read or save failed; none once one succeeded after it.
    std::optional<std::string> readFailure;
    std::optional<std::string> saveFailure;
    // How often the file was found deleted or replaced while in use.
    std::uint64_t replacements = 0;
};

// The news of one read: its failure, or what it read.
StoreNews NewsOfRead(ChoiceStore::Rows rows, std::uint64_t readThrough);
// Brings news the game thread has not collected yet up to a later read, at a
// cost that grows with what that read found changed.
void LayOver(StoreNews& pending, StoreNews read);

// How long the first read at load may keep the server's start waiting.
inline constexpr std::chrono::milliseconds FirstReadBound{5000};

class StoreWorker {
public:
    // The first read of the whole store is made here, before the constructor
    // returns, when readHere (at load, while the server starts and no player
    // waits), else as the thread's first work. The thread starts at the first
    // Hand or Nudge, outside the library's entry: one started under the
    // loader lock would run only once the entry returns, and one the
    // library's unload found not yet running would start in a library gone.
    StoreWorker(std::unique_ptr<ChoiceStore> store, bool readHere);
    ~StoreWorker();
    StoreWorker(const StoreWorker&) = delete;
    StoreWorker& operator=(const StoreWorker&) = delete;

    // Merged into what waits: a change makes a waiting one of its player moot
    // when it touches every group that one did, so that a thousand toggles
    // make a handful of commits.
    void Hand(NumberedChange change);
    StoreNews Collect();
    // Once a second: look for other servers' changes, and try again what
    // failed.
    void Nudge();
    // A read the game thread no longer needs is freed here, not on the game
    // thread: a million players take a while to free.
    void Dispose(std::unique_ptr<PlayerChoices> choices);

    // Gives the worker at most budget to commit what waits, stops it, and
    // gives back what it left uncommitted, oldest first.
    std::vector<NumberedChange> Stop(std::chrono::milliseconds budget);

private:
    void Start();
    void Run();
    void Work();
    void Publish(ChoiceStore::Rows rows, std::uint64_t readThrough);

    std::unique_ptr<ChoiceStore> store_;  // the worker's alone once it runs
    bool readHere_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable started_;
    // Guarded by mutex_:
    std::vector<NumberedChange> queue_;
    StoreNews news_;
    bool running_ = false;
    bool nudged_ = false;
    bool retryAfterFailure_ = false;  // a failed save waits for the next nudge
    std::optional<std::chrono::steady_clock::time_point> stopBy_;
    std::vector<std::unique_ptr<PlayerChoices>> disposed_;
    WorkerEnd end_;
    std::thread thread_;  // last: started once everything above is made
};
