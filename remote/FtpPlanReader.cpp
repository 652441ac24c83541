#include "remote/FtpPlanReader.h"

#include "remote/FtpRangeReader.h"
#include "remote/net/FTPFile.h"

#include <algorithm>
#include <chrono>

// The transfer's local file: a pipe to the reader. A write waits while the pipe is full;
// once the reader stops the transfer, bytes are dropped until the client's abort takes hold.
class FtpPlanReader::Pipe : public nsFTP::CFile {
public:
    explicit Pipe(FtpPlanReader& owner) : owner_(owner) {}
    bool write(const char* data, std::size_t count) override {
        std::unique_lock lock(owner_.mutex_);
        owner_.changed_.wait(lock, [&] {
            return owner_.stopping_ || owner_.pipe_.empty() ||
                   owner_.pipe_.size() + count <= PipeBytes;
        });
        if (!owner_.stopping_)
            owner_.pipe_.insert(owner_.pipe_.end(), data, data + count);
        owner_.changed_.notify_all();
        return true;
    }

private:
    FtpPlanReader& owner_;
};

FtpPlanReader::~FtpPlanReader() {
    clear();
}

void FtpPlanReader::start(const std::vector<ByteSpan>& spans, int64_t length) {
    clear();
    cancelled_ = false;
    for (const PlanRequest& request : readplan::coalesce(spans, length, GapLimit))
        requests_.push_back({request.first, request.end, false});
}

void FtpPlanReader::clear() {
    stopTransfer();
    requests_.clear();
    head_ = 0;
}

void FtpPlanReader::stopTransfer() {
    if (!running_)
        return;
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    reader_.client().requestAbort();
    worker_.join();
    // A transfer that had ended by itself leaves the request unanswered: clear it so that
    // the next transfer does not stop at once. The user's cancel stays in force.
    if (!cancelled_)
        reader_.client().clearAbortRequest();
    running_ = false;
    std::lock_guard lock(mutex_);
    pipe_.clear();
    stopping_ = false;
}

int FtpPlanReader::find(int64_t pos) const {
    for (std::size_t i = head_; i < requests_.size(); ++i)
        if (pos >= requests_[i].first && pos < requests_[i].end)
            return static_cast<int>(i);
    return -1;
}

bool FtpPlanReader::covers(int64_t pos) const {
    const int i = find(pos);
    if (i < 0 || requests_[i].failed)
        return false;
    return !running_ || static_cast<std::size_t>(i) != serving_ || pos >= next_;
}

bool FtpPlanReader::startTransfer(std::size_t index, int64_t from) {
    stopTransfer();
    writerDone_ = writerOk_ = false;
    running_ = true;
    serving_ = index;
    next_ = from;
    ++transfers_;
    const int64_t limit = requests_[index].end - from;
    worker_ = std::thread([this, from, limit] { runTransfer(from, limit); });
    return true;
}

void FtpPlanReader::runTransfer(int64_t from, int64_t limit) {
    Pipe pipe(*this);
    bool ok = false;
    try {
        ok = reader_.client().runDataCommand(nsFTP::DataCommand::Retrieve, reader_.remotePath(),
                                             nsFTP::TransferType::image(),
                                             reader_.usesPassiveMode(), from, pipe, limit);
    } catch (...) {
        ok = false;
    }
    std::lock_guard lock(mutex_);
    writerDone_ = true;
    writerOk_ = ok;
    changed_.notify_all();
}

std::size_t FtpPlanReader::takeFromPipe(char* out, std::size_t n) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return !pipe_.empty() || writerDone_ || cancelled_; });
    const std::size_t count = std::min(n, pipe_.size());
    std::copy_n(pipe_.begin(), count, out);
    pipe_.erase(pipe_.begin(), pipe_.begin() + static_cast<long>(count));
    changed_.notify_all();
    next_ += static_cast<int64_t>(count);
    return count;
}

bool FtpPlanReader::skipTo(int64_t pos) {
    char scratch[16 * 1024];
    while (next_ < pos) {
        const auto want = static_cast<std::size_t>(std::min<int64_t>(sizeof scratch, pos - next_));
        if (takeFromPipe(scratch, want) == 0)
            return false;
    }
    return true;
}

void FtpPlanReader::cancel() {
    cancelled_ = true;
    std::lock_guard lock(mutex_);
    stopping_ = true; // a transfer waiting for room in the pipe ends at once
    changed_.notify_all();
}

std::size_t FtpPlanReader::read(int64_t pos, char* out, std::size_t n) {
    const int index = find(pos);
    if (cancelled_ || index < 0 || !covers(pos))
        return 0;
    head_ = static_cast<std::size_t>(index);
    if (!running_ || serving_ != head_)
        startTransfer(head_, pos);
    Request& request = requests_[head_];
    n = static_cast<std::size_t>(std::min<int64_t>(static_cast<int64_t>(n), request.end - pos));
    std::size_t got = skipTo(pos) ? takeFromPipe(out, n) : 0;
    if (got == 0) {
        // The transfer ended before the plan's bytes: the rest goes the ordinary way.
        request.failed = true;
        stopTransfer();
    } else if (next_ >= request.end) {
        stopTransfer();
        ++head_;
    }
    return got;
}

void FtpPlanStream::serve(int64_t first, int64_t end, std::string path) {
    pos_ = first;
    end_ = std::max(first, end);
    path_ = std::move(path);
    fallback_ = nullptr;
}

std::size_t FtpPlanStream::read(void* buffer, std::size_t n) {
    auto* out = static_cast<char*>(buffer);
    n = static_cast<std::size_t>(std::min<int64_t>(end_ - pos_, static_cast<int64_t>(n)));
    std::size_t got = 0;
    while (got < n) {
        std::size_t step = 0;
        if (!fallback_ && plan_.covers(pos_))
            step = plan_.read(pos_, out + got, n - got);
        if (step == 0 && !fallback_) {
            // The rest of the piece comes with a download of its own, as without a plan.
            plan_.stopTransfer();
            fallback_ = reader_.requestRange(pos_, end_);
        }
        if (step == 0 && fallback_)
            step = fallback_->read(out + got, n - got);
        if (step == 0) {
            end_ = pos_;
            break;
        }
        got += step;
        pos_ += static_cast<int64_t>(step);
    }
    return got;
}
