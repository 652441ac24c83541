#include "remote/PlanRangeStream.h"

#include "remote/HttpArchiveReader.h"
#include "remote/HttpPlanReader.h"

#include <algorithm>

void PlanRangeStream::serve(int64_t first, int64_t end, std::string path, bool keep) {
    pos_ = first;
    end_ = std::max(first, end);
    path_ = std::move(path);
    keep_ = keep;
    fallback_ = false;
    failure_.clear();
}

std::size_t PlanRangeStream::read(void* buffer, std::size_t n) {
    auto* out = static_cast<char*>(buffer);
    n = static_cast<std::size_t>(std::min<int64_t>(end_ - pos_, static_cast<int64_t>(n)));
    std::size_t got = 0;
    while (got < n) {
        const std::size_t want = n - got;
        std::size_t step = 0;
        if (!fallback_ && plan_.covers(pos_)) {
            step = plan_.read(pos_, out + got, want);
            if (step > 0 && keep_)
                reader_.keep(pos_, out + got, step, true);
        }
        const bool fallback = step == 0;
        if (fallback)
            step = readFallback(out + got, want);
        got += step;
        pos_ += static_cast<int64_t>(step);
        // As without a plan: a transfer that fails ends the piece; there is no third attempt.
        if (fallback && step < want) {
            end_ = pos_;
            failure_ = reader_.errorText();
            break;
        }
    }
    return got;
}

// The plan could not serve `pos_`: the reader fetches the rest of the piece with a request of
// its own (and its If-Range still catches a changed file).
std::size_t PlanRangeStream::readFallback(char* out, std::size_t n) {
    if (!fallback_ && !reader_.beginPiece(pos_, end_ - 1))
        return 0;
    fallback_ = true;
    return reader_.read(pos_, out, n, end_);
}
