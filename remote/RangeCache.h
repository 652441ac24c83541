// Bytes of the open archive fetched recently, kept by their offset in the archive, so that a
// piece the engine asks for again (the extraction pass after the test pass of a preview, the
// end record inside the tail) is served without the network.
//
// Memory holds at most `memoryBytes`; the least recently used segments then move to a spill
// file in the temporary folder (a sparse file at the archive's own offsets), which holds at
// most `spillBytes`; what fits nowhere is forgotten. Only bytes of one version of one file
// are ever kept: the owner clears the cache whenever the file or its version changes.
#pragma once

#include "remote/SpillFile.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

struct RangeCacheLimits {
    std::size_t memoryBytes = 8 * 1024 * 1024;
    int64_t spillBytes = 512LL * 1024 * 1024;
    std::size_t segmentBytes = 1024 * 1024;
    std::size_t maxSegments = 4096;
};

class RangeCache {
public:
    using Limits = RangeCacheLimits;

    explicit RangeCache(Limits limits = {});
    ~RangeCache();
    RangeCache(const RangeCache&) = delete;
    RangeCache& operator=(const RangeCache&) = delete;

    // Where the spill file goes; empty: $TMPDIR or /tmp.
    void setSpillFolder(std::string folder) { spillFolder_ = std::move(folder); }
    // Forgets everything and removes the spill file.
    void clear();

    // Copies the cached bytes from `pos` on, at most n; 0 when `pos` is not cached.
    std::size_t copy(int64_t pos, char* out, std::size_t n);
    bool contains(int64_t pos) const;
    // The first cached offset at or after `pos`; INT64_MAX when there is none.
    int64_t nextCached(int64_t pos) const;
    // Keeps the bytes that are not cached yet. `spill`: worth moving to the spill file when
    // memory runs out (false for a save's stream, which is read once).
    void store(int64_t pos, const char* data, std::size_t n, bool spill = true);

    std::size_t memoryBytes() const { return memoryUsed_; }
    int64_t spilledBytes() const { return spillUsed_; }

private:
    struct Segment {
        std::vector<char> bytes;
        uint64_t lastUse = 0;
        bool spill = true;
    };
    using Segments = std::map<int64_t, Segment>;

    Segments::iterator segmentAt(int64_t pos);
    Segments::const_iterator segmentAt(int64_t pos) const;
    // The spilled interval that holds `pos`, as [first, end); {0, 0} when none.
    std::pair<int64_t, int64_t> spilledAt(int64_t pos) const;
    void append(int64_t pos, const char* data, std::size_t n, bool spill);
    void evictWhileFull();
    void spillOut(int64_t first, const Segment& segment);
    bool openSpillFile();
    void addSpilled(int64_t first, int64_t end);

    Limits limits_;
    std::string spillFolder_;
    Segments segments_;
    std::size_t memoryUsed_ = 0;
    uint64_t clock_ = 0;
    // Spilled intervals [first, end), disjoint, keyed by first.
    std::map<int64_t, int64_t> spilled_;
    int64_t spillUsed_ = 0;
    SpillFile spill_;
};
