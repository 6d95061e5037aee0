// The players' store's worker on its own: changes merged while they wait,
// committed in order, and what a stop leaves given back.

#include <algorithm>
#include <thread>

#include "RowChanges.h"
#include "Support.h"
#include "players/SqliteStore.h"
#include "players/StoreWorker.h"

namespace {

using namespace RowChanges;

TEST(MakesMoot, ALaterChangeOfThePlayerThatTouchesEveryGroupOfAnEarlierOne) {
    const struct {
        const char* what;
        RowChange later;
        RowChange earlier;
        bool moot;
    } cases[] = {
        {"the same group again", On("a", "crates"), Off("a", "crates"), true},
        {"another group", Off("a", "nodes"), Off("a", "crates"), false},
        {"another player", On("b", "crates"), Off("a", "crates"), false},
        {"all on after a group", AllOn("a"), Off("a", "crates"), true},
        {"all off after all on", AllOff("a"), AllOn("a"), true},
        {"a group after all off", On("a", "crates"), AllOff("a"), false},
        {"a group of two after one", RowChange{"a", false, {"nodes"}, {{"a", "crates", false}}}, Off("a", "crates"),
         true},
        {"a group after a change of two", Off("a", "crates"),
         RowChange{"a", false, {"nodes"}, {{"a", "crates", false}}}, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(MakesMoot(c.later, c.earlier), c.moot) << c.what;
    }
}

ChoiceStore::Rows Whole(std::vector<ChoiceRow> rows) { return {std::move(rows), true, {}, std::nullopt}; }
ChoiceStore::Rows PlayersRead(std::vector<std::string> players, std::vector<ChoiceRow> rows) {
    return {std::move(rows), false, std::move(players), std::nullopt};
}
ChoiceStore::Rows Failed() { return {{}, true, {}, "database is locked"}; }

std::string Describe(const StoreNews& news) {
    std::vector<std::string> changed;
    for (const auto& [player, rows] : news.changed) {
        std::string text = player + ":";
        for (const ChoiceRow& row : rows) {
            text += row.group + (row.hears ? "+" : "-");
        }
        changed.push_back(text);
    }
    std::sort(changed.begin(), changed.end());
    std::string text = news.whole ? "whole" : "no whole";
    for (const std::string& player : changed) {
        text += " " + player;
    }
    return text + " through " + std::to_string(news.readThrough) + (news.readFailure ? " failed" : "");
}

// Reads the game thread has not collected yet add up to one: the later wins
// for each player it read.
TEST(LayOver, ReadsNotCollectedYetAddUpToTheLatest) {
    const struct {
        const char* what;
        std::vector<ChoiceStore::Rows> reads;
        const char* news;
        std::vector<ChoiceRow> heard;  // checked in the whole read
    } cases[] = {
        {"one read of players", {PlayersRead({"b"}, {{"b", "crates", false}})}, "no whole b:crates- through 2", {}},
        {"two, the later wins for b",
         {PlayersRead({"a", "b"}, {{"a", "nodes", false}, {"b", "crates", false}}),
          PlayersRead({"b", "c"}, {{"c", "*", false}})},
         "no whole a:nodes- b: c:*- through 3",
         {}},
        {"players after the whole store, laid over it",
         {Whole({{"a", "nodes", false}, {"b", "crates", false}}), PlayersRead({"b"}, {{"b", "nodes", false}})},
         "whole through 3",
         {{"a", "nodes", false}, {"b", "crates", true}, {"b", "nodes", false}}},
        {"the whole store after players",
         {PlayersRead({"a"}, {{"a", "nodes", false}}), Whole({{"b", "crates", false}})},
         "whole through 3",
         {{"a", "nodes", true}, {"b", "crates", false}}},
        {"a failure keeps what was read",
         {PlayersRead({"a"}, {{"a", "nodes", false}}), Failed()},
         "no whole a:nodes- through 2 failed",
         {}},
    };
    for (const auto& c : cases) {
        StoreNews pending;
        std::uint64_t through = 1;
        for (const ChoiceStore::Rows& read : c.reads) {
            LayOver(pending, NewsOfRead(read, ++through));
        }
        EXPECT_EQ(Describe(pending), c.news) << c.what;
        for (const ChoiceRow& row : c.heard) {
            EXPECT_EQ(pending.whole->Hears(row.player, row.group), row.hears)
                << c.what << ": " << row.player << " " << row.group;
        }
    }
}

// The worker's first read of the store, within 10 s.
std::unique_ptr<PlayerChoices> FirstRead(StoreWorker& worker) {
    worker.Nudge();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    std::unique_ptr<PlayerChoices> read = worker.Collect().whole;
    while (!read && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        read = worker.Collect().whole;
    }
    return read;
}

class StoreWorkerTest : public ::testing::Test {
protected:
    HeraldTest::ScratchFolder folder;
    std::string path = (folder.root / "players.sqlite").string();

    std::vector<ChoiceRow> Stored() const { return SqliteStore(path).ReadAll().rows; }
};

TEST_F(StoreWorkerTest, AThousandTogglesWhileTheStoreIsLockedWaitAsOneChange) {
    ASSERT_EQ(SqliteStore(path).Save(Off("someone", "nodes")), std::nullopt);
    StoreWorker worker(MakeChoiceStore(path), false);
    ASSERT_NE(FirstRead(worker), nullptr);
    HeraldTest::StoreLock otherServer(path);
    ASSERT_TRUE(otherServer.Held());
    std::uint64_t number = 0;
    for (int i = 0; i < 1000; ++i) {
        worker.Hand({++number, i % 2 == 0 ? Off("a", "crates") : On("a", "crates")});
        worker.Hand({++number, Off("b", "g" + std::to_string(i % 3))});
    }
    const std::vector<NumberedChange> left = worker.Stop(std::chrono::milliseconds(0));
    std::vector<std::uint64_t> numbers;
    for (const NumberedChange& change : left) {
        numbers.push_back(change.number);
    }
    // b's last change of each of three groups and a's last toggle, in order.
    EXPECT_THAT(numbers, ::testing::ElementsAre(1996, 1998, 1999, 2000));
    EXPECT_EQ(Stored().size(), 1u) << "nothing was written past the lock";
}

TEST_F(StoreWorkerTest, WhatWaitsIsCommittedInOrderOnceTheLockEnds) {
    StoreWorker worker(MakeChoiceStore(path), false);
    ASSERT_NE(FirstRead(worker), nullptr);
    worker.Hand({1, Off("a", "crates")});
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (worker.Collect().savedThrough < 1 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_EQ(worker.Collect().savedThrough, 1u);
    HeraldTest::StoreLock otherServer(path);
    ASSERT_TRUE(otherServer.Held());
    worker.Hand({2, AllOff("a")});
    worker.Hand({3, Heard("a", "nodes")});
    while (!worker.Collect().saveFailure && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const StoreNews locked = worker.Collect();
    EXPECT_EQ(locked.saveFailure, "database is locked");
    EXPECT_EQ(locked.savedThrough, 1u);
    otherServer.Release();
    EXPECT_THAT(worker.Stop(std::chrono::seconds(2)), ::testing::IsEmpty()) << "a stop's budget saves what waits";
    PlayerChoices stored;
    for (const ChoiceRow& row : Stored()) {
        stored.Add(row);
    }
    EXPECT_FALSE(stored.Hears("a", "crates"));
    EXPECT_TRUE(stored.Hears("a", "nodes"));
    EXPECT_EQ(Stored().size(), 2u) << "all off, then nodes as its exception: crates' row went with all off";
}

}  // namespace
