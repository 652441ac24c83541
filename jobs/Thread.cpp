#include "jobs/Thread.h"

#include <system_error>

Thread::~Thread() {
    if (!thread_.joinable())
        return;
    // A body still running at process exit is left to the end of the process: joining it
    // could wait on a user interface that no longer answers. A finished body only has its
    // finished handler left, which never blocks.
    if (running_)
        thread_.detach();
    else
        thread_.join();
}

bool Thread::start(std::function<int()> body) {
    bool idle = false;
    if (!running_.compare_exchange_strong(idle, true))
        return false;
    // The previous thread is past its body; joining waits at most for its finished handler.
    if (thread_.joinable())
        thread_.join();
    stopRequested_ = false;
    settled_ = false;
    try {
        thread_ = std::thread(&Thread::entry, this, std::move(body));
    } catch (const std::system_error&) {
        settled_ = true;
        running_ = false;
        return false;
    }
    return true;
}

void Thread::entry(std::function<int()> body) {
    body();
    body = nullptr; // the job's parameter goes before the job counts as ended
    const std::function<void()> finished = finished_;
    stopRequested_ = false;
    running_ = false;
    if (finished)
        finished();
    settled_ = true;
}
