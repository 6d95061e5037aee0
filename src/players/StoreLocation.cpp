#include "players/StoreLocation.h"

#include <cstdint>
#include <filesystem>
#include <system_error>

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <sys/vfs.h>
#endif

namespace {

// The path's folder, or the nearest folder above it that is there.
std::filesystem::path ExistingFolder(const std::filesystem::path& file) {
    std::filesystem::path folder = std::filesystem::absolute(file).parent_path();
    std::error_code error;
    while (!folder.empty() && !std::filesystem::is_directory(folder, error) && folder != folder.root_path()) {
        folder = folder.parent_path();
    }
    return folder;
}

}  // namespace

#if defined(_WIN32)

bool OnNetworkShare(const std::string& path) {
    const std::filesystem::path folder = ExistingFolder(std::filesystem::u8path(path));
    const std::wstring root = folder.root_path().wstring();
    if (root.size() >= 2 && (root[0] == L'\\' || root[0] == L'/') && (root[1] == L'\\' || root[1] == L'/')) {
        return true;  // \\server\share
    }
    return !root.empty() && GetDriveTypeW(root.c_str()) == DRIVE_REMOTE;
}

#else

namespace {

// Whether a filesystem type, as statfs gives it, is a network filesystem's.
bool IsNetworkFilesystemType(std::int64_t type) {
    // The magic numbers of Linux's <linux/magic.h> and of the filesystems'
    // own sources.
    switch (type) {
        case 0x6969:      // NFS
        case 0x517B:      // SMB
        case 0xFF534D42:  // CIFS
        case 0xFE534D42:  // SMB2
        case 0x564C:      // NCP
        case 0x5346414F:  // AFS
        case 0x73757245:  // Coda
        case 0x01021997:  // 9P
        case 0x00C36400:  // Ceph
            return true;
        default:
            return false;
    }
}

}  // namespace

bool OnNetworkShare(const std::string& path) {
    const std::filesystem::path folder = ExistingFolder(std::filesystem::u8path(path));
    struct statfs about {};
    return !folder.empty() && ::statfs(folder.c_str(), &about) == 0 &&
           IsNetworkFilesystemType(static_cast<std::int64_t>(about.f_type));
}

#endif
