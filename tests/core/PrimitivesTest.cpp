// The thread base, the readiness wait, progress scaling and the cross-thread view adapter.
#include "CoreTestSupport.h"

#include "jobs/ProgressScale.h"
#include "jobs/Thread.h"
#include "jobs/UiReadiness.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

using namespace coretest;

namespace {

class GatedJob : public Thread {
public:
    bool start() {
        return Thread::start([this] {
            while (!open_)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            sawStop_ = isStopRequested();
            return 0;
        });
    }
    void open() { open_ = true; }
    bool sawStop() const { return sawStop_; }
    std::atomic<int> finished{0};

private:
    std::atomic<bool> open_{false};
    std::atomic<bool> sawStop_{false};
};

bool waitUntil(const std::function<bool()>& condition) {
    return waitFor(condition, std::chrono::seconds(5));
}

// Records the repeated posts and steps as they reach the user-interface thread.
class RepeatRecordingView : public RecordingView, public IProgress {
public:
    int sendMessage(const JobMessage& message) override {
        calls.push_back(messageName(message.id));
        return RecordingView::sendMessage(message);
    }
    void postRepeated(uint32_t id, int times) override {
        calls.push_back("posted " + messageName(id) + " x" + std::to_string(times));
    }
    void setPos(int32_t) override {}
    void setRange32(int32_t, int32_t) override {}
    void setStep(int32_t) override {}
    void stepIt() override { calls.push_back("stepit"); }
    void stepBy(int times) override { calls.push_back("stepby " + std::to_string(times)); }
    std::vector<std::string> calls; // on the user-interface thread only
};

} // namespace

TEST(ThreadBase, AStartWhileRunningIsRefusedAndAStopNeverCarriesOver) {
    GatedJob job;
    job.setFinishedHandler([&] { ++job.finished; });
    ASSERT_TRUE(job.start());
    EXPECT_TRUE(job.isRunning());
    EXPECT_FALSE(job.start());
    job.requestStop();
    job.open();
    ASSERT_TRUE(waitUntil([&] { return job.finished == 1; }));
    EXPECT_TRUE(job.sawStop());
    EXPECT_FALSE(job.isRunning());
    EXPECT_FALSE(job.isStopRequested());

    job.requestStop(); // asked while idle: the next run must not see it
    ASSERT_TRUE(job.start());
    ASSERT_TRUE(waitUntil([&] { return job.finished == 2; }));
    EXPECT_FALSE(job.sawStop());
}

TEST(Readiness, TheWaitEndsWhenReadyOrWhenStopped) {
    UiReadiness readiness;
    std::atomic<bool> open{false}, stop{false};
    auto waiter = std::async(std::launch::async, [&] {
        return readiness.waitUntil([&] { return open.load(); }, [&] { return stop.load(); });
    });
    readiness.setUiReady(true);
    EXPECT_EQ(waiter.wait_for(std::chrono::milliseconds(30)), std::future_status::timeout);
    open = true;
    readiness.notify();
    EXPECT_TRUE(waiter.get());

    UiReadiness never;
    auto stopped = std::async(std::launch::async, [&] {
        return never.waitUntil([] { return true; }, [&] { return stop.load(); });
    });
    stop = true; // no notification: the periodic re-check sees it
    EXPECT_FALSE(stopped.get());
}

TEST(ProgressScaling, SmallTotalsAreCountedInBytes) {
    RecordingProgress bar;
    ProgressScale scale;
    scale.begin(bar, 200000);
    scale.advanceTo(bar, 65535);
    scale.advanceTo(bar, 65535); // no movement, no message
    scale.advanceTo(bar, 100000);
    EXPECT_EQ(bar.calls(), (std::vector<std::string>{"range 0..200000", "pos 0", "step 65535",
                                                     "stepit", "step 34465", "stepit"}));
}

TEST(ProgressScaling, TotalsBeyond31BitsStillMoveInProportion) {
    RecordingProgress bar;
    ProgressScale scale;
    const uint64_t total = 2ull * 3000000000ull; // two passes over 3 GB of entries
    scale.begin(bar, total);
    EXPECT_GT(bar.rangeHigh(), 0);
    EXPECT_LE(static_cast<uint64_t>(bar.rangeHigh()), 0x7FFFFFFFull);
    scale.advanceTo(bar, total / 2);
    EXPECT_NEAR(static_cast<double>(bar.position()) / bar.rangeHigh(), 0.5, 1e-6);
    scale.advanceTo(bar, total);
    EXPECT_EQ(bar.position(), bar.rangeHigh());
}

