#include "players/WorkerThread.h"

#include <atomic>

namespace {
std::atomic<bool> Ending{false};
}  // namespace

void MarkProcessEnding() { Ending = true; }
bool ProcessEnding() { return Ending; }

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

WorkerEnd::WorkerEnd()
    : done_(reinterpret_cast<std::uintptr_t>(CreateEventW(nullptr, TRUE, FALSE, nullptr))),
      never_(reinterpret_cast<std::uintptr_t>(CreateEventW(nullptr, TRUE, FALSE, nullptr))) {}

// never_ stays open: a parked worker waits on it for as long as the process
// lives.
WorkerEnd::~WorkerEnd() { CloseHandle(reinterpret_cast<HANDLE>(done_)); }

void WorkerEnd::Finish() {
    // Signalled and parked in one call: once done_ is seen, the worker runs
    // no more code of this library.
    SignalObjectAndWait(reinterpret_cast<HANDLE>(done_), reinterpret_cast<HANDLE>(never_), INFINITE, FALSE);
    for (;;) {
        Sleep(INFINITE);
    }
}

void WorkerEnd::AwaitFinish() {
    // In steps: an endless wait under the loader lock is never woken (seen
    // under Wine).
    while (WaitForSingleObject(reinterpret_cast<HANDLE>(done_), 100) == WAIT_TIMEOUT) {
    }
}

#else

WorkerEnd::WorkerEnd() = default;
WorkerEnd::~WorkerEnd() = default;
void WorkerEnd::Finish() {}
void WorkerEnd::AwaitFinish() {}

#endif
