// Carries the jobs' calls onto the user-interface thread: each call waits there until the
// view has handled it (a blocking queued call), as a sent window message would. The user
// interface implements IJobView / IProgress on its own thread and hands these adapters to the
// document. Rows are carried in batches: the list job hands over its own (addRows), and
// single rows are gathered (flushed before any other call, at 256 rows and after 50 ms), which
// keeps a 65,535-entry listing from costing 65,535 thread switches.
//
// The user-interface thread must never wait for a job while it is inside one of these calls'
// targets, or the job and the thread wait for each other. The adapters must outlive the
// events they queued: destroy them after the jobs have ended and the events were handled, or
// together with the context object.
#pragma once

#include "jobs/JobView.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class QObject;

// Posted calls that repeat (the bar's steps, the network-activity message) come by the
// thousand while an archive of many entries is read. Repeats are counted into one queued
// event instead of one event each, and handed over as one call with their number (calling
// the target once per repeat stalled the window for a tenth of a second at a time while a
// million entries were read); a call of another kind closes the batch, so the order of calls
// is kept.
class RepeatBatcher {
public:
    // Queues `call` onto the context's thread, run once with the number of repeats of this
    // batch. Calls with another `key` start a new batch.
    void repeat(QObject* context, uint32_t key, std::function<void(int times)> call);
    // Ends the current batch: later repeats go into a new event after what is queued now.
    void close();

private:
    struct Batch {
        uint32_t key = 0;
        int count = 0;
    };
    std::mutex mutex_;
    std::shared_ptr<Batch> open_;
};

// Lets one batch at a time be on its way to the user interface, so that a job makes its next
// batch while the user interface takes in the last one, and never runs further ahead.
class BatchLane {
public:
    // Waits until no batch is on its way. The lane stays taken while the returned ticket (or a
    // copy) lives: a queued call holds it, and frees the lane when it has run or is dropped.
    std::shared_ptr<void> take();

private:
    struct State {
        std::mutex mutex;
        std::condition_variable freed;
        bool taken = false;
    };
    std::shared_ptr<State> state_ = std::make_shared<State>();
};

class BlockingJobView : public IJobView {
public:
    // `context` lives on the user-interface thread; calls made on that thread run at once.
    BlockingJobView(IJobView& target, QObject* context);

    int sendMessage(const JobMessage& message) override;
    void postMessage(uint32_t id) override;
    void addRow(const EntryRow& row) override;
    // Queued, not waited for: returns once the previous batch has reached the user interface.
    void addRows(std::vector<EntryRow> rows) override;
    void deleteAllItems() override;
    void invalidate() override;
    void hideCancelButton() override;
    int messageBox(const MessageBoxRequest& request) override;
    void updateFromDocument() override;
    // Unlike the other calls, the job waits for the answer without blocking the connection:
    // when the job is told to stop (the program ends, with the question still on screen) it
    // stops waiting and takes the question as cancelled.
    std::optional<CredentialAnswer> askCredentials(const CredentialRequest& request) override;

    static constexpr size_t rowBatch = 256;
    static constexpr std::chrono::milliseconds rowDelay{50};

private:
    // Runs `call` on the context's thread, the pending rows first.
    template <typename Call> auto onUiThread(Call call) -> decltype(call());
    std::vector<EntryRow> takeRows();

    IJobView& target_;
    QObject* context_;
    RepeatBatcher posted_;
    BatchLane batches_;
    std::mutex rowsMutex_;
    std::vector<EntryRow> rows_;
    std::chrono::steady_clock::time_point firstPending_;
};

// The progress control's calls, queued onto the user-interface thread in order with the
// view's calls; nothing waits for them, as nothing depends on their answer.
class QueuedProgress : public IProgress {
public:
    QueuedProgress(IProgress& target, QObject* context);

    void setPos(int32_t position) override;
    void setRange32(int32_t low, int32_t high) override;
    void setStep(int32_t step) override;
    void stepIt() override;

private:
    template <typename Call> void onUiThread(Call call);

    IProgress& target_;
    QObject* context_;
    RepeatBatcher steps_;
};
