#include "players/MariadbStore.h"

#include <errmsg.h>
#include <mysqld_error.h>
#if defined(_WIN32)
#include <winsock2.h>
#else
#include <poll.h>
#include <sys/socket.h>
#endif

#include <algorithm>
#include <cerrno>
#include <functional>
#include <mutex>
#include <utility>

namespace {

// Marks a database as a store of players' choices: made first, so that any
// database holding one of our tables holds it too.
constexpr char MakeMarker[] =
    "CREATE TABLE IF NOT EXISTS skycrateherald_store (id TINYINT NOT NULL PRIMARY KEY,"
    " application VARCHAR(32) NOT NULL, version INT NOT NULL, number BIGINT NOT NULL) ENGINE=InnoDB";
constexpr char Application[] = "SkyCrateHerald";
constexpr char FillMarker[] = "INSERT IGNORE INTO skycrateherald_store VALUES (1, 'SkyCrateHerald', 1, 0)";
constexpr char MakeChoices[] =
    "CREATE TABLE IF NOT EXISTS skycrateherald_choices (player VARCHAR(255) NOT NULL, grp VARCHAR(255) NOT NULL,"
    " hears TINYINT NOT NULL, PRIMARY KEY (player, grp))"
    " ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_bin";
constexpr char MakeChanged[] =
    "CREATE TABLE IF NOT EXISTS skycrateherald_changed (player VARCHAR(255) NOT NULL PRIMARY KEY,"
    " number BIGINT NOT NULL, KEY changed_by_number (number))"
    " ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_bin";

// Whether an error ended the connection, rather than a statement.
bool ConnectionLost(unsigned code) {
    return code == CR_SERVER_GONE_ERROR || code == CR_SERVER_LOST || code == CR_CONNECTION_ERROR ||
           code == CR_CONN_HOST_ERROR || code == CR_COMMANDS_OUT_OF_SYNC || code == CR_UNKNOWN_ERROR ||
           code == CR_SERVER_LOST_EXTENDED || code == ER_CONNECTION_KILLED || code == ER_SERVER_SHUTDOWN;
}

// A server's words as a log line may show them: one line, and never the
// user's name, which an access error quotes.
std::string Worded(unsigned code, std::string_view text, std::string_view user) {
    if (code == ER_ACCESS_DENIED_ERROR) {
        return "the server refused the store's user or password";
    }
    if (code == ER_DBACCESS_DENIED_ERROR) {
        return "the store's user may not use its database";
    }
    std::string shown(text);
    std::replace_if(
        shown.begin(), shown.end(), [](char c) { return static_cast<unsigned char>(c) < ' ' || c == 0x7F; }, ' ');
    const std::string quotedUser = "'" + std::string(user) + "'";
    for (std::size_t at = shown.find(quotedUser); at != std::string::npos; at = shown.find(quotedUser, at)) {
        shown.replace(at, quotedUser.size(), "'…'");
    }
    return shown.empty() ? "error " + std::to_string(code) : shown;
}

using Clock = std::chrono::steady_clock;

constexpr my_socket NoSocket = static_cast<my_socket>(-1);

#if defined(_WIN32)
using PollEntry = WSAPOLLFD;
int PollOne(PollEntry& entry, int milliseconds) { return WSAPoll(&entry, 1, milliseconds); }
bool Interrupted() { return false; }
void ShutDown(my_socket socket) { ::shutdown(socket, SD_BOTH); }
#else
using PollEntry = pollfd;
int PollOne(PollEntry& entry, int milliseconds) { return ::poll(&entry, 1, milliseconds); }
bool Interrupted() { return errno == EINTR; }
void ShutDown(my_socket socket) { ::shutdown(socket, SHUT_RDWR); }
#endif

// Drives one call of the client's non-blocking interface to its end, waiting
// on the connection's socket, or gives up at the deadline: a server that
// trickles its answer a byte at a time would keep a blocking call for ever.
bool Drive(const MariadbClient& api, MYSQL* connection, int status, const std::function<int(int)>& proceed,
           Clock::time_point deadline) {
    while (status != 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            return false;
        }
        int wait = static_cast<int>(left);
        if ((status & MYSQL_WAIT_TIMEOUT) != 0) {
            wait = std::min<int>(wait, static_cast<int>(api.mysql_get_timeout_value_ms(connection)));
        }
        PollEntry socket{api.mysql_get_socket(connection), 0, 0};
        socket.events = static_cast<short>(((status & MYSQL_WAIT_READ) != 0 ? POLLIN : 0) |
                                           ((status & MYSQL_WAIT_WRITE) != 0 ? POLLOUT : 0) |
                                           ((status & MYSQL_WAIT_EXCEPT) != 0 ? POLLPRI : 0));
        const int ready = PollOne(socket, wait);
        if (ready < 0 && !Interrupted()) {
            return false;
        }
        int happened = 0;
        if (ready == 0) {
            if ((status & MYSQL_WAIT_TIMEOUT) == 0) {
                continue;
            }
            happened = MYSQL_WAIT_TIMEOUT;
        } else if (ready > 0) {
            happened = ((socket.revents & (POLLIN | POLLERR | POLLHUP)) != 0 ? MYSQL_WAIT_READ : 0) |
                       ((socket.revents & (POLLOUT | POLLERR | POLLHUP)) != 0 ? MYSQL_WAIT_WRITE : 0) |
                       ((socket.revents & POLLPRI) != 0 ? MYSQL_WAIT_EXCEPT : 0);
        }
        status = proceed(happened & (status | MYSQL_WAIT_TIMEOUT));
    }
    return true;
}

