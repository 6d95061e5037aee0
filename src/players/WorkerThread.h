#pragma once
// Ending a worker thread from the library's detach entry. On Windows that
// entry runs under the loader lock, which a thread needs to exit: joining
// there would wait forever. The worker instead parks once its work is done,
// holding nothing, and the entry ends it where it waits.

#include <cstdint>

class ParkedThread {
public:
    // Called by the worker itself, before any work.
    void KnowCurrent();
    // Called by the worker once its work is done: never returns on Windows,
    // returns at once elsewhere, where the thread is joined.
    void Park();
    // Ends the parked thread (Windows); nothing elsewhere.
    void End();

private:
    std::uintptr_t handle_ = 0;
};

// Whether a stopped worker is joined (everywhere but Windows) or parked and
// ended.
#if defined(_WIN32)
inline constexpr bool WorkerThreadsJoin = false;
#else
inline constexpr bool WorkerThreadsJoin = true;
#endif
