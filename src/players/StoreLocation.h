#pragma once
// Where a store's file lies: SQLite keeps a file shared by several servers
// safe only on a disk of the machine that runs them.

#include <cstdint>
#include <optional>
#include <string>

// Whether the folder of the file at this path (UTF-8) is on a network share:
// a mapped network drive or a share named by its server on Windows; NFS,
// SMB/CIFS or another network filesystem elsewhere. A folder that is not there
// yet is judged by the nearest one above it that is.
bool OnNetworkShare(const std::string& path);

// Which file a path names: its device and inode, or on Windows its volume and
// file index. A file renamed over another, or made anew, has another.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t file = 0;
    bool operator==(const FileIdentity&) const = default;
};
// None when nothing is there.
std::optional<FileIdentity> IdentityOfFile(const std::string& path);
