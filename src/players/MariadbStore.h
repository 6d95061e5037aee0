#pragma once
// The players' choices in a MariaDB database, which the servers of a cluster
// on several machines share. Its tables are made at the first save in a
// database with no tables, beside a marker table, so that another program's
// tables are never written.

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/StoreAddress.h"
#include "players/ChoiceStore.h"
#include "players/MariadbClient.h"

struct st_mysql;

// How long connecting, and each read or write of the connection, may take.
inline constexpr unsigned MariadbTimeoutSeconds = 5;
// The waits between attempts to connect after a failure: doubled from the
// first to the last.
inline constexpr std::chrono::seconds MariadbFirstBackoff{1};
inline constexpr std::chrono::seconds MariadbLastBackoff{30};
// The most rows one read takes: a server that sends rows for ever is cut off.
inline constexpr std::size_t MariadbRowLimit = 50'000'000;

class MariadbStore final : public ChoiceStore {
public:
    MariadbStore(MariadbAddress address, const MariadbClient& client) : address_(std::move(address)), api_(&client) {}
    ~MariadbStore() override;
    MariadbStore(const MariadbStore&) = delete;
    MariadbStore& operator=(const MariadbStore&) = delete;

    Rows ReadAll() override;
    Rows ReadChanges() override;
    using ChoiceStore::Save;
    std::optional<std::string> Save(std::span<const RowChange> changes) override;
    bool ChangedElsewhere() override;
    void BoundNextRead(std::chrono::milliseconds budget) override { readBound_ = budget; }

private:
    enum class Kind { Empty, Ours, Foreign, Newer };
    using RowTaker = std::function<bool(char** row, const unsigned long* lengths)>;
    // Connected, or false with failure_: after a failure, attempts wait out
    // the backoff.
    bool Connect();
    void Disconnect();
    // Closes a connection whose protocol was left half-way.
    void Abandon();
    // Each false with failure_ set: a statement that gives no rows; one whose
    // rows each go to take (false from it stops the read as of another
    // shape), every row of fields fields.
    bool Run(std::string_view sql);
    bool ForEachRow(std::string_view sql, unsigned fields, const RowTaker& take);
    // The connection's last error as failure_; a connection lost is closed, to
    // be made again after the backoff.
    bool Fail();
    // Ends a transaction that failed, keeping why.
    void Rollback();
    bool TimedOut();
    bool Shaped(bool shaped);
    // Whose the database is.
    std::optional<Kind> KindOfDatabase();
    std::optional<std::int64_t> LatestNumber();
    std::string Quoted(std::string_view text);
    // Reads rows of (player, group, hears), or of (player, group or null,
    // hears or null) when byPlayer.
    bool ReadRows(std::string_view sql, Rows& read, bool byPlayer);

    MariadbAddress address_;
    const MariadbClient* api_;
    st_mysql* connection_ = nullptr;
    std::optional<std::chrono::steady_clock::time_point> nextAttempt_;
    std::chrono::seconds backoff_{0};
    std::string lastConnectFailure_;
    std::string failure_;                     // why the last call failed
    std::optional<std::int64_t> lastNumber_;  // of the latest change the last read saw
    bool setUp_ = false;                      // our tables are known to be there on this connection
    std::optional<std::chrono::milliseconds> readBound_;
    // While a bounded read runs: when every call of it must have ended.
    std::optional<std::chrono::steady_clock::time_point> callsEndBy_;
    std::chrono::steady_clock::time_point Deadline() const;
};