std::optional<bool> Hears(const char* value, unsigned long length) {
    if (value == nullptr || length != 1 || (value[0] != '0' && value[0] != '1')) {
        return std::nullopt;
    }
    return value[0] == '1';
}

std::optional<std::int64_t> Number(const char* value, unsigned long length) {
    if (value == nullptr || length == 0 || length > 18) {
        return std::nullopt;
    }
    std::int64_t number = 0;
    for (unsigned long at = 0; at < length; ++at) {
        if (value[at] < '0' || value[at] > '9') {
            return std::nullopt;
        }
        number = number * 10 + (value[at] - '0');
    }
    return number;
}

}  // namespace

MariadbStore::~MariadbStore() { Disconnect(); }

Clock::time_point MariadbStore::Deadline() const {
    const Clock::time_point own = Clock::now() + std::chrono::seconds(MariadbTimeoutSeconds);
    return callsEndBy_ ? std::min(own, *callsEndBy_) : own;
}

void MariadbStore::Disconnect() {
    if (connection_ != nullptr) {
        api_->mysql_close(connection_);
        connection_ = nullptr;
    }
    setUp_ = false;
}

void MariadbStore::Abandon() {
    if (connection_ != nullptr) {
        // Whatever the client would still read or write then fails at once.
        ShutDown(api_->mysql_get_socket(connection_));
    }
    Disconnect();
}

bool MariadbStore::Connect() {
    if (connection_ != nullptr) {
        return true;
    }
    if (nextAttempt_ && Clock::now() < *nextAttempt_) {
        failure_ = lastConnectFailure_;
        return false;
    }
    MYSQL* connection = api_->mysql_init(nullptr);
    if (connection == nullptr) {
        failure_ = "out of memory";
        return false;
    }
    api_->mysql_options(connection, MYSQL_OPT_NONBLOCK, nullptr);
    const unsigned timeout = MariadbTimeoutSeconds;
    api_->mysql_options(connection, MYSQL_OPT_CONNECT_TIMEOUT, &timeout);
    api_->mysql_options(connection, MYSQL_OPT_READ_TIMEOUT, &timeout);
    api_->mysql_options(connection, MYSQL_OPT_WRITE_TIMEOUT, &timeout);
    api_->mysql_options(connection, MYSQL_SET_CHARSET_NAME, "utf8mb4");
    // The port written is the one used: "localhost" would otherwise mean the
    // server's local socket.
    const unsigned tcp = MYSQL_PROTOCOL_TCP;
    api_->mysql_options(connection, MYSQL_OPT_PROTOCOL, &tcp);
    // TLS required: without a check of the server's certificate the client
    // would go on unencrypted, or to whoever answers in the server's place.
    if (address_.tlsRequired) {
        const my_bool on = 1;
        api_->mysql_options(connection, MYSQL_OPT_SSL_ENFORCE, &on);
        api_->mysql_options(connection, MYSQL_OPT_SSL_VERIFY_SERVER_CERT, &on);
    }
    MYSQL* connected = nullptr;
    const bool answered = Drive(
        *api_, connection,
        api_->mysql_real_connect_start(&connected, connection, address_.host.c_str(), address_.user.c_str(),
                                       address_.password.c_str(), address_.database.c_str(), address_.port, nullptr, 0),
        [&](int happened) { return api_->mysql_real_connect_cont(&connected, connection, happened); }, Deadline());
    if (!answered || connected == nullptr) {
        lastConnectFailure_ = answered
                                  ? Worded(api_->mysql_errno(connection), api_->mysql_error(connection), address_.user)
                                  : "the server did not answer within " + std::to_string(MariadbTimeoutSeconds) + " s";
        if (!answered && api_->mysql_get_socket(connection) != NoSocket) {
            ShutDown(api_->mysql_get_socket(connection));
        }
        api_->mysql_close(connection);
        backoff_ = backoff_.count() == 0 ? MariadbFirstBackoff : std::min(backoff_ * 2, MariadbLastBackoff);
        nextAttempt_ = Clock::now() + backoff_;
        failure_ = lastConnectFailure_;
        return false;
    }
    backoff_ = std::chrono::seconds(0);
    nextAttempt_.reset();
    connection_ = connection;
    return true;
}

