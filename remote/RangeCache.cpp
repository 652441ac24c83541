#include "remote/RangeCache.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

constexpr int64_t None = std::numeric_limits<int64_t>::max();

bool writeAllAt(int fd, const char* data, std::size_t n, int64_t offset) {
    while (n > 0) {
        ssize_t done = ::pwrite(fd, data, n, offset);
        if (done <= 0)
            return false;
        data += done;
        n -= static_cast<std::size_t>(done);
        offset += done;
    }
    return true;
}

} // namespace

RangeCache::RangeCache(Limits limits) : limits_(limits) {}

RangeCache::~RangeCache() {
    clear();
}

void RangeCache::clear() {
    segments_.clear();
    memoryUsed_ = 0;
    spilled_.clear();
    spillUsed_ = 0;
    spill_.close();
}

RangeCache::Segments::iterator RangeCache::segmentAt(int64_t pos) {
    auto it = segments_.upper_bound(pos);
    if (it == segments_.begin())
        return segments_.end();
    --it;
    return pos < it->first + static_cast<int64_t>(it->second.bytes.size()) ? it : segments_.end();
}

RangeCache::Segments::const_iterator RangeCache::segmentAt(int64_t pos) const {
    return const_cast<RangeCache*>(this)->segmentAt(pos);
}

std::pair<int64_t, int64_t> RangeCache::spilledAt(int64_t pos) const {
    auto it = spilled_.upper_bound(pos);
    if (it == spilled_.begin())
        return {0, 0};
    --it;
    return pos < it->second ? std::pair<int64_t, int64_t>(it->first, it->second)
                            : std::pair<int64_t, int64_t>{0, 0};
}

bool RangeCache::contains(int64_t pos) const {
    return segmentAt(pos) != segments_.end() || spilledAt(pos).second > pos;
}

int64_t RangeCache::nextCached(int64_t pos) const {
    if (contains(pos))
        return pos;
    int64_t next = None;
    if (auto it = segments_.upper_bound(pos); it != segments_.end())
        next = it->first;
    if (auto it = spilled_.upper_bound(pos); it != spilled_.end())
        next = std::min(next, it->first);
    return next;
}

std::size_t RangeCache::copy(int64_t pos, char* out, std::size_t n) {
    if (auto it = segmentAt(pos); it != segments_.end()) {
        const auto& bytes = it->second.bytes;
        const auto offset = static_cast<std::size_t>(pos - it->first);
        const std::size_t take = std::min(n, bytes.size() - offset);
        std::memcpy(out, bytes.data() + offset, take);
        it->second.lastUse = ++clock_;
        return take;
    }
    auto [first, end] = spilledAt(pos);
    if (end <= pos || spill_.fd() < 0)
        return 0;
    const auto take =
        static_cast<std::size_t>(std::min<int64_t>(static_cast<int64_t>(n), end - pos));
    ssize_t got = ::pread(spill_.fd(), out, take, pos);
    return got > 0 ? static_cast<std::size_t>(got) : 0;
}

void RangeCache::store(int64_t pos, const char* data, std::size_t n, bool spill) {
    while (n > 0) {
        int64_t step;
        if (auto it = segmentAt(pos); it != segments_.end()) {
            step = it->first + static_cast<int64_t>(it->second.bytes.size()) - pos;
        } else if (auto [first, end] = spilledAt(pos); end > pos) {
            step = end - pos;
        } else {
            step = std::min<int64_t>(static_cast<int64_t>(n), nextCached(pos) - pos);
            append(pos, data, static_cast<std::size_t>(step), spill);
        }
        step = std::min<int64_t>(step, static_cast<int64_t>(n));
        pos += step;
        data += step;
        n -= static_cast<std::size_t>(step);
    }
    evictWhileFull();
}

// Grows the segment that ends at `pos` while it is small, so that a stream read in small
// pieces does not become thousands of segments.
void RangeCache::append(int64_t pos, const char* data, std::size_t n, bool spill) {
    if (auto it = segmentAt(pos - 1);
        pos > 0 && it != segments_.end() && it->second.spill == spill &&
        it->first + static_cast<int64_t>(it->second.bytes.size()) == pos) {
        auto& bytes = it->second.bytes;
        const std::size_t take =
            std::min(n, limits_.segmentBytes - std::min(limits_.segmentBytes, bytes.size()));
        bytes.insert(bytes.end(), data, data + take);
        it->second.lastUse = ++clock_;
        memoryUsed_ += take;
        pos += static_cast<int64_t>(take);
        data += take;
        n -= take;
    }
    while (n > 0) {
        const std::size_t take = std::min(n, limits_.segmentBytes);
        Segment& segment = segments_[pos];
        segment.bytes.assign(data, data + take);
        segment.lastUse = ++clock_;
        segment.spill = spill;
        memoryUsed_ += take;
        pos += static_cast<int64_t>(take);
        data += take;
        n -= take;
    }
}

void RangeCache::evictWhileFull() {
    while (!segments_.empty() &&
           (memoryUsed_ > limits_.memoryBytes || segments_.size() > limits_.maxSegments)) {
        auto oldest =
            std::min_element(segments_.begin(), segments_.end(), [](const auto& a, const auto& b) {
                return a.second.lastUse < b.second.lastUse;
            });
        spillOut(oldest->first, oldest->second);
        memoryUsed_ -= oldest->second.bytes.size();
        segments_.erase(oldest);
    }
}

void RangeCache::spillOut(int64_t first, const Segment& segment) {
    const auto size = static_cast<int64_t>(segment.bytes.size());
    if (!segment.spill || spillUsed_ + size > limits_.spillBytes || !openSpillFile())
        return;
    if (!writeAllAt(spill_.fd(), segment.bytes.data(), segment.bytes.size(), first))
        return; // a full disk: the bytes are fetched again when needed
    addSpilled(first, first + size);
    spillUsed_ += size;
}

bool RangeCache::openSpillFile() {
    return spill_.open(spillFolder_, "rangecache");
}

void RangeCache::addSpilled(int64_t first, int64_t end) {
    auto next = spilled_.lower_bound(first);
    if (next != spilled_.end() && next->first == end) {
        end = next->second;
        spilled_.erase(next);
    }
    auto it = spilled_.lower_bound(first);
    if (it != spilled_.begin()) {
        auto previous = std::prev(it);
        if (previous->second == first) {
            previous->second = end;
            return;
        }
    }
    spilled_[first] = end;
}
