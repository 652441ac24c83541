// Carries the jobs' calls onto the test's main thread with standard-library locks only. The
// ThreadSanitizer run uses it instead of the Qt adapters: Qt's own locks are not instrumented,
// so every hand-over through a queued Qt call would be reported as a race.
// Chosen by MG_TEST_PLAIN_MARSHAL=1.
#pragma once

#include "jobs/JobView.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace coretest {

class MainThreadQueue {
public:
    static MainThreadQueue& instance();
    static bool enabled();
    // Runs `call` on the main thread; `wait`: returns once it has run.
    void run(std::function<void()> call, bool wait);
    // On the main thread: runs what is queued.
    void drain();
    // On the main thread: waits up to `timeout` for something to be queued, then drains.
    void drainWaiting(std::chrono::milliseconds timeout);

private:
    struct Item {
        std::function<void()> call;
        bool done = false;
    };
    std::thread::id main_ = std::this_thread::get_id();
    std::mutex mutex_;
    std::condition_variable done_;
    std::condition_variable queued_;
    std::deque<std::shared_ptr<Item>> items_;
};

class PlainMarshalView : public IJobView {
public:
    explicit PlainMarshalView(IJobView& target) : target_(target) {}
    int sendMessage(const JobMessage& message) override;
    void postMessage(uint32_t id) override;
    void addRow(const EntryRow& row) override;
    void addRows(std::vector<EntryRow> rows) override;
    void deleteAllItems() override;
    void invalidate() override;
    void hideCancelButton() override;
    int messageBox(const MessageBoxRequest& request) override;
    void updateFromDocument() override;

private:
    IJobView& target_;
};

class PlainMarshalProgress : public IProgress {
public:
    explicit PlainMarshalProgress(IProgress& target) : target_(target) {}
    void setPos(int32_t position) override;
    void setRange32(int32_t low, int32_t high) override;
    void setStep(int32_t step) override;
    void stepIt() override;

private:
    IProgress& target_;
};

} // namespace coretest
