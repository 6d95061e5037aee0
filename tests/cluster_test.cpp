// Servers of a cluster sharing one store of players' choices, each a process
// of its own with the plugin loaded, on an SQLite file and on a MariaDB
// database: a choice made on one is followed by the others, concurrent changes
// are all kept, and a server killed in the middle of a burst, or the database
// server itself, leaves a store holding every change replied to a second
// before.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <optional>
#include <set>
#include <thread>

#include "MariadbSupport.h"
#include "Support.h"
#include "players/ChoiceStore.h"

namespace {

using HeraldTest::ServerDirectory;

const nlohmann::json ClusterConfig(const std::string& store) {
    return {{"Players", {{"Store", store}}},
            {"Items",
             {{"SupplyCrate_Level03_C", {{"Notification", {{"Msg", "crate"}, {"Type", "Chat"}}}}},
              {"CrystalWyvern_ElementNode_C", {{"Notification", {{"Msg", "node"}, {"Type", "Chat"}}}}}}}};
}

// A pipe between two processes, a line at a time.
struct Pipe {
    int ends[2] = {-1, -1};
    Pipe() { EXPECT_EQ(::pipe(ends), 0); }
    ~Pipe() {
        ::close(ends[0]);
        ::close(ends[1]);
    }
    void Send(const std::string& line) const {
        const std::string text = line + "\n";
        EXPECT_EQ(::write(ends[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
    }
    // The next line, or none at the end.
    std::optional<std::string> Receive() const {
        std::string line;
        char c = 0;
        while (::read(ends[0], &c, 1) == 1) {
            if (c == '\n') {
                return line;
            }
            line += c;
        }
        return std::nullopt;
    }
};

// A server process: the plugin loaded on the folder, then body, whose result
// is the process's exit status. Nothing of the test's own teardown runs there.
pid_t StartServer(const ServerDirectory& folder, const std::function<int()>& body) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        StandIn::ResetServer();
        StandIn::SetServerDirectory(folder.root.string());
        const int status = StandIn::LoadPlugin(HeraldTest::PluginPath).ok ? body() : 90;
        ::_exit(status);
    }
    return pid;
}

int ExitStatus(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The reply to a player's line, as the server sent it.
std::string Answer(const std::string& player, const std::string& line) {
    StandIn::ClearRecords();
    StandIn::ChatLine(player, line);
    return StandIn::Records().empty() ? std::string() : StandIn::Records().back().text;
}

bool Confirmed(const std::string& reply) { return reply.find("not saved") == std::string::npos && !reply.empty(); }

bool AllSaved() { return HeraldTest::StoreStatus().find(" 0 changes not saved yet") != std::string::npos; }

enum class StoreKind { Sqlite, Mariadb };
void PrintTo(StoreKind kind, std::ostream* out) { *out << (kind == StoreKind::Sqlite ? "SQLite" : "MariaDB"); }

class ClusterTest : public ::testing::TestWithParam<StoreKind> {
protected:
    HeraldTest::ScratchFolder shared;
    ServerDirectory island;
    ServerDirectory ragnarok;
    ServerDirectory aberration;
    std::string store;

    void SetUp() override {
        if (GetParam() == StoreKind::Mariadb) {
            store = HeraldTest::FreshMariadbDatabase(::testing::UnitTest::GetInstance()->current_test_info()->name());
        } else {
            std::filesystem::create_directories(shared.root / "cluster");
            store = (shared.root / "cluster" / "players.sqlite").string();
        }
        for (const ServerDirectory* server : {&island, &ragnarok, &aberration}) {
            server->WriteConfig(ClusterConfig(store));
        }
    }

    std::vector<ChoiceRow> StoredRows() const {
        ChoiceStore::Rows read = MakeChoiceStore(store)->ReadAll();
        EXPECT_EQ(read.error, std::nullopt);
        return read.rows;
    }
};

TEST_P(ClusterTest, AChoiceMadeOnOneServerIsInEffectOnTheOtherAtItsNextTick) {
    Pipe ready, go, result;
    const pid_t other = StartServer(ragnarok, [&] {
        StandIn::ConnectPlayer("Alice", false, "alice-account");
        ready.Send("loaded");
        go.Receive();
        std::size_t received = 1;
        HeraldTest::TickUntil([&received] {
            StandIn::ClearRecords();
            HeraldTest::SpawnCrate(u"SupplyCrate_Level03_C_1");
            received = StandIn::Records().size();
            return received == 0;
        });
        result.Send(std::to_string(received));
        return 0;
    });
    ASSERT_EQ(ready.Receive(), "loaded") << "the other server found no store yet";
    const pid_t here = StartServer(island, [&] {
        StandIn::ConnectPlayer("Alice", false, "alice-account");
        return Confirmed(Answer("Alice", "/herald off crates")) && HeraldTest::TickUntil(AllSaved) ? 0 : 1;
    });
    EXPECT_EQ(ExitStatus(here), 0);
    go.Send("spawn");
    EXPECT_EQ(result.Receive(), "0") << "Alice still received the crate on the other server";
    EXPECT_EQ(ExitStatus(other), 0);
}

TEST_P(ClusterTest, ConcurrentChangesFromThreeServersAreAllKept) {
    constexpr int Players = 70;
    Pipe go;
    const auto changes = [&](const std::string& prefix, const std::string& group) {
        return [&go, prefix, group] {
            for (int i = 0; i < Players; ++i) {
                StandIn::ConnectPlayer(prefix + std::to_string(i));
            }
            go.Receive();
            for (int i = 0; i < Players; ++i) {
                Answer(prefix + std::to_string(i), "/herald off " + group);
            }
            // What the other server's writes kept out past the busy timeout
            // is saved on the timer.
            return HeraldTest::TickUntil(AllSaved) ? 0 : 1;
        };
    };
    const pid_t servers[] = {StartServer(island, changes("P", "crates")), StartServer(ragnarok, changes("P", "nodes")),
                             StartServer(aberration, changes("Q", "crates"))};
    for (std::size_t i = 0; i < std::size(servers); ++i) {
        go.Send("go");
    }
    for (const pid_t server : servers) {
        EXPECT_EQ(ExitStatus(server), 0);
    }
    const std::vector<ChoiceRow> rows = StoredRows();
    ASSERT_EQ(rows.size(), 3u * Players);
    for (const ChoiceRow& row : rows) {
        EXPECT_FALSE(row.hears) << row.player << " " << row.group;
    }
}

// A reply comes before the commit: what a kill may lose is the last moment's
// changes, never one replied to a second before it.
TEST_P(ClusterTest, AServerKilledInABurstLeavesEveryChangeRepliedASecondBeforeInAStoreThatOpens) {
    Pipe confirmations;
    const pid_t server = StartServer(island, [&]() -> int {
        for (int i = 0; i < 5000; ++i) {
            const std::string player = "K" + std::to_string(i);
            StandIn::ConnectPlayer(player);
            if (Confirmed(Answer(player, "/herald off crates"))) {
                confirmations.Send(player);
            }
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
        for (;;) {
            StandIn::Wait(1);
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    });
    using Clock = std::chrono::steady_clock;
    std::vector<std::pair<std::string, Clock::time_point>> confirmed;
    while (confirmed.size() < 200) {
        std::optional<std::string> player = confirmations.Receive();
        ASSERT_TRUE(player) << "the server ended before the kill";
        confirmed.emplace_back(*player, Clock::now());
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    const Clock::time_point killed = Clock::now();
    ASSERT_EQ(::kill(server, SIGKILL), 0);
    EXPECT_EQ(ExitStatus(server), -1);
    ::close(confirmations.ends[1]);
    confirmations.ends[1] = -1;
    while (std::optional<std::string> player = confirmations.Receive()) {
        confirmed.emplace_back(*player, killed);  // sent before the kill, received after
    }
    const std::vector<ChoiceRow> rows = StoredRows();
    std::set<std::string> stored;
    for (const ChoiceRow& row : rows) {
        stored.insert(row.player);
    }
    std::size_t checked = 0;
    for (const auto& [player, received] : confirmed) {
        if (received <= killed - std::chrono::seconds(1)) {
            ++checked;
            EXPECT_TRUE(stored.count(player))
                << player << " was replied to a second before the kill, but is not stored";
        }
    }
    EXPECT_GE(checked, 200u);
}

// The database server killed with SIGKILL in the middle of a burst and
// started again: every change replied to is saved once it answers again, each
// player told when theirs waited, and nothing is lost to the crash.
class MariadbClusterTest : public ClusterTest {
protected:
    // Its own server: the others' tests must not see it killed.
    HeraldTest::PrivateMariadbServer database;

    void SetUp() override {
        ClusterTest::SetUp();
        store = database.FreshDatabase("killed");
        island.WriteConfig(ClusterConfig(store));
    }
};

TEST_P(MariadbClusterTest, TheDatabaseServerKilledAndRestartedInABurstLosesNoChangeRepliedTo) {
    constexpr int Players = 300;
    Pipe confirmations, restarted;
    const pid_t server = StartServer(island, [&]() -> int {
        for (int i = 0; i < Players; ++i) {
            const std::string player = "D" + std::to_string(i);
            StandIn::ConnectPlayer(player);
            if (!Confirmed(Answer(player, "/herald off crates"))) {
                return 2;  // the store can take changes: no reply may say otherwise
            }
            confirmations.Send(player);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        restarted.Receive();
        return HeraldTest::TickUntil(AllSaved) ? 0 : 1;
    });
    int confirmed = 0;
    while (confirmed < Players / 3 && confirmations.Receive()) {
        ++confirmed;
    }
    database.Kill();
    std::this_thread::sleep_for(std::chrono::seconds(1));
    database.Restart();
    restarted.Send("up");
    while (confirmations.Receive()) {
        if (++confirmed == Players) {
            break;
        }
    }
    EXPECT_EQ(confirmed, Players);
    EXPECT_EQ(ExitStatus(server), 0) << "what waited was not all saved once the database answered again";
    EXPECT_EQ(StoredRows().size(), static_cast<std::size_t>(Players));
    EXPECT_THAT(HeraldTest::RunMariadb(store, "CHECK TABLE skycrateherald_choices, skycrateherald_changed"),
                ::testing::Each(::testing::EndsWith(",OK")));
}

INSTANTIATE_TEST_SUITE_P(Sqlite, ClusterTest, ::testing::Values(StoreKind::Sqlite));
INSTANTIATE_TEST_SUITE_P(Mariadb, ClusterTest, ::testing::Values(StoreKind::Mariadb));
INSTANTIATE_TEST_SUITE_P(Mariadb, MariadbClusterTest, ::testing::Values(StoreKind::Mariadb));

}  // namespace
