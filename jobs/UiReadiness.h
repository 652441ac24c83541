// The jobs wait until the user interface can take their messages and the document is open.
// The wait blocks on a condition instead of polling, and ends early when the job is asked to
// stop (an open that never comes would otherwise keep the job alive for ever).
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

class UiReadiness {
public:
    // Called by the user interface once the view, the frame and its progress control exist,
    // and with false when they go away.
    void setUiReady(bool ready);
    bool isUiReady() const;
    // Wakes the waiters to re-check (the document's open state or a stop request changed).
    void notify();
    // Waits until the user interface is ready and `condition` holds (true), or until `stop`
    // holds (false). `condition` and `stop` are re-read after every change and at least every
    // `recheck`, as a stop request may come without a notification.
    bool waitUntil(const std::function<bool()>& condition, const std::function<bool()>& stop,
                   std::chrono::milliseconds recheck = std::chrono::milliseconds(100));

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool uiReady_ = false;
};
