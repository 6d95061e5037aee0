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

void ParkedThread::End() {
    if (handle_ != 0) {
        const HANDLE handle = reinterpret_cast<HANDLE>(handle_);
        // It waits where it parked, holding nothing; being ended, it sends
        // no notices that would need the loader lock.
        TerminateThread(handle, 0);
        WaitForSingleObject(handle, 1000);
        CloseHandle(handle);
        handle_ = 0;
    }
}

#else

void ParkedThread::KnowCurrent() {}
void ParkedThread::Park() {}
void ParkedThread::End() {}

#endif
