#include "remote/HttpPlanReader.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

namespace {

// How long one wait inside `read` lasts before the abort flag is looked at again; an abort
// also wakes the wait at once.
constexpr std::chrono::milliseconds PollSlice{100};

} // namespace

HttpPlanReader::~HttpPlanReader() {
    clear();
}

void HttpPlanReader::clear() {
    for (Piece& piece : pieces_)
        if (piece.transfer)
            fetcher_.stop(piece.transfer);
    pieces_.clear();
    head_ = 0;
    spill_.close();
}

void HttpPlanReader::start(const std::vector<PlanRequest>& requests) {
    clear();
    error_ = SourceError::None;
    errorText_.clear();
    for (const PlanRequest& request : requests) {
        const int count =
            request.parallel ? readplan::segmentCount(request.end - request.first) : 1;
        bool first = true;
        for (const ByteSpan& part : readplan::segments(request.first, request.end, count)) {
            pieces_.push_back({part.first, part.end, !first, 0, part.first, false});
            first = false;
        }
    }
    fillWindow();
}

int HttpPlanReader::find(int64_t pos) const {
    for (std::size_t i = head_; i < pieces_.size(); ++i)
        if (pos >= pieces_[i].first && pos < pieces_[i].end)
            return static_cast<int>(i);
    return -1;
}

bool HttpPlanReader::covers(int64_t pos) const {
    const int i = find(pos);
    if (i < 0 || pieces_[i].failed)
        return false;
    // A memory piece only goes forward; a file piece can be read anywhere ahead.
    return pos >= pieces_[i].consumed || pieces_[i].toFile;
}

// Keeps up to MaxTransfers requests on the wire. A request that has arrived whole waits for
// the reader without a connection, so the next one starts; the bytes waiting in memory stay
// within MemoryLimit all the same.
void HttpPlanReader::fillWindow() {
    int onTheWire = 0;
    std::size_t waiting = 0;
    for (std::size_t i = head_; i < pieces_.size(); ++i) {
        Piece& piece = pieces_[i];
        if (piece.failed)
            continue;
        if (onTheWire == ParallelFetcher::MaxTransfers || waiting >= ParallelFetcher::MemoryLimit)
            break;
        if (!piece.transfer)
            startPiece(piece, piece.consumed);
        if (!fetcher_.finished(piece.transfer))
            ++onTheWire;
        // A transfer on the wire may still fill its buffer, but never with more than the
        // rest of its request.
        const auto rest = static_cast<std::size_t>(piece.end - piece.consumed);
        if (!piece.toFile)
            waiting += fetcher_.finished(piece.transfer)
                           ? fetcher_.buffered(piece.transfer)
                           : std::min(rest, ParallelFetcher::BufferLimit);
    }
}

void HttpPlanReader::startPiece(Piece& piece, int64_t from) {
    if (piece.transfer)
        fetcher_.stop(piece.transfer);
    piece.consumed = from;
    if (piece.toFile && !openSpill()) {
        piece.failed = true;
        return;
    }
    piece.transfer = fetcher_.start(from, piece.end, piece.toFile ? spill_.fd() : -1, from);
}

bool HttpPlanReader::openSpill() {
    return spill_.open(spillFolder_, "segments");
}

// Pieces before `index` are no longer wanted: their transfers end.
void HttpPlanReader::advanceTo(std::size_t index) {
    while (head_ < index) {
        finishPiece(pieces_[head_]);
        ++head_;
    }
}

void HttpPlanReader::finishPiece(Piece& piece) {
    if (piece.transfer)
        fetcher_.stop(piece.transfer);
    piece.transfer = 0;
    // The spill file's space for this piece is not needed again.
    if (piece.toFile && spill_.isOpen())
        ::fallocate(spill_.fd(), FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, piece.first,
                    piece.end - piece.first);
}

std::size_t HttpPlanReader::read(int64_t pos, char* out, std::size_t n) {
    const int index = find(pos);
    if (index < 0 || !covers(pos))
        return 0;
    advanceTo(static_cast<std::size_t>(index));
    fillWindow();
    Piece& piece = pieces_[head_];
    n = static_cast<std::size_t>(std::min<int64_t>(static_cast<int64_t>(n), piece.end - pos));
    std::size_t got = 0;
    if (piece.toFile)
        got = readFile(piece, pos, out, n);
    else if (skipTo(piece, pos))
        got = readMemory(piece, out, n);
    if (!piece.failed && (piece.consumed >= piece.end ||
                          (piece.toFile && pos + static_cast<int64_t>(got) >= piece.end)))
        advanceTo(head_ + 1);
    fillWindow();
    return got;
}

// Brings a memory piece's reading position to `pos`: a short way is read through, a long way
// over bytes not yet here restarts the request at `pos`.
bool HttpPlanReader::skipTo(Piece& piece, int64_t pos) {
    if (pos > piece.consumed && pos - fetcher_.reached(piece.transfer) > RestartLimit) {
        startPiece(piece, pos);
        return !piece.failed;
    }
    char scratch[16 * 1024];
    while (piece.consumed < pos) {
        const auto want =
            static_cast<std::size_t>(std::min<int64_t>(sizeof scratch, pos - piece.consumed));
        const std::size_t got = readMemory(piece, scratch, want);
        if (got == 0)
            return false;
    }
    return true;
}

std::size_t HttpPlanReader::readMemory(Piece& piece, char* out, std::size_t n) {
    while (fetcher_.buffered(piece.transfer) == 0) {
        if (fetcher_.failed(piece.transfer) || fetcher_.finished(piece.transfer)) {
            pieceFailed(piece);
            return 0;
        }
        fetcher_.pump(PollSlice);
        fillWindow();
    }
    const std::size_t got = fetcher_.take(piece.transfer, out, n);
    piece.consumed += static_cast<int64_t>(got);
    return got;
}

std::size_t HttpPlanReader::readFile(Piece& piece, int64_t pos, char* out, std::size_t n) {
    if (!waitFor(piece, pos))
        return 0;
    const auto ready = static_cast<std::size_t>(
        std::min<int64_t>(static_cast<int64_t>(n), fetcher_.reached(piece.transfer) - pos));
    const ssize_t got = ::pread(spill_.fd(), out, ready, pos);
    if (got <= 0) {
        pieceFailed(piece);
        return 0;
    }
    piece.consumed = std::max(piece.consumed, pos + got);
    return static_cast<std::size_t>(got);
}

bool HttpPlanReader::waitFor(Piece& piece, int64_t pos) {
    while (fetcher_.reached(piece.transfer) <= pos) {
        if (fetcher_.failed(piece.transfer) || fetcher_.finished(piece.transfer)) {
            pieceFailed(piece);
            return false;
        }
        fetcher_.pump(PollSlice);
        fillWindow();
    }
    return true;
}

void HttpPlanReader::pieceFailed(Piece& piece) {
    piece.failed = true;
    error_ = fetcher_.error(piece.transfer);
    errorText_ = fetcher_.errorText(piece.transfer);
    fetcher_.stop(piece.transfer);
    piece.transfer = 0;
}
