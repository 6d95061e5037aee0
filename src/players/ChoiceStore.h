#pragma once
// The players' choices in an SQLite file, which the servers of one machine may
// share. Used from the store's worker thread alone (StoreWorker.h); a file
// that is not such a store is never written.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "players/PlayerChoices.h"
#include "players/StoreLocation.h"

struct sqlite3;

// How long a read or a save may wait for another server's write to end.
inline constexpr int BusyTimeoutMs = 100;

// Whether the reason a read or a save failed says the file is no store of
// ours (another program's, not a database, or our table remade by hand),
// which no later attempt changes, unlike a lock or a full disk.
bool RefusedForGood(std::string_view reason);

class ChoiceStore {
public:
    explicit ChoiceStore(std::string path) : path_(std::move(path)) {}
    ~ChoiceStore();
    ChoiceStore(const ChoiceStore&) = delete;
    ChoiceStore& operator=(const ChoiceStore&) = delete;

    // Every row, or the rows of some players; none from a file that is not
    // there yet. The reason when the file cannot be read as a store.
    struct Rows {
        std::vector<ChoiceRow> rows;
        // When not whole: the players whose rows these are, in order; one
        // without rows hears every group.
        bool whole = true;
        std::vector<std::string> players;
        std::optional<std::string> error;
    };
    // Every row. An older store is upgraded at its first open.
    Rows ReadAll();
    // The rows of each player changed since the last read, whoever changed
    // them: a cost that grows with what changed, not with the store. Every
    // row when there was no read yet, or a change was made that no server
    // numbered.
    Rows ReadChanges();

    // The changes, in order, in one transaction: all committed or none, and
    // the reason when none. The file is made on the first save.
    std::optional<std::string> Save(std::span<const RowChange> changes);
    std::optional<std::string> Save(const RowChange& change);

    // Whether another connection committed since the last look, or, while
    // nothing is open, whether the file is there to be read.
    bool ChangedElsewhere();

    // Whether the file open is no longer the one the path names: deleted, or
    // replaced by another renamed over it. Never while nothing is open.
    bool Replaced() const;
    // Closes a replaced file leaving the names beside the path alone (its
    // write-ahead log and shared memory), which may now be the new file's;
    // the next read or save opens what the path names now.
    void Abandon();

    const std::string& Path() const { return path_; }

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
