// Loading a plugin library the way the framework does: the library's own
// process-attach entry runs PluginLoad; an error leaving it refuses the plugin.

#include <exception>
#include <optional>

#include "HostState.h"

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace StandIn {

namespace {

constexpr unsigned long ProcessDetach = 0;
constexpr unsigned long ProcessAttach = 1;

#if defined(_WIN32)
using Library = HMODULE;
#else
using Library = void*;
using EntryFunction = int(void*, unsigned long, void*);
#endif

Library& LoadedLibrary() {
    static Library library = nullptr;
    return library;
}

void CloseLibrary(Library library) {
#if defined(_WIN32)
    FreeLibrary(library);
#else
    dlclose(library);
#endif
}

}  // namespace

#if defined(_WIN32)

namespace {

// A refusing DllMain can only return FALSE; the error that made it refuse is
// the last error line it logged while loading.
std::string RefusalReason(std::size_t recordsBefore) {
    const std::vector<Record>& records = Records();
    for (std::size_t i = records.size(); i > recordsBefore; --i) {
        const Record& record = records[i - 1];
        if (record.kind == RecordKind::Log && record.level == "error") {
            return record.text;
        }
    }
    return "the plugin refused to load";
}

}  // namespace

// Windows runs DllMain itself, inside LoadLibrary and FreeLibrary. A plugin
// that refuses to load returns FALSE, and the system unloads it again.
LoadResult LoadPlugin(const std::string& path) {
    if (LoadedLibrary() != nullptr) {
        return {false, "a plugin is already loaded"};
    }
    const std::size_t recordsBefore = Records().size();
    Library library = LoadLibraryA(path.c_str());
    if (library == nullptr) {
        const DWORD code = GetLastError();
        if (code == ERROR_DLL_INIT_FAILED) {
            return {false, RefusalReason(recordsBefore)};
        }
        return {false, "can't load " + path + " (error " + std::to_string(code) + ")"};
    }
    LoadedLibrary() = library;
    return {true, {}};
}

int CallPluginEntry(unsigned long /*reason*/) { return LoadedLibrary() != nullptr ? 1 : 0; }

void UnloadPlugin() {
    if (LoadedLibrary() != nullptr) {
        CloseLibrary(LoadedLibrary());
        LoadedLibrary() = nullptr;
    }
}

#else

namespace {

EntryFunction* Entry(Library library) { return reinterpret_cast<EntryFunction*>(dlsym(library, "DllMain")); }

}  // namespace

LoadResult LoadPlugin(const std::string& path) {
    if (LoadedLibrary() != nullptr) {
        return {false, "a plugin is already loaded"};
    }
    Library library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* reason = dlerror();
        return {false, reason != nullptr ? reason : "can't load " + path};
    }
    EntryFunction* entry = Entry(library);
    if (entry == nullptr) {
        CloseLibrary(library);
        return {false, path + " has no DllMain entry"};
    }
    std::optional<std::string> refusal;
    try {
        entry(library, ProcessAttach, nullptr);
    } catch (const std::exception& error) {
        refusal = error.what();
    } catch (...) {
        refusal = "the plugin refused to load";
    }
    // Only now: the error object may belong to the library, and it is gone
    // once its catch block has ended.
    if (refusal) {
        CloseLibrary(library);
        return {false, std::move(*refusal)};
    }
    LoadedLibrary() = library;
    return {true, {}};
}

int CallPluginEntry(unsigned long reason) {
    return LoadedLibrary() != nullptr ? Entry(LoadedLibrary())(LoadedLibrary(), reason, nullptr) : 0;
}

void UnloadPlugin() {
    Library library = LoadedLibrary();
    if (library == nullptr) {
        return;
    }
    LoadedLibrary() = nullptr;
    Entry(library)(library, ProcessDetach, nullptr);
    CloseLibrary(library);
}

#endif

bool PluginLoaded() { return LoadedLibrary() != nullptr; }

}  // namespace StandIn
