// The live requests' hand-over between the game thread and the worker, under
// one lock (the class is described in Requests.h).

#include <mutex>
#include <utility>

#include "Requests.h"

namespace StandIn::detail {

void LiveExchange::Notify() {
    work_.notify_one();
    if (wake_) {
        wake_();
    }
}

void LiveExchange::Submit(HttpJob job) {
    const std::lock_guard lock(mutex_);
    queued_.push_back(std::move(job));
    Notify();
}

std::optional<std::pair<std::uint64_t, ArkApi::HttpReply>> LiveExchange::NextDone() {
    const std::lock_guard lock(mutex_);
    if (done_.empty()) {
        return std::nullopt;
    }
    auto next = std::move(done_.front());
    done_.pop_front();
    return next;
}

std::size_t LiveExchange::DoneCount() {
    const std::lock_guard lock(mutex_);
    return done_.size();
}

bool LiveExchange::WaitForTransfers(std::chrono::steady_clock::time_point deadline) {
    std::unique_lock lock(mutex_);
    return ended_.wait_until(lock, deadline,
                             [this] { return queued_.empty() && started_.size() == cancelled_.size(); });
}

void LiveExchange::Abandon(const std::unordered_set<std::uint64_t>& ids) {
    const std::lock_guard lock(mutex_);
    const auto abandoned = [&ids](const auto& entry) { return ids.count(entry.first) > 0; };
    std::erase_if(queued_, [&ids](const HttpJob& job) { return ids.count(job.id) > 0; });
    std::erase_if(done_, abandoned);
    for (const std::uint64_t id : ids) {
        if (started_.count(id) > 0) {
            cancelled_.insert(id);
        }
    }
    // The worker may stop what it no longer needs to carry on.
    if (!cancelled_.empty()) {
        Notify();
    }
}

bool LiveExchange::Take(std::vector<HttpJob>& jobs, std::vector<std::uint64_t>& cancelled, bool idle,
                        std::size_t most) {
    std::unique_lock lock(mutex_);
    if (idle) {
        work_.wait(lock, [this] { return stopping_ || !queued_.empty() || !cancelled_.empty(); });
    }
    if (stopping_) {
        return false;
    }
    for (; most > 0 && !queued_.empty(); --most) {
        started_.insert(queued_.front().id);
        jobs.push_back(std::move(queued_.front()));
        queued_.pop_front();
    }
    for (const std::uint64_t id : cancelled_) {
        started_.erase(id);
        cancelled.push_back(id);
    }
    cancelled_.clear();
    return true;
}

void LiveExchange::Report(std::uint64_t id, ArkApi::HttpReply reply) {
    const std::lock_guard lock(mutex_);
    started_.erase(id);
    if (cancelled_.erase(id) == 0) {
        done_.emplace_back(id, std::move(reply));
    }
    ended_.notify_all();
}

void LiveExchange::SetWake(std::function<void()> wake) {
    const std::lock_guard lock(mutex_);
    wake_ = std::move(wake);
}

void LiveExchange::Stop() {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
    Notify();
}

}  // namespace StandIn::detail
