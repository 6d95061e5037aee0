#include "players/StoreLocation.h"

#include <cstdint>
#include <filesystem>
#include <system_error>

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <sys/stat.h>
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

std::optional<FileIdentity> IdentityOfFile(const std::string& path) {
    // Asked of the file with no access to its contents, sharing everything:
    // the look neither keeps another program out nor is kept out.
    const HANDLE file = CreateFileW(std::filesystem::u8path(path).wstring().c_str(), 0,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    BY_HANDLE_FILE_INFORMATION about{};
    const bool known = GetFileInformationByHandle(file, &about);
    CloseHandle(file);
    if (!known) {
        return std::nullopt;
    }
    return FileIdentity{about.dwVolumeSerialNumber,
                        static_cast<std::uint64_t>(about.nFileIndexHigh) << 32 | about.nFileIndexLow};
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

std::optional<FileIdentity> IdentityOfFile(const std::string& path) {
    struct stat about {};
    if (::stat(path.c_str(), &about) != 0) {
        return std::nullopt;
    }
    return FileIdentity{static_cast<std::uint64_t>(about.st_dev), static_cast<std::uint64_t>(about.st_ino)};
}

#endif
