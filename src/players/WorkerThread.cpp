#include "players/WorkerThread.h"

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

void ParkWorker() {
    for (;;) {
        Sleep(INFINITE);
    }
}

#else

void ParkWorker() {}

#endif