bool MariadbStore::TimedOut() {
    failure_ = "the server did not answer within " + std::to_string(MariadbTimeoutSeconds) + " s";
    Abandon();
    return false;
}

bool MariadbStore::Fail() {
    const unsigned code = api_->mysql_errno(connection_);
    failure_ = Worded(code, api_->mysql_error(connection_), address_.user);
    if (ConnectionLost(code)) {
        Disconnect();
    } else if (code == ER_NO_SUCH_TABLE) {
        setUp_ = false;  // dropped by hand: made again at the next save, as ours
    }
    return false;
}

bool MariadbStore::Run(std::string_view sql) {
    if (connection_ == nullptr) {
        failure_ = "not connected";
        return false;
    }
    int error = 0;
    MYSQL* connection = connection_;
    if (!Drive(
            *api_, connection,
            api_->mysql_real_query_start(&error, connection, sql.data(), static_cast<unsigned long>(sql.size())),
            [&](int happened) { return api_->mysql_real_query_cont(&error, connection, happened); }, Deadline())) {
        return TimedOut();
    }
    return error == 0 || Fail();
}

void MariadbStore::Rollback() {
    const std::string failure = failure_;
    if (connection_ != nullptr) {
        Run("ROLLBACK");
    }
    failure_ = failure;
}

bool MariadbStore::ForEachRow(std::string_view sql, unsigned fields, const RowTaker& take) {
    if (!Run(sql)) {
        return false;
    }
    MYSQL* connection = connection_;
    MYSQL_RES* result = api_->mysql_use_result(connection);
    if (result == nullptr) {
        return api_->mysql_errno(connection) != 0 ? Fail() : Shaped(false);
    }
    bool taken = api_->mysql_num_fields(result) == fields;
    std::size_t rows = 0;
    bool answered = true;
    while (taken) {
        MYSQL_ROW row = nullptr;
        answered = Drive(
            *api_, connection, api_->mysql_fetch_row_start(&row, result),
            [&](int happened) { return api_->mysql_fetch_row_cont(&row, result, happened); }, Deadline());
        if (!answered || row == nullptr) {
            break;
        }
        const unsigned long* lengths = api_->mysql_fetch_lengths(result);
        taken = lengths != nullptr && ++rows <= MariadbRowLimit && take(row, lengths);
    }
    const bool lost = !answered || api_->mysql_errno(connection) != 0;
    if (!answered || !taken) {
        // The rest is not read: a server that sends rows for ever would keep
        // the worker for ever.
        ShutDown(api_->mysql_get_socket(connection));
    }
    api_->mysql_free_result(result);
    if (!answered) {
        return TimedOut();
    }
    if (!taken) {
        Abandon();
        return Shaped(false);
    }
    return !lost || Fail();
}

bool MariadbStore::Shaped(bool shaped) {
    if (!shaped) {
        failure_ = "the server answered rows of another shape than the store's tables, or more than " +
                   std::to_string(MariadbRowLimit) + " rows";
    }
    return shaped;
}

