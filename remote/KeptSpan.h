// Keeps the entry that a read plan over ftp served last, in a file beside the swap file, so
// that reading it a second time (the viewer tests an entry, then extracts it) costs no new
// transfer. The plan's bytes arrive once, in order; without this, going back for the entry
// ended the plan's transfer and started two more for every entry.
//
// The file holds one span of the plan at a time, from its first byte on without holes (the
// bytes between the engine's pieces are taken from the plan too), so it never grows past
// the largest entry.
#pragma once

#include "remote/RangeStream.h"
#include "remote/ReadPlan.h"

#include <cstdint>
#include <string>
#include <vector>

class KeptSpan : public RangeStream {
public:
    KeptSpan() = default;
    ~KeptSpan() override;
    KeptSpan(const KeptSpan&) = delete;
    KeptSpan& operator=(const KeptSpan&) = delete;

    // Starts keeping, in `path`, what is read of the plan's spans.
    void start(std::string path, std::vector<ByteSpan> spans);
    // Forgets what is held and removes the file.
    void clear();
    bool active() const { return !path_.empty(); }
    // True when [first, end) is held, or all of it that the span holding `first` has.
    bool holds(int64_t first, int64_t end) const;
    const std::string& filePath() const { return path_; }
    int64_t heldFirst() const { return first_; }
    int64_t heldEnd() const { return end_; }
    // Where the bytes to keep before a piece at `first` begin: what is held ends before it
    // in the same span. `first` itself when nothing is missing.
    int64_t missingBefore(int64_t first) const;

    // Serves [first, ...) from `source`, keeping every byte read.
    void follow(RangeStream* source, int64_t first);
    std::size_t read(void* buffer, std::size_t n) override;
    void close() override;
    std::string path() const override { return source_ ? source_->path() : path_; }
    std::string failure() const override { return source_ ? source_->failure() : std::string(); }

private:
    // The span holding `pos`; -1 when none does.
    int64_t spanAt(int64_t pos) const;

    std::string path_;
    std::vector<ByteSpan> spans_; // sorted
    int64_t span_ = -1;           // the span the file holds
    int fd_ = -1;
    bool writeFailed_ = false;
    int64_t first_ = 0; // the file holds [first_, end_)
    int64_t end_ = 0;
    RangeStream* source_ = nullptr;
    int64_t pos_ = 0;
};
