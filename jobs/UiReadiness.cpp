#include "jobs/UiReadiness.h"

void UiReadiness::setUiReady(bool ready) {
    {
        std::lock_guard lock(mutex_);
        uiReady_ = ready;
    }
    changed_.notify_all();
}

bool UiReadiness::isUiReady() const {
    std::lock_guard lock(mutex_);
    return uiReady_;
}

void UiReadiness::notify() {
    {
        std::lock_guard lock(mutex_); // orders the change before a waiter's next check
    }
    changed_.notify_all();
}

bool UiReadiness::waitUntil(const std::function<bool()>& condition,
                            const std::function<bool()>& stop, std::chrono::milliseconds recheck) {
    std::unique_lock lock(mutex_);
    for (;;) {
        if (stop())
            return false;
        if (uiReady_ && condition())
            return true;
        changed_.wait_for(lock, recheck);
    }
}
