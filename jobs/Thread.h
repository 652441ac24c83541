// The base of the worker jobs: one thread at a time per instance, a polled stop request.
#pragma once

#include <atomic>
#include <functional>
#include <thread>

class Thread {
public:
    Thread() = default;
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;
    virtual ~Thread();

    void requestStop(bool flag = true) { stopRequested_ = flag; }
    bool isStopRequested() const { return stopRequested_; }
    // From a successful start until the body has returned.
    bool isRunning() const { return running_; }
    // Not running, and the finished handler of the last run has returned.
    bool isSettled() const { return !running_ && settled_; }

    // Called on the worker thread right after the body has returned and the job counts as
    // not running. It must not block (a new start waits for it) and must not start this job.
    void setFinishedHandler(std::function<void()> handler) { finished_ = std::move(handler); }

protected:
    // Refused (false) while the body of the previous run has not returned; the body is then
    // dropped. Otherwise runs `body` on a new thread.
    bool start(std::function<int()> body);

private:
    void entry(std::function<int()> body);

    std::thread thread_;
    std::atomic<bool> running_{false};
    std::atomic<bool> settled_{true};
    std::atomic<bool> stopRequested_{false};
    std::function<void()> finished_;
};
