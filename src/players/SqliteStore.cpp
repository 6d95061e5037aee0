#include "players/SqliteStore.h"

#include <sqlite3.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <span>
#include <string_view>
#include <system_error>

namespace {

// Marks the file as a store of players' choices, so that another program's
// database named by mistake is never written.
constexpr std::int64_t StoreApplicationId = 0x53434848;

// Version 0 to 1, in the transaction of a save or of its own. A player never
// numbered is in any server's first read, which reads every row.
constexpr char UpgradeToVersion1[] =
    "CREATE TABLE IF NOT EXISTS changed(player TEXT PRIMARY KEY NOT NULL, number INTEGER NOT NULL) WITHOUT ROWID;"
    "CREATE INDEX IF NOT EXISTS changed_by_number ON changed(number);"
    "PRAGMA user_version=1;";

// Written in the transaction of the first save, with that save's rows, so a
// server never sees a store half made by another.
constexpr char SetUpStore[] =
    "PRAGMA application_id=1396918344;"
    "CREATE TABLE IF NOT EXISTS choices(player TEXT NOT NULL, grp TEXT NOT NULL, hears INTEGER NOT NULL,"
    " PRIMARY KEY (player, grp)) WITHOUT ROWID;";
static_assert(StoreApplicationId == 1396918344, "SetUpStore writes the same id");

// One prepared statement, finalized on every way out.
class Statement {
public:
    Statement(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &statement_, nullptr); }
    ~Statement() { sqlite3_finalize(statement_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool Prepared() const { return statement_ != nullptr; }
    void Bind(int at, const std::string& text) {
        sqlite3_bind_text(statement_, at, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    }
    void Bind(int at, std::int64_t value) { sqlite3_bind_int64(statement_, at, value); }
    // SQLITE_ROW, SQLITE_DONE or an error.
    int Step() { return statement_ == nullptr ? SQLITE_ERROR : sqlite3_step(statement_); }
    // A statement that failed to prepare has nothing to reset: SQLite's
    // clear_bindings does not take a null statement.
    void Reset() {
        if (statement_ != nullptr) {
            sqlite3_reset(statement_);
            sqlite3_clear_bindings(statement_);
        }
    }
    std::int64_t Integer(int column) const { return sqlite3_column_int64(statement_, column); }
    bool Null(int column) const { return sqlite3_column_type(statement_, column) == SQLITE_NULL; }
    std::string Text(int column) const {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement_, column));
        return text == nullptr ? std::string()
                               : std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(statement_, column)));
    }

private:
    sqlite3_stmt* statement_ = nullptr;
};

std::optional<std::int64_t> SingleInteger(sqlite3* db, const char* sql) {
    Statement query(db, sql);
    if (query.Step() != SQLITE_ROW) {
        return std::nullopt;
    }
    return query.Integer(0);
}

// Whose file it is: its mark, how many tables it holds and its user version,
// read in one statement, so a store another server is making is seen before
// or after.
struct Identity {
    std::int64_t application = 0;
    std::int64_t tables = 0;
    std::int64_t userVersion = 0;
    bool Empty() const { return application == 0 && tables == 0 && userVersion == 0; }
    bool Ours() const { return application == StoreApplicationId; }
    bool Newer() const { return Ours() && userVersion > StoreVersion; }
    bool Older() const { return Ours() && userVersion < StoreVersion; }
};

std::optional<Identity> IdentityOf(sqlite3* db) {
    Statement query(db,
                    "SELECT application_id, (SELECT count(*) FROM sqlite_schema),"
                    " (SELECT user_version FROM pragma_user_version) FROM pragma_application_id");
    if (query.Step() != SQLITE_ROW) {
        return std::nullopt;
    }
    return Identity{query.Integer(0), query.Integer(1), query.Integer(2)};
}

std::uint32_t BigEndianAt(const std::array<unsigned char, 100>& header, std::size_t at) {
    return static_cast<std::uint32_t>(header[at]) << 24 | static_cast<std::uint32_t>(header[at + 1]) << 16 |
           static_cast<std::uint32_t>(header[at + 2]) << 8 | header[at + 3];
}

bool HoldsBytes(const std::filesystem::path& path) {
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    return !error && size > 0;
}

