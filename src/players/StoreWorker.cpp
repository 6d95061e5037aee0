#include "players/StoreWorker.h"

#include <algorithm>
#include <iterator>
#include <unordered_map>

#include "players/ChoiceStore.h"

namespace {

using Clock = std::chrono::steady_clock;

// While it stops, a worker whose save failed tries again this often.
constexpr std::chrono::milliseconds RetryWhileStopping{50};

using Committed = std::unordered_map<std::string, std::vector<RowChange>>;

std::unique_ptr<PlayerChoices> ChoicesOf(const std::vector<ChoiceRow>& rows) {
    auto choices = std::make_unique<PlayerChoices>();
    for (const ChoiceRow& row : rows) {
        choices->Add(row);
    }
    return choices;
}

}  // namespace

StoreNews NewsOfRead(ChoiceStore::Rows rows, std::uint64_t readThrough) {
    StoreNews news;
    news.readFailure = std::move(rows.error);
    if (news.readFailure) {
        return news;
    }
    if (rows.whole) {
        news.whole = ChoicesOf(rows.rows);
    } else {
        for (const std::string& player : rows.players) {
            news.changed[player];
        }
        for (ChoiceRow& row : rows.rows) {
            news.changed[row.player].push_back(std::move(row));
        }
    }
    news.read = true;
    news.readThrough = readThrough;
    return news;
}

void LayOver(StoreNews& pending, StoreNews read) {
    pending.readFailure = std::move(read.readFailure);
    if (!read.read) {
        return;
    }
    if (read.whole) {
        pending.whole = std::move(read.whole);
        pending.changed.clear();
    } else if (pending.whole) {
        for (const auto& [player, rows] : read.changed) {
            pending.whole->Replace(player, rows);
        }
    } else {
        for (auto& [player, rows] : read.changed) {
            pending.changed[player] = std::move(rows);
        }
    }
    pending.read = true;
    pending.readThrough = read.readThrough;
}

StoreWorker::StoreWorker(std::unique_ptr<ChoiceStore> store, bool readHere)
    : store_(std::move(store)), readHere_(readHere) {
    if (readHere) {
        // Past its bound the server starts with what it holds, and the
        // worker reads again at its first look.
        store_->BoundNextRead(FirstReadBound);
        Publish(store_->ReadAll(), 0);
    }
}

void StoreWorker::Start() {
    if (thread_.joinable()) {
        return;
    }
    thread_ = std::thread([this] { Run(); });
    std::unique_lock lock(mutex_);
    started_.wait(lock, [this] { return running_; });
}

StoreWorker::~StoreWorker() {
    if (thread_.joinable()) {
        Stop(std::chrono::milliseconds(0));
    }
}

void StoreWorker::Hand(NumberedChange change) {
    Start();
    {
        std::lock_guard lock(mutex_);
        std::erase_if(queue_, [&](const NumberedChange& earlier) { return MakesMoot(change.change, earlier.change); });
        queue_.push_back(std::move(change));
    }
    wake_.notify_one();
}

StoreNews StoreWorker::Collect() {
    std::lock_guard lock(mutex_);
    StoreNews news;
    news.whole = std::move(news_.whole);
    news.changed = std::exchange(news_.changed, {});
    news.read = std::exchange(news_.read, false);
    news.readThrough = news_.readThrough;
    news.savedThrough = news_.savedThrough;
    news.readFailure = news_.readFailure;
    news.saveFailure = news_.saveFailure;
    news.replacements = news_.replacements;
    return news;
}

void StoreWorker::Nudge() {
    Start();
    {
        std::lock_guard lock(mutex_);
        nudged_ = true;
    }
    wake_.notify_one();
}

void StoreWorker::Dispose(std::unique_ptr<PlayerChoices> choices) {
    {
        std::lock_guard lock(mutex_);
        disposed_.push_back(std::move(choices));
    }
    wake_.notify_one();
}

std::vector<NumberedChange> StoreWorker::Stop(std::chrono::milliseconds budget) {
    if (!thread_.joinable()) {
        return std::move(queue_);
    }
    {
        std::lock_guard lock(mutex_);
        stopBy_ = Clock::now() + budget;
    }
    wake_.notify_one();
    if (WorkerThreadsJoin) {
        thread_.join();
    } else {
        // Waited for whole: the library must not be unmapped while the worker
        // runs its code, and its work ends within the budget and one call to
        // the store. Not at the process's end, when it is gone already.
        if (!ProcessEnding()) {
            end_.AwaitFinish();
        }
        thread_.detach();
    }
    return std::move(queue_);
}

void StoreWorker::Run() {
    {
        std::lock_guard lock(mutex_);
        running_ = true;
    }
    started_.notify_all();
    Work();
    store_.reset();
    end_.Finish();
}

