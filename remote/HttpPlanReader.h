// Serves a read plan over HTTP: the plan's requests stream ahead of the reader, at most
// ParallelFetcher::MaxTransfers at once, and the reader takes their bytes once, in order.
//
// Memory: the transfers' bytes waiting for the reader stay under ParallelFetcher::MemoryLimit
// (32 MiB; a transfer on the wire counts with what it may still bring, at most 8 MiB), and
// libcurl holds one 256 KiB receive buffer per transfer: under 34 MiB whatever the plan's
// size, beside the range cache's 8 MiB. A large request (readplan::ParallelMinimum) is fetched in
// up to four segments: the first streams to the reader, the others land in a private spill file at
// their own offsets and are read from there; the file's space is given back as the reader passes.
//
// What the plan cannot serve (a request that failed, a byte behind the reader, a byte in no
// request) is left to the caller, which fetches it the ordinary way: a failure costs one
// request, never an entry.
#pragma once

#include "remote/ParallelFetcher.h"
#include "remote/ReadPlan.h"
#include "remote/SourceError.h"
#include "remote/SpillFile.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class HttpPlanReader {
public:
    // A skip forward over bytes that have not arrived yet, longer than this, restarts the
    // request at the wanted byte instead of reading through (an entry the job left out).
    static constexpr int64_t RestartLimit = 2 * readplan::GapLimit;

    explicit HttpPlanReader(ParallelFetcher& fetcher) : fetcher_(fetcher) {}
    ~HttpPlanReader();
    HttpPlanReader(const HttpPlanReader&) = delete;
    HttpPlanReader& operator=(const HttpPlanReader&) = delete;

    void setSpillFolder(std::string folder) { spillFolder_ = std::move(folder); }
    // Starts the plan; the fetcher's target must be set.
    void start(const std::vector<PlanRequest>& requests);
    // Ends every transfer and forgets the plan.
    void clear();
    bool active() const { return head_ < pieces_.size(); }

    // True when the byte at `pos` is still to come from the plan.
    bool covers(int64_t pos) const;
    // Up to n bytes from `pos`; fewer (possibly 0) when the plan cannot serve them.
    std::size_t read(int64_t pos, char* out, std::size_t n);

    SourceError error() const { return error_; }
    const std::string& errorText() const { return errorText_; }

private:
    struct Piece {
        int64_t first = 0;
        int64_t end = 0;
        bool toFile = false;
        int transfer = 0; // 0: not started
        int64_t consumed = 0;
        bool failed = false;
    };

    int find(int64_t pos) const;
    void advanceTo(std::size_t index);
    void fillWindow();
    void startPiece(Piece& piece, int64_t from);
    bool skipTo(Piece& piece, int64_t pos);
    std::size_t readMemory(Piece& piece, char* out, std::size_t n);
    std::size_t readFile(Piece& piece, int64_t pos, char* out, std::size_t n);
    bool waitFor(Piece& piece, int64_t pos);
    void pieceFailed(Piece& piece);
    void finishPiece(Piece& piece);
    bool openSpill();

    ParallelFetcher& fetcher_;
    std::vector<Piece> pieces_;
    std::size_t head_ = 0;
    std::string spillFolder_;
    SpillFile spill_;
    SourceError error_ = SourceError::None;
    std::string errorText_;
};
