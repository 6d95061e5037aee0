#pragma once
// Where the players' choices are kept: an SQLite file, which the servers of
// one machine may share, or a MariaDB database, which servers on several
// machines share. Used from the store's worker thread alone (StoreWorker.h);
// a file or database that is not such a store is never written.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "players/PlayerChoices.h"

// Why a read or a save fails for good: the file or database is no store of
// ours, or ours in a form this version can't use, which no later attempt
// changes, unlike a lock, a full disk or a server that does not answer.
inline constexpr std::string_view ForeignDatabase = "not a store of players' choices (another program's database)";
inline constexpr std::string_view UnusableTable = "its choices table is missing or has another shape";
inline constexpr std::string_view NotADatabase = "file is not a database";  // SQLite's own words for it
inline constexpr std::string_view NewerStore =
    "written by a newer version of SkyCrateHerald, which this one can't read";
inline constexpr std::string_view ForeignSchema =
    "not a store of players' choices (the database holds another program's tables)";
inline constexpr std::string_view NoMariadbClient =
    "this build of SkyCrateHerald has no MariaDB client: use an SQLite file";
// Why this build can't use a mariadb:// store: it has no client, or (on
// Windows) its libmariadb.dll is not there; none when it can.
std::optional<std::string> MariadbClientMissing();
bool RefusedForGood(std::string_view reason);

// The version of the store's tables. 1 numbers each player's latest change, so
// that a server reads only the players changed since it last looked; a store
// written before that is version 0.
inline constexpr std::int64_t StoreVersion = 1;

// What a look at the store found of the file it had open.
enum class StoreReplacement { None, Replaced, Deleted };

class ChoiceStore {
public:
    virtual ~ChoiceStore() = default;

    // Every row, or the rows of some players; none from a store not made yet.
    // The reason when it cannot be read as a store.
    struct Rows {
        std::vector<ChoiceRow> rows;
        // When not whole: the players whose rows these are, in order; one
        // without rows hears every group.
        bool whole = true;
        std::vector<std::string> players;
        std::optional<std::string> error;
    };
    // Every row. An older store is upgraded at its first open.
    virtual Rows ReadAll() = 0;
    // The next read whole ends, failed, once it took this long: the first
    // read at load may keep the server's start waiting no longer. A file's
    // read is bounded by its size and the busy timeout already.
    virtual void BoundNextRead(std::chrono::milliseconds /*budget*/) {}
    // The rows of each player changed since the last read, whoever changed
    // them: a cost that grows with what changed, not with the store. Every
    // row when there was no read yet, or a change was made that no server
    // numbered.
    virtual Rows ReadChanges() = 0;

    // The changes, in order, in one transaction: all committed or none, and
    // the reason when none. The store is made on the first save.
    virtual std::optional<std::string> Save(std::span<const RowChange> changes) = 0;
    std::optional<std::string> Save(const RowChange& change) { return Save(std::span(&change, 1)); }

    // Whether another server committed since the last look.
    virtual bool ChangedElsewhere() = 0;

    // Whether what was open is no longer what the address names: a file
    // deleted, or replaced by another renamed over it. What was open is then
    // let go, and the next read or save opens what the address names now.
    virtual StoreReplacement LetGoIfReplaced() { return StoreReplacement::None; }
};

// The store an address names: a file's path (UTF-8), or mariadb://… (a build
// without a MariaDB client refuses it at every read and save).
std::unique_ptr<ChoiceStore> MakeChoiceStore(const std::string& address);