void StoreWorker::Publish(ChoiceStore::Rows rows, std::uint64_t readThrough) {
    // Made before the lock: the game thread collects under it.
    StoreNews read = NewsOfRead(std::move(rows), readThrough);
    std::lock_guard lock(mutex_);
    LayOver(news_, std::move(read));
}

void StoreWorker::Work() {
    ChoiceStore& store = *store_;
    std::uint64_t committed = 0;
    bool first = !readHere_;
    std::unique_lock lock(mutex_);
    bool readFailed = news_.readFailure.has_value();
    // What this server committed, by player, since the last read and since
    // the start: written again to a file found in the store's place (since
    // the last read), or made where it was deleted (since the start: every
    // server of a cluster gives its own players' choices back), so that
    // nothing replied to is lost.
    Committed sinceRead;
    Committed sinceStart;
    const Committed* rewrite = nullptr;
    for (;;) {
        if (!first) {
            wake_.wait(lock, [this] {
                return stopBy_ || nudged_ || !disposed_.empty() || (!queue_.empty() && !retryAfterFailure_);
            });
        }
        const bool stopping = stopBy_.has_value();
        // A file that is no store of ours takes nothing, however long it is
        // given.
        const bool refused = news_.saveFailure && RefusedForGood(*news_.saveFailure);
        if (stopping && (queue_.empty() || refused || Clock::now() >= *stopBy_)) {
            break;
        }
        const bool look = first || std::exchange(nudged_, false);
        std::vector<NumberedChange> batch;
        if (!queue_.empty() && (!retryAfterFailure_ || look || stopping)) {
            batch = std::exchange(queue_, {});
        }
        std::vector<std::unique_ptr<PlayerChoices>> disposed = std::exchange(disposed_, {});
        lock.unlock();

        disposed.clear();
        // Once a second: the file deleted, or another renamed over it, is let
        // go, and what the path names now takes this server's changes again.
        const StoreReplacement replacement = look ? store.LetGoIfReplaced() : StoreReplacement::None;
        const bool replaced = replacement != StoreReplacement::None;
        if (replaced) {
            rewrite = replacement == StoreReplacement::Replaced ? &sinceRead : &sinceStart;
            rewrite = rewrite->empty() ? nullptr : rewrite;
        }
        std::vector<RowChange> changes;
        if (rewrite) {
            for (const auto& [player, theirs] : *rewrite) {
                changes.insert(changes.end(), theirs.begin(), theirs.end());
            }
        }
        for (const NumberedChange& numbered : batch) {
            changes.push_back(numbered.change);
        }
        std::optional<std::string> saveFailure;
        if (!changes.empty()) {
            saveFailure = store.Save(changes);
        }
        if (!changes.empty() && !saveFailure) {
            rewrite = nullptr;
            for (const NumberedChange& numbered : batch) {
                AddInPlaceOfMoot(sinceRead[numbered.change.player], numbered.change);
                AddInPlaceOfMoot(sinceStart[numbered.change.player], numbered.change);
            }
            if (!batch.empty()) {
                committed = batch.back().number;
            }
        }
        // Another server's changes are looked for once a second; a read
        // that failed is tried again then. A file in the store's place is
        // read once it holds this server's changes.
        if (look && !rewrite && (first || readFailed || replaced || store.ChangedElsewhere())) {
            ChoiceStore::Rows rows = store.ReadChanges();
            readFailed = rows.error.has_value();
            if (!readFailed) {
                sinceRead.clear();
            }
            Publish(std::move(rows), committed);
        }

        lock.lock();
        news_.replacements += replaced ? 1 : 0;
        if (saveFailure) {
            // Back before what came since, in the order made, less what that
            // made moot.
            std::erase_if(batch, [this](const NumberedChange& earlier) {
                return std::any_of(queue_.begin(), queue_.end(), [&](const NumberedChange& later) {
                    return MakesMoot(later.change, earlier.change);
                });
            });
            queue_.insert(queue_.begin(), std::make_move_iterator(batch.begin()), std::make_move_iterator(batch.end()));
            news_.saveFailure = std::move(saveFailure);
            retryAfterFailure_ = true;
        } else if (!batch.empty()) {
            news_.savedThrough = committed;
            news_.saveFailure.reset();
            retryAfterFailure_ = false;
        }
        first = false;
        // Paced by a sleep, not a timed wait: the stop may come from the
        // library's detach entry, and winpthreads' timed wait then never
        // returns under the loader lock (seen under Wine).
        if (stopping && retryAfterFailure_) {
            lock.unlock();
            std::this_thread::sleep_for(RetryWhileStopping);
            lock.lock();
        }
    }
}
