#include "remote/SegmentedDownload.h"

#include "remote/ReadPlan.h"

#include <vector>

namespace {

constexpr int RetriesPerSegment = 2;

struct Segment {
    ByteSpan span;
    int transfer = 0;
    int64_t reached = 0;
    int retries = 0;
};

bool worthRetry(SourceError error) {
    return error == SourceError::NoResponse;
}

} // namespace

SegmentedResult downloadSegments(ParallelFetcher& fetcher, int64_t first, int64_t end, int fd,
                                 int64_t fileOffset, int segments,
                                 const std::function<bool(int64_t)>& progress) {
    std::vector<Segment> parts;
    for (const ByteSpan& span : readplan::segments(first, end, segments)) {
        const int id = fetcher.start(span.first, span.end, fd, span.first - first + fileOffset);
        parts.push_back({span, id, span.first, 0});
    }
    SegmentedResult result;
    auto stopAll = [&] {
        for (Segment& part : parts)
            fetcher.stop(part.transfer);
    };
    for (;;) {
        int64_t done = 0;
        bool all = true;
        for (Segment& part : parts) {
            part.reached = std::max(part.reached, fetcher.reached(part.transfer));
            done += part.reached - part.span.first;
            if (fetcher.finished(part.transfer))
                continue;
            all = false;
            if (!fetcher.failed(part.transfer))
                continue;
            const SourceError error = fetcher.error(part.transfer);
            if (worthRetry(error) && !fetcher.aborted() && part.retries++ < RetriesPerSegment) {
                fetcher.stop(part.transfer);
                part.transfer = fetcher.start(part.reached, part.span.end, fd,
                                              part.reached - first + fileOffset);
                continue;
            }
            result.error = error;
            result.errorText = fetcher.errorText(part.transfer);
            stopAll();
            return result;
        }
        if (progress && !progress(done)) {
            stopAll();
            result.error = SourceError::Cancelled;
            result.errorText = "Cancelled";
            return result;
        }
        if (all)
            break;
        fetcher.pump(std::chrono::milliseconds(100));
    }
    stopAll();
    result.complete = true;
    return result;
}
