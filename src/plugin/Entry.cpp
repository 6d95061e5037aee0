// The library's process-attach and process-detach entry.

#include "players/WorkerThread.h"
#include "plugin/Plugin.h"

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <exception>

namespace {

// Whether PluginLoad completed. A refused library still gets its
// process-detach call from the loader, and must not then withdraw
// registrations it never made.
bool Attached = false;

}  // namespace

// A C++ exception must not leave DllMain: the Windows loader does not handle
// one (the library would stay attached; under Wine the load hangs). PluginLoad
// has logged the error by then; FALSE refuses the library and the loader
// unloads it.
BOOL APIENTRY DllMain(HMODULE /*module*/, DWORD reason, LPVOID reserved) {
    try {
        if (reason == DLL_PROCESS_ATTACH) {
            PluginLoad();
            Attached = true;
        } else if (reason == DLL_PROCESS_DETACH && Attached) {
            Attached = false;
            if (reserved != nullptr) {  // the process ends
                MarkProcessEnding();
            }
            PluginUnload();
        }
    } catch (...) {
        return FALSE;
    }
    return TRUE;
}

#else

// Linux has no process-attach entry; the host's loader calls this one with
// the same reason codes (1 attach, 0 detach, 2 and 3 thread notices). An error
// from PluginLoad leaves it and reaches the loader, which refuses the plugin.
extern "C" __attribute__((visibility("default"))) int DllMain(void* /*module*/, unsigned long reason,
                                                              void* /*reserved*/) {
    if (reason == 1) {
        PluginLoad();
    } else if (reason == 0) {
        PluginUnload();
    }
    return 1;
}

#endif
