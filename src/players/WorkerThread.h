#pragma once
// Stopping a worker thread from the library's detach entry. On Windows that
// entry runs under the loader lock, which a thread needs to exit: joining
// there would wait forever, and a thread let go runs code of this library
// after the library is gone. The worker instead says it is done and parks in
// one call of the system's, which it never leaves, and the system ends it
// with the process.

#include <cstdint>

#if defined(_WIN32)
inline constexpr bool WorkerThreadsJoin = false;
#else
inline constexpr bool WorkerThreadsJoin = true;
#endif

class WorkerEnd {
public:
    WorkerEnd();
    ~WorkerEnd();
    WorkerEnd(const WorkerEnd&) = delete;
    WorkerEnd& operator=(const WorkerEnd&) = delete;

    // The worker's last call: where workers are not joined, it says the
    // worker is done and never returns; elsewhere it returns at once.
    void Finish();
    // Where workers are not joined, waits until the worker called Finish.
    void AwaitFinish();

private:
#if defined(_WIN32)
    std::uintptr_t done_ = 0;   // set by Finish
    std::uintptr_t never_ = 0;  // what the parked worker waits for
#endif
};

// Said by the detach entry when the process ends rather than the library
// being unloaded: Windows has then ended every other thread already, so
// nothing is waited for.
void MarkProcessEnding();
bool ProcessEnding();
