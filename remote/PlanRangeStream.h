// The stream the remote source puts into the zip storage's slot while a read plan is served
// over http: the piece's bytes come from the plan, and whatever the plan cannot serve (a
// request that failed, a byte it does not hold) from the archive reader's ordinary path.
#pragma once

#include "remote/RangeStream.h"

#include <cstdint>
#include <string>

class HttpArchiveReader;
class HttpPlanReader;

class PlanRangeStream : public RangeStream {
public:
    PlanRangeStream(HttpPlanReader& plan, HttpArchiveReader& reader)
        : plan_(plan), reader_(reader) {}

    // Serves [first, end). `keep`: the bytes go into the reader's cache too (the job reads
    // each entry twice: test pass, then extraction).
    void serve(int64_t first, int64_t end, std::string path, bool keep);

    std::size_t read(void* buffer, std::size_t n) override;
    void close() override { end_ = pos_; }
    std::string path() const override { return path_; }
    std::string failure() const override { return failure_; }

private:
    std::size_t readFallback(char* out, std::size_t n);

    HttpPlanReader& plan_;
    HttpArchiveReader& reader_;
    int64_t pos_ = 0;
    int64_t end_ = 0;
    bool keep_ = false;
    bool fallback_ = false; // the rest of the piece comes the ordinary way
    std::string path_;
    std::string failure_;
};
