// Serves a read plan over ftp with as few transfers as the gaps allow: one RETR from the
// first span (one REST), read through gaps on the way, and ended with ABOR only where a gap
// is so large that a new REST and RETR (three or four round trips) cost less than its bytes.
//
// The transfer runs on a thread of its own and hands its bytes through a bounded pipe
// (PipeBytes) to the reader, which takes them once, in order; a full pipe holds the
// transfer back. What the plan cannot serve is left to the caller's ordinary path, which
// needs the FTP client: `stopTransfer` first ends the transfer and gives the client back.
#pragma once

#include "remote/RangeStream.h"
#include "remote/ReadPlan.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class FtpRangeReader;

class FtpPlanReader {
public:
    static constexpr int64_t GapLimit = 4 * readplan::GapLimit;
    static constexpr std::size_t PipeBytes = 4 * 1024 * 1024;

    explicit FtpPlanReader(FtpRangeReader& reader) : reader_(reader) {}
    ~FtpPlanReader();
    FtpPlanReader(const FtpPlanReader&) = delete;
    FtpPlanReader& operator=(const FtpPlanReader&) = delete;

    void start(const std::vector<ByteSpan>& spans, int64_t length);
    // Ends the transfer and forgets the plan.
    void clear();
    // Ends the transfer (if one runs); the plan stays and a later read starts a new one.
    void stopTransfer();
    bool covers(int64_t pos) const;
    // Up to n bytes from `pos`; fewer (possibly 0) when the plan cannot serve them.
    std::size_t read(int64_t pos, char* out, std::size_t n);
    // From any thread, with the client's own abort: reads fail until the next plan.
    void cancel();
    void resetCancel() { cancelled_ = false; }
    // How many RETR the plan has sent (for tests and benchmarks).
    int transfers() const { return transfers_; }

private:
    struct Request {
        int64_t first = 0;
        int64_t end = 0;
        bool failed = false;
    };
    class Pipe;

    int find(int64_t pos) const;
    bool startTransfer(std::size_t index, int64_t from);
    void runTransfer(int64_t from, int64_t limit);
    std::size_t takeFromPipe(char* out, std::size_t n);
    bool skipTo(int64_t pos);

    FtpRangeReader& reader_;
    std::vector<Request> requests_;
    std::size_t head_ = 0;
    // The transfer: which request it serves and the offset of the next byte in the pipe.
    bool running_ = false;
    std::size_t serving_ = 0;
    int64_t next_ = 0;
    std::thread worker_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<char> pipe_;
    bool writerDone_ = false;
    bool writerOk_ = false;
    bool stopping_ = false;
    int transfers_ = 0;
    std::atomic<bool> cancelled_{false};
};

// The stream the remote source puts into the zip storage's slot while an ftp plan is served:
// the piece's bytes from the plan, or, where the plan cannot serve them, from a download of
// their own into the swap file.
class FtpPlanStream : public RangeStream {
public:
    FtpPlanStream(FtpPlanReader& plan, FtpRangeReader& reader) : plan_(plan), reader_(reader) {}
    void serve(int64_t first, int64_t end, std::string path);
    std::size_t read(void* buffer, std::size_t n) override;
    void close() override { end_ = pos_; }
    std::string path() const override { return path_; }

private:
    FtpPlanReader& plan_;
    FtpRangeReader& reader_;
    RangeStream* fallback_ = nullptr; // the reader's, valid until its next request
    int64_t pos_ = 0;
    int64_t end_ = 0;
    std::string path_;
};
