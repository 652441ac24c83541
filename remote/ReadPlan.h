// A read plan: the byte spans a job will read, in the order it reads them, and the few
// requests that serve them.
//
// Neighbouring spans share one request when the gap between them is at most `gapLimit`:
// reading through a gap costs its bytes' transfer time, a new request costs a round trip
// (and, with few requests in flight, a stall of the stream). At 512 KiB the gap costs about
// 40 ms at 100 Mbit/s, less than one round trip to a server 50 ms away; on a fast link the
// cost is smaller still, and on loopback a request's fixed cost (a connection's turn in the
// server, a response header) is worth some 100 KiB of bytes. Larger gaps therefore get their
// own request, and the few requests in flight hide their round trips.
#pragma once

#include <cstdint>
#include <vector>

struct ByteSpan {
    int64_t first = 0;
    int64_t end = 0; // one past the last byte
    bool operator==(const ByteSpan&) const = default;
};

struct PlanRequest {
    int64_t first = 0;
    int64_t end = 0;
    // Served by several transfers at once (a large span): bytes ahead of the reader land in a
    // private file rather than in memory.
    bool parallel = false;
    bool operator==(const PlanRequest&) const = default;
};

namespace readplan {

constexpr int64_t GapLimit = 512 * 1024;
// A request at least this long is fetched in parallel segments.
constexpr int64_t ParallelMinimum = 32LL * 1024 * 1024;
constexpr int MaxSegments = 4;

// Spans clipped to [0, length), empty ones dropped. Order is kept: the requests follow the
// reader, so a span that starts before the previous one ends begins a new request.
std::vector<PlanRequest> coalesce(const std::vector<ByteSpan>& spans, int64_t length,
                                  int64_t gapLimit = GapLimit);

// [first, end) cut into `count` nearly equal, contiguous parts.
std::vector<ByteSpan> segments(int64_t first, int64_t end, int count);

// How many segments a transfer of `bytes` is worth: one below ParallelMinimum, else up to
// MaxSegments with each at least a quarter of ParallelMinimum.
int segmentCount(int64_t bytes);

// Whether handing these spans over saves anything: several spans, or one long enough for
// parallel segments. A single small piece is served as well piece by piece.
bool worthPlanning(const std::vector<ByteSpan>& spans);

} // namespace readplan
