#pragma once
// Where a store's file lies: SQLite keeps a file shared by several servers
// safe only on a disk of the machine that runs them.

#include <cstdint>
#include <string>

// Whether the folder of the file at this path (UTF-8) is on a network share:
// a mapped network drive or a share named by its server on Windows; NFS,
// SMB/CIFS or another network filesystem elsewhere. A folder that is not there
// yet is judged by the nearest one above it that is.
bool OnNetworkShare(const std::string& path);

// Whether a filesystem type, as statfs gives it, is a network filesystem's.
bool IsNetworkFilesystemType(std::int64_t type);
