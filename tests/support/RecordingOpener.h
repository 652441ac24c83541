// A stand-in for "open with the desktop's default program" that records what it was asked to
// open, from any thread, and always succeeds.
#pragma once

#include "platform/DesktopServices.h"

#include <mutex>
#include <string>
#include <vector>

namespace mgtest {

class RecordingOpener : public IDesktopOpener {
public:
    bool openLocalFile(const std::string& path) override {
        std::lock_guard lock(mutex_);
        opened_.push_back(path);
        return true;
    }
    std::vector<std::string> opened() const {
        std::lock_guard lock(mutex_);
        return opened_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> opened_;
};

} // namespace mgtest
