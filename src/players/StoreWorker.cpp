#include "players/StoreWorker.h"

#include <algorithm>
#include <iterator>

#include "players/ChoiceStore.h"

namespace {

using Clock = std::chrono::steady_clock;

// While it stops, a worker whose save failed tries again this often.
constexpr std::chrono::milliseconds RetryWhileStopping{50};

std::unique_ptr<PlayerChoices> ChoicesOf(const std::vector<ChoiceRow>& rows) {
    auto choices = std::make_unique<PlayerChoices>();
    for (const ChoiceRow& row : rows) {
        choices->Add(row);
    }
    return choices;
}

}  // namespace

StoreWorker::StoreWorker(std::string path) : path_(std::move(path)), thread_([this] { Run(); }) {}

StoreWorker::~StoreWorker() {
    if (thread_.joinable()) {
        Stop(std::chrono::milliseconds(0));
    }
}

void StoreWorker::Hand(NumberedChange change) {
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
    news.read = std::move(news_.read);
    news.readThrough = news_.readThrough;
    news.savedThrough = news_.savedThrough;
    news.readFailure = news_.readFailure;
    news.saveFailure = news_.saveFailure;
    return news;
}

void StoreWorker::Nudge() {
    {
        std::lock_guard lock(mutex_);
        nudged_ = true;
    }
    wake_.notify_one();
}

bool StoreWorker::AwaitFirstRead(std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    return firstRead_.wait_for(lock, limit, [this] { return readDone_; });
}

void StoreWorker::Dispose(std::unique_ptr<PlayerChoices> choices) {
    {
        std::lock_guard lock(mutex_);
        disposed_.push_back(std::move(choices));
    }
    wake_.notify_one();
}

std::vector<NumberedChange> StoreWorker::Stop(std::chrono::milliseconds budget) {
    {
        std::lock_guard lock(mutex_);
        stopBy_ = Clock::now() + budget;
    }
    wake_.notify_one();
    thread_.join();
    return std::move(queue_);
}

void StoreWorker::Run() {
    ChoiceStore store(path_);
    std::uint64_t committed = 0;
    bool readFailed = false;
    bool first = true;
    std::unique_lock lock(mutex_);
    for (;;) {
        if (!first) {
            wake_.wait(lock, [this] {
                return stopBy_ || nudged_ || !disposed_.empty() || (!queue_.empty() && !retryAfterFailure_);
            });
        }
        const bool stopping = stopBy_.has_value();
        if (stopping && (queue_.empty() || Clock::now() >= *stopBy_)) {
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
        std::optional<std::string> saveFailure;
        if (!batch.empty()) {
            std::vector<RowChange> changes;
            changes.reserve(batch.size());
            for (const NumberedChange& numbered : batch) {
                changes.push_back(numbered.change);
            }
            saveFailure = store.Save(changes);
        }
        if (!batch.empty() && !saveFailure) {
            committed = batch.back().number;
        }
        // Another server's changes are looked for once a second; a read
        // that failed is tried again then.
        std::optional<ChoiceStore::Rows> rows;
        if (look && (first || readFailed || store.ChangedElsewhere())) {
            rows = store.ReadAll();
            readFailed = rows->error.has_value();
        }
        std::unique_ptr<PlayerChoices> read = rows && !rows->error ? ChoicesOf(rows->rows) : nullptr;

        lock.lock();
        if (saveFailure) {
            // Back before what came since, in the order made.
            queue_.insert(queue_.begin(), std::make_move_iterator(batch.begin()), std::make_move_iterator(batch.end()));
            news_.saveFailure = std::move(saveFailure);
            retryAfterFailure_ = true;
        } else if (!batch.empty()) {
            news_.savedThrough = committed;
            news_.saveFailure.reset();
            retryAfterFailure_ = false;
        }
        if (rows && rows->error) {
            news_.readFailure = rows->error;
        } else if (read) {
            news_.readFailure.reset();
            news_.read = std::move(read);
            news_.readThrough = committed;
        }
        if (first) {
            first = false;
            readDone_ = true;
            firstRead_.notify_all();
        }
        if (stopping && retryAfterFailure_) {
            wake_.wait_until(lock, std::min(*stopBy_, Clock::now() + RetryWhileStopping));
        }
    }
}