std::string MariadbStore::Quoted(std::string_view text) {
    std::string quoted(text.size() * 2 + 3, '\0');
    quoted[0] = '\'';
    const unsigned long length = api_->mysql_real_escape_string(connection_, quoted.data() + 1, text.data(),
                                                                static_cast<unsigned long>(text.size()));
    quoted.resize(length + 1);
    quoted += '\'';
    return quoted;
}

std::optional<MariadbStore::Kind> MariadbStore::KindOfDatabase() {
    std::optional<std::int64_t> tables;
    std::optional<std::int64_t> markers;
    const bool counted = ForEachRow(
        "SELECT count(*), coalesce(sum(table_name = 'skycrateherald_store'), 0)"
        " FROM information_schema.tables WHERE table_schema = DATABASE()",
        2, [&](MYSQL_ROW row, const unsigned long* lengths) {
            tables = Number(row[0], lengths[0]);
            markers = Number(row[1], lengths[1]);
            return tables && markers;
        });
    if (!counted || !Shaped(tables.has_value())) {
        return std::nullopt;
    }
    if (*markers == 0) {
        return *tables > 0 ? Kind::Foreign : Kind::Empty;
    }
    std::optional<Kind> kind = Kind::Ours;  // its row is being written by another server
    const bool read =
        ForEachRow("SELECT application, version FROM skycrateherald_store WHERE id = 1", 2,
                   [&](MYSQL_ROW row, const unsigned long* lengths) {
                       const std::optional<std::int64_t> version = Number(row[1], lengths[1]);
                       if (row[0] == nullptr || std::string_view(row[0], lengths[0]) != Application || !version) {
                           kind = Kind::Foreign;
                       } else if (*version > StoreVersion) {
                           kind = Kind::Newer;
                       }
                       return true;
                   });
    return read ? kind : std::nullopt;
}

std::optional<std::int64_t> MariadbStore::LatestNumber() {
    std::optional<std::int64_t> latest;
    const bool read = ForEachRow("SELECT number FROM skycrateherald_store WHERE id = 1", 1,
                                 [&](MYSQL_ROW row, const unsigned long* lengths) {
                                     latest = Number(row[0], lengths[0]);
                                     return latest.has_value();
                                 });
    if (read && !latest) {
        failure_ = "the store's marker has no row";
    }
    return read ? latest : std::nullopt;
}

bool MariadbStore::ReadRows(std::string_view sql, Rows& read, bool byPlayer) {
    return ForEachRow(sql, 3, [&](MYSQL_ROW row, const unsigned long* lengths) {
        if (row[0] == nullptr) {
            return false;
        }
        std::string player(row[0], lengths[0]);
        if (byPlayer && (read.players.empty() || read.players.back() != player)) {
            read.players.push_back(player);
        }
        if (byPlayer && row[1] == nullptr) {
            return true;  // changed to hear every group
        }
        const std::optional<bool> hears = Hears(row[2], lengths[2]);
        if (row[1] == nullptr || !hears) {
            return false;
        }
        read.rows.push_back({std::move(player), std::string(row[1], lengths[1]), *hears});
        return true;
    });
}

ChoiceStore::Rows MariadbStore::ReadAll() {
    if (readBound_) {
        callsEndBy_ = Clock::now() + *std::exchange(readBound_, std::nullopt);
    }
    // Every way out of the read ends its bound.
    struct Unbound {
        std::optional<Clock::time_point>& end;
        ~Unbound() { end.reset(); }
    } unbound{callsEndBy_};
    Rows read;
    const std::optional<Kind> kind = Connect() ? KindOfDatabase() : std::nullopt;
    if (!kind) {
        read.error = failure_;
        return read;
    }
    if (*kind == Kind::Foreign || *kind == Kind::Newer) {
        read.error = std::string(*kind == Kind::Foreign ? ForeignSchema : NewerStore);
        return read;
    }
    lastNumber_.reset();
    if (*kind == Kind::Empty) {
        return read;  // made at the first save
    }
    // One snapshot: the rows, and the number of the latest change in them.
    std::optional<std::int64_t> latest;
    const bool done = Run("START TRANSACTION WITH CONSISTENT SNAPSHOT, READ ONLY") &&
                      (latest = LatestNumber()).has_value() &&
                      ReadRows("SELECT player, grp, hears FROM skycrateherald_choices", read, false) && Run("COMMIT");
    if (!done) {
        Rollback();
        read = Rows{};
        read.error = failure_;
        return read;
    }
    lastNumber_ = latest;
    return read;
}

