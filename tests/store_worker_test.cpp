// The players' store's worker on its own: changes merged while they wait,
// committed in order, and what a stop leaves given back.

#include <thread>

#include "Support.h"
#include "players/ChoiceStore.h"
#include "players/StoreWorker.h"

namespace {

RowChange Off(const std::string& player, const std::string& group) {
    return {player, false, {}, {{player, group, false}}};
}
RowChange On(const std::string& player, const std::string& group) { return {player, false, {group}, {}}; }
// A group heard as the exception to "off all".
RowChange Heard(const std::string& player, const std::string& group) {
    return {player, false, {}, {{player, group, true}}};
}
RowChange AllOff(const std::string& player) { return {player, true, {}, {{player, "*", false}}}; }
RowChange AllOn(const std::string& player) { return {player, true, {}, {}}; }

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

// The worker's first read of the store, within 10 s.
std::unique_ptr<PlayerChoices> FirstRead(StoreWorker& worker) {
    worker.Nudge();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    std::unique_ptr<PlayerChoices> read = worker.Collect().read;
    while (!read && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        read = worker.Collect().read;
    }
    return read;
}

class StoreWorkerTest : public ::testing::Test {
protected:
    HeraldTest::ScratchFolder folder;
    std::string path = (folder.root / "players.sqlite").string();

    std::vector<ChoiceRow> Stored() const { return ChoiceStore(path).ReadAll().rows; }
};

TEST_F(StoreWorkerTest, AThousandTogglesWhileTheStoreIsLockedWaitAsOneChange) {
    ASSERT_EQ(ChoiceStore(path).Save(Off("someone", "nodes")), std::nullopt);
    StoreWorker worker(path, false);
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
    StoreWorker worker(path, false);
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
