#include "jobs/IconTypeCache.h"

IconTypeCache::IconTypeCache() {
    reset();
}

void IconTypeCache::reset() {
    std::lock_guard lock(mutex_);
    slots_.clear();
    slots_.push_back({"exe", "Application", programIconKey});
}

std::optional<int32_t> IconTypeCache::find(const std::string& extension) const {
    std::lock_guard lock(mutex_);
    for (size_t i = 1; i < slots_.size(); ++i) {
        if (slots_[i].extension == extension)
            return static_cast<int32_t>(i);
    }
    return std::nullopt;
}

int32_t IconTypeCache::append(Slot slot) {
    std::lock_guard lock(mutex_);
    slots_.push_back(std::move(slot));
    return static_cast<int32_t>(slots_.size() - 1);
}

int32_t IconTypeCache::size() const {
    std::lock_guard lock(mutex_);
    return static_cast<int32_t>(slots_.size());
}

IconTypeCache::Slot IconTypeCache::slot(int32_t index) const {
    std::lock_guard lock(mutex_);
    if (index < 0 || static_cast<size_t>(index) >= slots_.size())
        return {};
    return slots_[static_cast<size_t>(index)];
}