ChoiceStore::Rows MariadbStore::ReadChanges() {
    if (connection_ == nullptr || !lastNumber_) {
        return ReadAll();
    }
    Rows read;
    read.whole = false;
    std::optional<std::int64_t> latest;
    bool done = Run("START TRANSACTION WITH CONSISTENT SNAPSHOT, READ ONLY") && (latest = LatestNumber()).has_value();
    // A store made again is read whole.
    if (done && *latest < *lastNumber_) {
        Run("COMMIT");
        return ReadAll();
    }
    if (done && *latest > *lastNumber_) {
        done = ReadRows(
            "SELECT changed.player, grp, hears FROM skycrateherald_changed AS changed"
            " LEFT JOIN skycrateherald_choices AS choices ON choices.player = changed.player"
            " WHERE changed.number > " +
                std::to_string(*lastNumber_) + " ORDER BY changed.player",
            read, true);
    }
    if (!(done && Run("COMMIT"))) {
        Rollback();
        read = Rows{};
        read.whole = false;
        read.error = failure_;
        lastNumber_.reset();
        return read;
    }
    lastNumber_ = latest;
    return read;
}

std::optional<std::string> MariadbStore::Save(std::span<const RowChange> changes) {
    if (!Connect()) {
        return failure_;
    }
    if (!setUp_) {
        const std::optional<Kind> kind = KindOfDatabase();
        if (!kind) {
            return failure_;
        }
        if (*kind == Kind::Foreign || *kind == Kind::Newer) {
            return std::string(*kind == Kind::Foreign ? ForeignSchema : NewerStore);
        }
        // Each statement commits on its own; made again by another server at
        // the same time, each is made once.
        for (const char* statement : {MakeMarker, FillMarker, MakeChoices, MakeChanged}) {
            if (!Run(statement)) {
                return failure_;
            }
        }
        setUp_ = true;
    }
    // The marker's row, updated first, is locked until the commit: servers'
    // saves are numbered in the order they commit, so a reader that saw a
    // number has seen every change numbered up to it.
    std::vector<std::string> statements = {"START TRANSACTION",
                                           "UPDATE skycrateherald_store SET number = number + 1 WHERE id = 1"};
    std::string numbered;
    for (const RowChange& change : changes) {
        const std::string player = Quoted(change.player);
        numbered +=
            (numbered.empty() ? "(" : ", (") + player + ", (SELECT number FROM skycrateherald_store WHERE id = 1))";
        if (change.clearsPlayer) {
            statements.push_back("DELETE FROM skycrateherald_choices WHERE player = " + player);
        }
        for (const std::string& group : change.dropped) {
            statements.push_back("DELETE FROM skycrateherald_choices WHERE player = " + player +
                                 " AND grp = " + Quoted(group));
        }
        for (const ChoiceRow& row : change.set) {
            statements.push_back("INSERT INTO skycrateherald_choices (player, grp, hears) VALUES (" +
                                 Quoted(row.player) + ", " + Quoted(row.group) + ", " + (row.hears ? "1" : "0") +
                                 ") ON DUPLICATE KEY UPDATE hears = VALUES(hears)");
        }
    }
    if (!numbered.empty()) {
        statements.push_back("INSERT INTO skycrateherald_changed (player, number) VALUES " + numbered +
                             " ON DUPLICATE KEY UPDATE number = VALUES(number)");
    }
    statements.emplace_back("COMMIT");
    for (const std::string& statement : statements) {
        if (!Run(statement)) {
            Rollback();
            return failure_;
        }
    }
    return std::nullopt;
}

bool MariadbStore::ChangedElsewhere() {
    if (!Connect()) {
        return true;  // the read then says why it can't be made
    }
    const std::optional<std::int64_t> latest = LatestNumber();
    if (!latest && connection_ != nullptr && api_->mysql_errno(connection_) == ER_NO_SUCH_TABLE) {
        return lastNumber_.has_value();  // no store made yet, or dropped since the last read
    }
    return !latest || latest != lastNumber_;
}