TEST(BlockingJobView, BatchesKeepTheirPlaceAmongTheCallsAndOnlyOneIsOnItsWay) {
    RecordingView target;
    QObject context;
    BlockingJobView adapter(target, &context);
    auto rows = [](const std::string& prefix, int n) {
        std::vector<EntryRow> batch(static_cast<size_t>(n));
        for (int i = 0; i < n; ++i)
            batch[static_cast<size_t>(i)].name = String(prefix + std::to_string(i));
        return batch;
    };
    std::atomic<int> returned{0};
    std::atomic<bool> done{false};
    std::thread worker([&] {
        EntryRow single;
        single.name = String("single");
        adapter.addRow(single); // waits in the adapter and goes with the next batch
        adapter.addRows(rows("a", 3));
        ++returned;
        adapter.addRows(rows("b", 2));
        ++returned;
        adapter.sendMessage({WM_LIST_COMPLETE, {}, {}});
        done = true;
    });
    // The first batch is queued; the second waits until the user interface took the first.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(returned.load(), 1);
    ASSERT_TRUE(waitFor([&] { return done.load(); }, std::chrono::seconds(10)));
    worker.join();
    EXPECT_EQ(target.events(), (std::vector<std::string>{"row single", "row a0", "row a1", "row a2",
                                                         "row b0", "row b1", "LIST_COMPLETE"}));
    EXPECT_EQ(target.batchSizes(), (std::vector<size_t>{4, 2}));
}

TEST(BlockingJobView, CallsRunOnTheUiThreadInOrderWithTheirAnswers) {
    RecordingView target;
    QObject context;
    BlockingJobView adapter(target, &context);
    const std::thread::id uiThread = std::this_thread::get_id();
    std::atomic<bool> allOnUiThread{true};
    target.onEvent = [&](const std::string&) {
        if (std::this_thread::get_id() != uiThread)
            allOnUiThread = false;
    };
    target.overwriteAnswers = {OverwriteYesToAll};
    std::atomic<int> answer{0};
    std::atomic<bool> done{false};
    std::thread worker([&] {
        for (int i = 0; i < 1000; ++i) {
            EntryRow row;
            row.name = String(std::to_string(i));
            adapter.addRow(row);
        }
        answer = adapter.sendMessage({WM_ASK_OVERWRITE, "/tmp/x", {}});
        done = true;
    });
    ASSERT_TRUE(waitFor([&] { return done.load(); }, std::chrono::seconds(10)));
    worker.join();
    EXPECT_EQ(answer, OverwriteYesToAll);
    EXPECT_TRUE(allOnUiThread);
    const std::vector<std::string> events = target.events();
    ASSERT_EQ(events.size(), 1001u);
    EXPECT_EQ(events[0], "row 0");
    EXPECT_EQ(events[999], "row 999");
    EXPECT_EQ(events[1000], "ASK_OVERWRITE /tmp/x");
}

// A job posts network activity and steps the bar far faster than a busy window takes them
// in: the window gets each run of repeats as one call with their number, in its place among
// the other calls, never one call per repeat.
TEST(BlockingJobView, RepeatsWhileTheWindowIsBusyArriveAsOneCallWithTheirNumber) {
    RepeatRecordingView target;
    QObject context;
    BlockingJobView adapter(target, &context);
    QueuedProgress progress(target, &context);
    std::atomic<bool> posted{false};
    std::atomic<bool> done{false};
    std::thread worker([&] {
        for (int i = 0; i < 1000; ++i)
            adapter.postMessage(WM_NETWORK_ACTIVITY);
        for (int i = 0; i < 500; ++i)
            progress.stepIt();
        posted = true;
        adapter.sendMessage({WM_LIST_COMPLETE, {}, {}});
        done = true;
    });
    // The window handles nothing until the job has posted everything.
    while (!posted)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_TRUE(waitUntil([&] { return done.load(); }));
    worker.join();
    EXPECT_EQ(target.calls, (std::vector<std::string>{"posted NETWORK_ACTIVITY x1000", "stepby 500",
                                                      "LIST_COMPLETE"}));
}
