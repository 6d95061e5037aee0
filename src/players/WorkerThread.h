#pragma once
// Stopping a worker thread from the library's detach entry. On Windows that
// entry runs under the loader lock, which a thread needs to exit: joining
// there would wait forever, and a thread ended from outside may still run
// code of this library on its way out, after the library is gone. The worker
// instead parks once its work is done, holding nothing, where it waits until
// the system ends it with the process.

#if defined(_WIN32)
inline constexpr bool WorkerThreadsJoin = false;
#else
inline constexpr bool WorkerThreadsJoin = true;
#endif

// Called by a worker once its work is done: never returns where workers are
// not joined, returns at once where they are.
void ParkWorker();
