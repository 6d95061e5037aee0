#include "players/WorkerThread.h"

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

void ParkedThread::KnowCurrent() {
    HANDLE handle = nullptr;
    if (DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &handle, 0, FALSE,
                        DUPLICATE_SAME_ACCESS)) {
        handle_ = reinterpret_cast<std::uintptr_t>(handle);
    }
}

void ParkedThread::Park() {
    for (;;) {
        Sleep(INFINITE);
    }
}

// A thread ended from outside may still run code of this library on its way
// out, after the library is gone: the parked thread is left where it waits,
// which it never leaves, and the system ends it with the process.
void ParkedThread::End() {
    if (handle_ != 0) {
        CloseHandle(reinterpret_cast<HANDLE>(handle_));
        handle_ = 0;
    }
}

#else

void ParkedThread::KnowCurrent() {}
void ParkedThread::Park() {}
void ParkedThread::End() {}

#endif
