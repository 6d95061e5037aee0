// The players' store's file: a server reads only the players changed since it
// last looked, and a store written by an earlier version is upgraded in place.

#include <sqlite3.h>

#include <algorithm>

#include "RowChanges.h"
#include "Support.h"
#include "players/SqliteStore.h"

namespace {

using ::testing::IsEmpty;

using RowChanges::AllOn;
using RowChanges::Describe;
using RowChanges::Off;

class ChoiceStoreTest : public ::testing::Test {
protected:
    HeraldTest::ScratchFolder folder;
    std::string path = (folder.root / "players.sqlite").string();

    // SQL run by another program, as an admin's tool would.
    void RunByHand(const std::string& sql) {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
        EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sql;
        sqlite3_close(db);
    }
    std::int64_t UserVersion() {
        sqlite3* db = nullptr;
        sqlite3_open(path.c_str(), &db);
        sqlite3_stmt* query = nullptr;
        sqlite3_prepare_v2(db, "PRAGMA user_version", -1, &query, nullptr);
        const std::int64_t version = sqlite3_step(query) == SQLITE_ROW ? sqlite3_column_int64(query, 0) : -1;
        sqlite3_finalize(query);
        sqlite3_close(db);
        return version;
    }
};

TEST_F(ChoiceStoreTest, AReadAfterTheFirstGivesOnlyThePlayersChangedSince) {
    SqliteStore otherServer(path);
    ASSERT_EQ(otherServer.Save(std::vector{Off("a", "crates"), Off("b", "crates"), Off("c", "nodes")}), std::nullopt);
    SqliteStore reader(path);
    ASSERT_EQ(Describe(reader.ReadChanges()), "whole | a:crates- b:crates- c:nodes-") << "the first read";

    const struct {
        const char* what;
        std::vector<RowChange> saved;  // by the other server, else
        const char* byHand;            // run by another program
        const char* read;
    } steps[] = {
        {"a group of one player", {Off("b", "nodes")}, nullptr, "players b | b:crates- b:nodes-"},
        {"every row of a player gone", {AllOn("c")}, nullptr, "players c |"},
        {"two players, one twice",
         {Off("a", "nodes"), Off("d", "crates"), AllOn("a")},
         nullptr,
         "players a d | d:crates-"},
        {"a change no server numbered",
         {},
         "UPDATE choices SET hears = 1 WHERE player = 'b' AND grp = 'nodes'",
         "whole | b:crates- b:nodes+ d:crates-"},
        {"numbered again after that", {Off("e", "crates")}, nullptr, "players e | e:crates-"},
    };
    for (const auto& step : steps) {
        if (step.byHand != nullptr) {
            RunByHand(step.byHand);
        } else {
            ASSERT_EQ(otherServer.Save(step.saved), std::nullopt) << step.what;
        }
        ASSERT_TRUE(reader.ChangedElsewhere()) << step.what;
        EXPECT_EQ(Describe(reader.ReadChanges()), step.read) << step.what;
        EXPECT_FALSE(reader.ChangedElsewhere()) << step.what << ": nothing since";
    }
    // The reader's own saves are numbered too: the other server reads them.
    ASSERT_EQ(Describe(otherServer.ReadChanges()), "whole | b:crates- b:nodes+ d:crates- e:crates-");
    ASSERT_EQ(reader.Save(Off("f", "crates")), std::nullopt);
    ASSERT_TRUE(otherServer.ChangedElsewhere());
    EXPECT_EQ(Describe(otherServer.ReadChanges()), "players f | f:crates-");
}

// As the plugin before numbered changes made it: its mark, its table of
// choices, user version 0.
constexpr char EarlierStore[] =
    "PRAGMA application_id=1396918344;"
    "CREATE TABLE choices(player TEXT NOT NULL, grp TEXT NOT NULL, hears INTEGER NOT NULL,"
    " PRIMARY KEY (player, grp)) WITHOUT ROWID;"
    "INSERT INTO choices VALUES ('a', '*', 0), ('a', 'nodes', 1), ('b', 'crates', 0);";

TEST_F(ChoiceStoreTest, AStoreOfAnEarlierVersionIsUpgradedAtItsFirstOpenWithNothingLost) {
    RunByHand(EarlierStore);
    SqliteStore store(path);
    EXPECT_EQ(Describe(store.ReadAll()), "whole | a:*- a:nodes+ b:crates-");
    EXPECT_EQ(UserVersion(), 1);

    SqliteStore otherServer(path);
    ASSERT_EQ(Describe(otherServer.ReadAll()), "whole | a:*- a:nodes+ b:crates-");
    ASSERT_EQ(otherServer.Save(Off("b", "nodes")), std::nullopt);
    ASSERT_TRUE(store.ChangedElsewhere());
    EXPECT_EQ(Describe(store.ReadChanges()), "players b | b:crates- b:nodes-");
}

TEST_F(ChoiceStoreTest, AStoreLockedAtItsFirstOpenIsReadAndUpgradedAtItsFirstSave) {
    RunByHand(EarlierStore);
    SqliteStore store(path);
    {
        HeraldTest::StoreLock otherServer(path);
        ASSERT_TRUE(otherServer.Held());
        EXPECT_EQ(Describe(store.ReadAll()), "whole | a:*- a:nodes+ b:crates-");
    }
    EXPECT_EQ(UserVersion(), 0);
    ASSERT_EQ(store.Save(Off("c", "crates")), std::nullopt);
    EXPECT_EQ(UserVersion(), 1);
    EXPECT_EQ(Describe(SqliteStore(path).ReadAll()), "whole | a:*- a:nodes+ b:crates- c:crates-");
}

TEST_F(ChoiceStoreTest, AStoreThisVersionCantReadIsNeverWritten) {
    const struct {
        const char* what;
        const char* sql;
        const char* reason;
    } stores[] = {
        {"a newer version's", "PRAGMA user_version=2",
         "written by a newer version of SkyCrateHerald, which this one can't read"},
        {"its list of changes dropped", "DROP TABLE changed", "its choices table is missing or has another shape"},
    };
    for (const auto& store : stores) {
        std::filesystem::remove(path);
        ASSERT_EQ(SqliteStore(path).Save(Off("a", "crates")), std::nullopt);
        RunByHand(store.sql);
        const std::string before = HeraldTest::ReadFile(path);
        SqliteStore opened(path);
        const ChoiceStore::Rows read = opened.ReadAll();
        EXPECT_EQ(read.error, store.reason) << store.what;
        EXPECT_THAT(read.rows, IsEmpty()) << store.what;
        EXPECT_EQ(opened.Save(Off("b", "crates")), store.reason) << store.what;
        EXPECT_TRUE(RefusedForGood(store.reason)) << store.what;
        EXPECT_EQ(HeraldTest::ReadFile(path), before) << store.what;
    }
}

}  // namespace
