// A memory source that can hold a job at a chosen range request until the test lets it go,
// so that a cancel, a close or an open lands at exactly that point.
#pragma once

#include "MemorySource.h"

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace coretest {

class GateSource : public mgtest::MemorySource {
public:
    using MemorySource::MemorySource;

    // Holds the `n`-th range request from now (1 = the next one).
    void holdAt(int n) {
        std::lock_guard lock(mutex_);
        countdown_ = n;
        held_ = false;
        released_ = false;
    }
    bool isHeld() const { return held_; }
    void release() {
        {
            std::lock_guard lock(mutex_);
            released_ = true;
        }
        changed_.notify_all();
    }
    bool requestRange(int64_t first, int64_t last, bool reopenFirst) override {
        {
            std::unique_lock lock(mutex_);
            if (countdown_ > 0 && --countdown_ == 0) {
                held_ = true;
                changed_.wait(lock, [this] { return released_; });
            }
        }
        return MemorySource::requestRange(first, last, reopenFirst);
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int countdown_ = 0;
    std::atomic<bool> held_{false};
    bool released_ = false;
};

} // namespace coretest
