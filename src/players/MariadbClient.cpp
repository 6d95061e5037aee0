#include "players/MariadbClient.h"

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <filesystem>
#endif

namespace {

#if defined(_WIN32)

constexpr wchar_t ClientFileName[] = L"libmariadb.dll";

// The folder of the module this code is linked into.
std::filesystem::path ModuleFolder() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ModuleFolder), &module);
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    return std::filesystem::path(path).parent_path();
}

MariadbClientOrWhy Load() {
    const std::filesystem::path file = ModuleFolder() / ClientFileName;
    // Kept for the process: a worker of a later load may use it again.
    const HMODULE library = LoadLibraryExW(file.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (library == nullptr) {
        const std::u8string folder = ModuleFolder().u8string();
        return {nullptr, "libmariadb.dll, MariaDB's client, is not in " + std::string(folder.begin(), folder.end()) +
                             " (error " + std::to_string(GetLastError()) + ")"};
    }
    static MariadbClient client;
    std::string missing;
#define HERALD_MARIADB_FIND(name)                                                                                    \
    client.name = reinterpret_cast<decltype(&::name)>(reinterpret_cast<void (*)()>(GetProcAddress(library, #name))); \
    if (client.name == nullptr && missing.empty()) {                                                                 \
        missing = #name;                                                                                             \
    }
    HERALD_MARIADB_FUNCTIONS(HERALD_MARIADB_FIND)
#undef HERALD_MARIADB_FIND
    if (!missing.empty()) {
        return {nullptr, "libmariadb.dll has no " + missing + ": it is not MariaDB's Connector/C 3"};
    }
    return {&client, {}};
}

#else

MariadbClientOrWhy Load() {
    static MariadbClient client;
#define HERALD_MARIADB_LINKED(name) client.name = &::name;
    HERALD_MARIADB_FUNCTIONS(HERALD_MARIADB_LINKED)
#undef HERALD_MARIADB_LINKED
    return {&client, {}};
}

#endif

}  // namespace

const MariadbClientOrWhy& TheMariadbClient() {
    static const MariadbClientOrWhy loaded = [] {
        MariadbClientOrWhy client = Load();
        if (client.client != nullptr) {
            client.client->mysql_server_init(0, nullptr, nullptr);
        }
        return client;
    }();
    return loaded;
}
