#pragma once
// The players' choices in an SQLite file, which the servers of one machine may
// share.

#include <cstdint>
#include <optional>
#include <string>

#include "players/ChoiceStore.h"
#include "players/StoreLocation.h"

struct sqlite3;

// How long a read or a save may wait for another server's write to end.
inline constexpr int BusyTimeoutMs = 100;

class SqliteStore final : public ChoiceStore {
public:
    explicit SqliteStore(std::string path) : path_(std::move(path)) {}
    ~SqliteStore() override;
    SqliteStore(const SqliteStore&) = delete;
    SqliteStore& operator=(const SqliteStore&) = delete;

    Rows ReadAll() override;
    Rows ReadChanges() override;
    using ChoiceStore::Save;
    std::optional<std::string> Save(std::span<const RowChange> changes) override;
    // Or, while nothing is open, whether the file is there to be read.
    bool ChangedElsewhere() override;
    // A replaced file is closed leaving the names beside the path alone (its
    // write-ahead log and shared memory), which may now be the new file's.
    StoreReplacement LetGoIfReplaced() override;

private:
    // Opens the file (making it when create) and makes sure it is a store of
    // ours or an empty database. False with reason when it is not.
    bool Open(bool create, std::string& reason);
    void Close();
    void UpgradeIfOlder();

    std::string path_;
    sqlite3* db_ = nullptr;
    std::optional<std::int64_t> dataVersion_;
    std::optional<FileIdentity> identity_;    // of the file open
    std::optional<std::int64_t> lastNumber_;  // of the latest change the last read saw
    bool wal_ = false;                        // the file is in write-ahead-log mode
};
