// A long stretch of the file fetched in up to four parallel segments, each written in place
// (pwrite at its own offset) into a file the caller owns. A server that limits each
// connection's rate is then used four times over; on an unlimited link the segments cost a
// few requests more than one stream and nothing else.
#pragma once

#include "remote/ParallelFetcher.h"

#include <cstdint>
#include <functional>
#include <string>

struct SegmentedResult {
    bool complete = false;
    SourceError error = SourceError::None;
    std::string errorText;
};

// Fetches [first, end) of the fetcher's target into fd at (pos - first + fileOffset) with
// `segments` transfers. `progress` gets the bytes written so far and returns false to stop.
// A segment cut off is taken up again where it stopped, twice at most; a changed file, a
// refusal or a cancel end the download at once.
SegmentedResult downloadSegments(ParallelFetcher& fetcher, int64_t first, int64_t end, int fd,
                                 int64_t fileOffset, int segments,
                                 const std::function<bool(int64_t)>& progress);