// Why SQLite must not open the file for us, judged from its first bytes and
// the journal or log beside it: opening a database rolls back its hot journal
// or takes in its write-ahead log before any statement of ours runs, which
// would change another program's database. Ours has our mark in its header;
// an empty one has no mark, no user version, no schema ever made, and nothing
// waiting beside it. A file not there yet is made on the first save.
std::optional<std::string> RefusalBeforeOpening(const std::string& path) {
    const std::filesystem::path file = std::filesystem::u8path(path);
    std::error_code error;
    if (!std::filesystem::exists(file, error) || error) {
        return std::nullopt;
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return "unable to open database file";
    }
    std::array<unsigned char, 100> header{};
    in.read(reinterpret_cast<char*>(header.data()), static_cast<std::streamsize>(header.size()));
    const std::streamsize read = in.gcount();
    if (read == 0) {
        return std::nullopt;  // an empty file: SQLite makes a database of it
    }
    constexpr std::string_view magic("SQLite format 3\0", 16);
    if (read < static_cast<std::streamsize>(header.size()) ||
        std::string_view(reinterpret_cast<const char*>(header.data()), magic.size()) != magic) {
        return std::string(NotADatabase);
    }
    constexpr std::size_t schemaCookieAt = 40, userVersionAt = 60, applicationIdAt = 68;
    if (BigEndianAt(header, applicationIdAt) == StoreApplicationId) {
        return std::nullopt;
    }
    const bool empty = BigEndianAt(header, applicationIdAt) == 0 && BigEndianAt(header, userVersionAt) == 0 &&
                       BigEndianAt(header, schemaCookieAt) == 0 && !HoldsBytes(path + "-journal") &&
                       !HoldsBytes(path + "-wal");
    return empty ? std::nullopt : std::optional<std::string>(std::string(ForeignDatabase));
}

// A table's columns, in order, with their place in the primary key: a table
// dropped or remade by hand must not be read or written as ours.
bool TableHasColumns(sqlite3* db, const std::string& table,
                     std::span<const std::pair<const char*, std::int64_t>> expected) {
    Statement columns(db, ("SELECT name, pk FROM pragma_table_info('" + table + "') ORDER BY cid").c_str());
    for (const auto& [name, key] : expected) {
        if (columns.Step() != SQLITE_ROW || columns.Text(0) != name || columns.Integer(1) != key) {
            return false;
        }
    }
    return columns.Step() == SQLITE_DONE;
}

bool TablesUsable(sqlite3* db, const Identity& identity) {
    const std::pair<const char*, std::int64_t> choices[] = {{"player", 1}, {"grp", 2}, {"hears", 0}};
    const std::pair<const char*, std::int64_t> changed[] = {{"player", 1}, {"number", 0}};
    return TableHasColumns(db, "choices", choices) &&
           (identity.userVersion < 1 || TableHasColumns(db, "changed", changed));
}

// Why a store of ours can't be read or written as it is; none when it can,
// once upgraded if it is older.
std::optional<std::string> RefusalOfOurs(sqlite3* db, const Identity& identity) {
    if (identity.Newer()) {
        return std::string(NewerStore);
    }
    if (!TablesUsable(db, identity)) {
        return std::string(UnusableTable);
    }
    return std::nullopt;
}

// The number of the latest change, in a store of ours (found usable) that
// numbers them.
std::optional<std::int64_t> LatestNumber(sqlite3* db, const Identity& identity) {
    if (identity.userVersion < 1) {
        return std::nullopt;
    }
    return SingleInteger(db, "SELECT coalesce(max(number), 0) FROM changed");
}

}  // namespace

SqliteStore::~SqliteStore() { Close(); }

void SqliteStore::Close() {
    if (db_ != nullptr) {
        sqlite3_close_v2(db_);
        db_ = nullptr;
    }
    dataVersion_.reset();
    identity_.reset();
    lastNumber_.reset();
    wal_ = false;
}

