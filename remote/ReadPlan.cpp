#include "remote/ReadPlan.h"

#include <algorithm>

namespace readplan {

std::vector<PlanRequest> coalesce(const std::vector<ByteSpan>& spans, int64_t length,
                                  int64_t gapLimit) {
    std::vector<PlanRequest> requests;
    for (ByteSpan span : spans) {
        span.first = std::max<int64_t>(0, span.first);
        span.end = std::min(span.end, length);
        if (span.end <= span.first)
            continue;
        if (!requests.empty()) {
            PlanRequest& last = requests.back();
            // Inside what the previous request brings already (an entry read twice).
            if (span.first >= last.first && span.end <= last.end)
                continue;
            if (span.first >= last.first && span.first <= last.end + gapLimit) {
                last.end = std::max(last.end, span.end);
                continue;
            }
        }
        requests.push_back({span.first, span.end, false});
    }
    for (PlanRequest& request : requests)
        request.parallel = segmentCount(request.end - request.first) > 1;
    return requests;
}

std::vector<ByteSpan> segments(int64_t first, int64_t end, int count) {
    std::vector<ByteSpan> parts;
    const int64_t size = end - first;
    for (int i = 0; i < count; ++i)
        parts.push_back({first + size * i / count, first + size * (i + 1) / count});
    return parts;
}

int segmentCount(int64_t bytes) {
    if (bytes < ParallelMinimum)
        return 1;
    return static_cast<int>(std::clamp<int64_t>(bytes / (ParallelMinimum / 4), 1, MaxSegments));
}

bool worthPlanning(const std::vector<ByteSpan>& spans) {
    return spans.size() > 1 ||
           (spans.size() == 1 && spans[0].end - spans[0].first >= ParallelMinimum);
}

} // namespace readplan
