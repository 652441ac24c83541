#include "remote/KeptSpan.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

KeptSpan::~KeptSpan() {
    clear();
}

void KeptSpan::start(std::string path, std::vector<ByteSpan> spans) {
    clear();
    std::sort(spans.begin(), spans.end(),
              [](const ByteSpan& a, const ByteSpan& b) { return a.first < b.first; });
    spans_ = std::move(spans);
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd_ >= 0)
        path_ = std::move(path);
}

void KeptSpan::clear() {
    source_ = nullptr;
    if (fd_ >= 0) {
        ::close(fd_);
        ::unlink(path_.c_str());
    }
    fd_ = -1;
    path_.clear();
    spans_.clear();
    span_ = -1;
    first_ = end_ = 0;
    writeFailed_ = false;
}

bool KeptSpan::holds(int64_t first, int64_t end) const {
    if (fd_ < 0 || writeFailed_ || first < first_ || first >= end_ || spanAt(first) != span_)
        return false;
    return end <= end_ || end_ >= spans_[std::size_t(span_)].end;
}

int64_t KeptSpan::spanAt(int64_t pos) const {
    auto after = std::upper_bound(spans_.begin(), spans_.end(), pos,
                                  [](int64_t p, const ByteSpan& s) { return p < s.first; });
    if (after == spans_.begin())
        return -1;
    const auto index = after - spans_.begin() - 1;
    return pos < spans_[std::size_t(index)].end ? index : -1;
}

int64_t KeptSpan::missingBefore(int64_t first) const {
    if (fd_ < 0 || writeFailed_ || span_ < 0 || spanAt(first) != span_ || first <= end_ ||
        end_ <= first_)
        return first;
    return end_;
}

void KeptSpan::follow(RangeStream* source, int64_t first) {
    source_ = source;
    pos_ = first;
    if (fd_ < 0)
        return;
    const int64_t span = spanAt(first);
    if (writeFailed_ || span != span_ || first < first_ || first > end_) {
        // A full disk costs the second reading a transfer, never wrong bytes.
        writeFailed_ = ::ftruncate(fd_, 0) != 0;
        first_ = end_ = first;
        span_ = span;
    }
}

std::size_t KeptSpan::read(void* buffer, std::size_t n) {
    if (!source_)
        return 0;
    const std::size_t got = source_->read(buffer, n);
    if (fd_ >= 0 && !writeFailed_ && got > 0) {
        const char* bytes = static_cast<const char*>(buffer);
        std::size_t done = 0;
        while (done < got) {
            const ssize_t w =
                ::pwrite(fd_, bytes + done, got - done, pos_ - first_ + static_cast<int64_t>(done));
            if (w < 0 && errno == EINTR)
                continue;
            if (w <= 0) {
                writeFailed_ = true;
                break;
            }
            done += static_cast<std::size_t>(w);
        }
        if (!writeFailed_)
            end_ = std::max(end_, pos_ + static_cast<int64_t>(got));
    }
    pos_ += static_cast<int64_t>(got);
    return got;
}

void KeptSpan::close() {
    if (source_)
        source_->close();
    source_ = nullptr;
}