StoreReplacement SqliteStore::LetGoIfReplaced() {
    if (db_ == nullptr) {
        return StoreReplacement::None;
    }
    const std::optional<FileIdentity> now = IdentityOfFile(path_);
    if (now == identity_) {
        return StoreReplacement::None;
    }
    int on = 1;
    sqlite3_db_config(db_, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    sqlite3_file_control(db_, "main", SQLITE_FCNTL_PERSIST_WAL, &on);
    Close();
    return now ? StoreReplacement::Replaced : StoreReplacement::Deleted;
}

bool SqliteStore::Open(bool create, std::string& reason) {
    if (db_ != nullptr) {
        return true;
    }
    if (std::optional<std::string> refusal = RefusalBeforeOpening(path_)) {
        reason = std::move(*refusal);
        return false;
    }
    const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0);
    if (sqlite3_open_v2(path_.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
        reason = db_ == nullptr ? "out of memory" : sqlite3_errmsg(db_);
        Close();
        return false;
    }
    sqlite3_busy_timeout(db_, BusyTimeoutMs);
    // A file that is not a database fails its first read here, before
    // anything could be written to it.
    const std::optional<Identity> identity = IdentityOf(db_);
    if (!identity || !(identity->Ours() || identity->Empty())) {
        reason = identity ? std::string(ForeignDatabase) : std::string(sqlite3_errmsg(db_));
        Close();
        return false;
    }
    // Known once the file is there: SQLite makes it at the first access.
    identity_ = IdentityOfFile(path_);
    // A commit is confirmed only once it is on the disk.
    sqlite3_exec(db_, "PRAGMA synchronous=FULL", nullptr, nullptr, nullptr);
    dataVersion_ = SingleInteger(db_, "PRAGMA data_version");
    return true;
}

// An older store is upgraded at its first open, in a transaction of its own:
// while another server holds the file, at the first save instead.
void SqliteStore::UpgradeIfOlder() {
    const std::optional<Identity> identity = IdentityOf(db_);
    if (!identity || !identity->Older() || RefusalOfOurs(db_, *identity)) {
        return;
    }
    if (sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) {
        return;
    }
    const std::optional<Identity> now = IdentityOf(db_);
    const bool upgraded =
        now && now->Older() && sqlite3_exec(db_, UpgradeToVersion1, nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_exec(db_, upgraded ? "COMMIT" : "ROLLBACK", nullptr, nullptr, nullptr);
}

ChoiceStore::Rows SqliteStore::ReadAll() {
    Rows read;
    std::error_code error;
    if (db_ == nullptr && !std::filesystem::exists(std::filesystem::u8path(path_), error) && !error) {
        return read;  // made on the first save
    }
    std::string reason;
    if (!Open(false, reason)) {
        read.error = reason;
        return read;
    }
    UpgradeIfOlder();
    // One snapshot: the rows, and the number of the latest change in them.
    sqlite3_exec(db_, "BEGIN", nullptr, nullptr, nullptr);
    dataVersion_ = SingleInteger(db_, "PRAGMA data_version");
    const std::optional<Identity> identity = IdentityOf(db_);
    if (!identity || !identity->Ours()) {
        sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
        if (!identity) {
            read.error = sqlite3_errmsg(db_);
        }
        return read;  // an empty file, set up on the first save
    }
    if (std::optional<std::string> refusal = RefusalOfOurs(db_, *identity)) {
        sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
        read.error = std::move(refusal);
        return read;
    }
    const std::optional<std::int64_t> latest = LatestNumber(db_, *identity);
    Statement rows(db_, "SELECT player, grp, hears FROM choices");
    int step = SQLITE_ERROR;
    while ((step = rows.Step()) == SQLITE_ROW) {
        read.rows.push_back({rows.Text(0), rows.Text(1), rows.Integer(2) != 0});
    }
    if (step != SQLITE_DONE) {
        read.rows.clear();
        read.error = sqlite3_errmsg(db_);
    }
    sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
    if (!read.error) {
        lastNumber_ = latest;
    }
    return read;
}

ChoiceStore::Rows SqliteStore::ReadChanges() {
    if (db_ == nullptr || !lastNumber_) {
        return ReadAll();
    }
    Rows read;
    read.whole = false;
    sqlite3_exec(db_, "BEGIN", nullptr, nullptr, nullptr);
    const std::optional<Identity> identity = IdentityOf(db_);
    const bool usable = identity && identity->Ours() && !RefusalOfOurs(db_, *identity);
    const std::optional<std::int64_t> latest = usable ? LatestNumber(db_, *identity) : std::nullopt;
    // A change no server numbered (an admin's own, or a server of an older
    // version's) is found only by reading everything.
    if (!latest || *latest <= *lastNumber_) {
        sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
        lastNumber_.reset();
        return ReadAll();
    }
    Statement rows(db_,
                   "SELECT changed.player, grp, hears FROM changed LEFT JOIN choices USING (player)"
                   " WHERE number > ?1 ORDER BY changed.player");
    rows.Bind(1, *lastNumber_);
    int step = SQLITE_ERROR;
    while ((step = rows.Step()) == SQLITE_ROW) {
        std::string player = rows.Text(0);
        if (read.players.empty() || read.players.back() != player) {
            read.players.push_back(player);
        }
        if (!rows.Null(1)) {
            read.rows.push_back({std::move(player), rows.Text(1), rows.Integer(2) != 0});
        }
    }
    if (step != SQLITE_DONE) {
        read = Rows{};
        read.error = sqlite3_errmsg(db_);
        lastNumber_.reset();
    } else {
        lastNumber_ = latest;
    }
    sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
    return read;
}

std::optional<std::string> SqliteStore::Save(std::span<const RowChange> changes) {
    std::string reason;
    if (!Open(true, reason)) {
        return reason;
    }
    // Taking the write lock first, a transaction waits for another server's
    // only here, within the busy timeout, and never fails half-way.
    if (sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) {
        return std::string(sqlite3_errmsg(db_));
    }
    const std::optional<Identity> identity = IdentityOf(db_);
    std::optional<std::string> refusal;
    if (!identity) {
        refusal = sqlite3_errmsg(db_);
    } else if (!identity->Ours() && !identity->Empty()) {
        refusal = std::string(ForeignDatabase);
    } else if (identity->Ours()) {
        refusal = RefusalOfOurs(db_, *identity);
    }
    if (refusal) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        return refusal;
    }
    bool written = (identity->Ours() || sqlite3_exec(db_, SetUpStore, nullptr, nullptr, nullptr) == SQLITE_OK) &&
                   (!(identity->Older() || identity->Empty()) ||
                    sqlite3_exec(db_, UpgradeToVersion1, nullptr, nullptr, nullptr) == SQLITE_OK);
    const auto run = [&](Statement& statement) {
        written = written && statement.Step() == SQLITE_DONE;
        statement.Reset();
    };
    Statement clear(db_, "DELETE FROM choices WHERE player = ?1");
    Statement drop(db_, "DELETE FROM choices WHERE player = ?1 AND grp = ?2");
    Statement set(db_, "INSERT OR REPLACE INTO choices (player, grp, hears) VALUES (?1, ?2, ?3)");
    // Each change gets the next number, so that other servers read its
    // player's rows again.
    Statement number(db_,
                     "INSERT OR REPLACE INTO changed (player, number)"
                     " VALUES (?1, (SELECT coalesce(max(number), 0) + 1 FROM changed))");
    for (const RowChange& change : changes) {
        number.Bind(1, change.player);
        run(number);
        if (change.clearsPlayer) {
            clear.Bind(1, change.player);
            run(clear);
        }
        for (const std::string& group : change.dropped) {
            drop.Bind(1, change.player);
            drop.Bind(2, group);
            run(drop);
        }
        for (const ChoiceRow& row : change.set) {
            set.Bind(1, row.player);
            set.Bind(2, row.group);
            set.Bind(3, std::int64_t{row.hears ? 1 : 0});
            run(set);
        }
    }
    if (written && sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK) {
        // Readers and a writer then never wait for each other. Switching needs
        // the file to itself: while another server holds it, a later save
        // tries again.
        if (!wal_) {
            Statement walMode(db_, "PRAGMA journal_mode=WAL");
            wal_ = walMode.Step() == SQLITE_ROW && walMode.Text(0) == "wal";
        }
        // The log emptied into the file after each commit, where no reader
        // holds it: a file renamed over the store, or made where it was
        // deleted, then finds no log of another's beside it.
        if (wal_) {
            sqlite3_wal_checkpoint_v2(db_, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
        }
        return std::nullopt;
    }
    reason = sqlite3_errmsg(db_);
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    return reason;
}

bool SqliteStore::ChangedElsewhere() {
    if (db_ == nullptr) {
        // Another server may have made it since.
        std::error_code error;
        return std::filesystem::exists(std::filesystem::u8path(path_), error);
    }
    const std::optional<std::int64_t> version = SingleInteger(db_, "PRAGMA data_version");
    const bool changed = version && version != dataVersion_;
    dataVersion_ = version;
    return changed;
}
