#include "remote/HttpArchiveReader.h"

#include "platform/HttpClient.h"
#include "remote/ArchiveSource.h"
#include "remote/ContentRange.h"

#include <algorithm>
#include <limits>
#include <vector>

namespace {

std::string rangeHeader(int64_t first, int64_t last) {
    return "Range: bytes=" + std::to_string(first) + "-" + std::to_string(last);
}

} // namespace

HttpArchiveReader::HttpArchiveReader(HttpClient& client, RangeCache::Limits limits)
    : client_(client), cache_(limits) {}

HttpArchiveReader::~HttpArchiveReader() = default;

bool HttpArchiveReader::fail(SourceError error, std::string text) {
    error_ = error;
    errorText_ = std::move(text);
    return false;
}

bool HttpArchiveReader::failRequest() {
    return fail(client_.aborted() ? SourceError::Cancelled : SourceError::NoResponse,
                client_.errorText());
}

void HttpArchiveReader::close() {
    endResponse();
    cache_.clear();
    boundaries_.clear();
    boundaryAttempts_ = 0;
    open_ = changed_ = false;
    etag_.clear();
    lastModified_.clear();
    pieceFirst_ = pieceLast_ = -1;
    smallPiece_ = streaming_ = false;
}

bool HttpArchiveReader::open(const std::string& url) {
    close();
    url_ = url;
    length_ = 0;
    wholeTail_ = true;
    error_ = SourceError::None;
    errorText_.clear();
    if (!client_.get(url_, {"Range: bytes=-" + std::to_string(TailBytes)}))
        return failRequest();
    effectiveUrl_ = client_.effectiveUrl();
    Tail tail = takeTail();
    if (tail != Tail::Refused)
        return open_ = tail == Tail::Taken;
    return open_ = probeFirstByte();
}

// The answer to the suffix range: the tail and, in Content-Range, the file's length.
HttpArchiveReader::Tail HttpArchiveReader::takeTail() {
    auto range = parseContentRange(client_.header("Content-Range").value_or(""));
    if (client_.status() != 206 || !range || range->total <= 0 || range->last != range->total - 1 ||
        range->first != std::max<int64_t>(0, range->total - TailBytes))
        return Tail::Refused;
    length_ = range->total;
    takeValidator();
    std::vector<char> tail(static_cast<std::size_t>(range->last - range->first + 1));
    const std::size_t got = client_.read(tail.data(), tail.size());
    client_.finish();
    if (got == tail.size()) {
        cache_.store(range->first, tail.data(), got);
        return Tail::Taken;
    }
    if (client_.aborted()) {
        failRequest();
        return Tail::Failed;
    }
    // Cut off: the server may not manage long answers, so the length is asked for the plain
    // way and the tail is left to the engine's own, smaller pieces.
    wholeTail_ = false;
    return Tail::Refused;
}

// For servers that refuse suffix ranges: the total of a one-byte range, so nothing more of
// the archive travels; the answer also tells whether ranges are served at all.
bool HttpArchiveReader::probeFirstByte() {
    if (!client_.get(url_, {rangeHeader(0, 0)}))
        return failRequest();
    effectiveUrl_ = client_.effectiveUrl();
    bool known = takeLength(client_.status());
    if (known) {
        takeValidator();
        // Kept only when the tail does not begin at 0, so that a small archive's tail still
        // comes in one request.
        char first = 0;
        if (client_.read(&first, 1) == 1 && length_ > TailBytes)
            cache_.store(0, &first, 1);
    }
    client_.finish();
    return known;
}

bool HttpArchiveReader::takeLength(long status) {
    auto range = parseContentRange(client_.header("Content-Range").value_or(""));
    auto contentLength = client_.header("Content-Length");
    if (status == 200 && contentLength && *contentLength == "0") {
        length_ = 0;
        return fail(SourceError::EmptyFile, "The remote file is empty.");
    }
    if (status == 200) {
        length_ = ArchiveSource::LengthUnknown;
        return fail(SourceError::RangesNotServed,
                    "The server sends only the whole file, not parts of it.");
    }
    if (status == 416 && range && range->total == 0) {
        length_ = 0;
        return fail(SourceError::EmptyFile, "The remote file is empty.");
    }
    if (status != 206) {
        length_ = 0;
        return fail(SourceError::HttpStatus,
                    "The server answered with status " + std::to_string(status) + ".");
    }
    if (!range || range->first != 0 || range->total == ContentRange::Unknown) {
        length_ = ArchiveSource::LengthUnknown;
        return fail(SourceError::BadContentRange, "The server does not tell the file's length.");
    }
    length_ = range->total;
    return true;
}

void HttpArchiveReader::takeValidator() {
    etag_ = client_.header("ETag").value_or("");
    lastModified_ = client_.header("Last-Modified").value_or("");
}

// The version seen at open, as far as the answer tells it.
bool HttpArchiveReader::sameVersion() const {
    auto etag = client_.header("ETag");
    auto lastModified = client_.header("Last-Modified");
    return (!etag || etag_.empty() || *etag == etag_) &&
           (!lastModified || lastModified_.empty() || *lastModified == lastModified_);
}

void HttpArchiveReader::fileChanged() {
    endResponse();
    cache_.clear();
    boundaries_.clear();
    changed_ = true;
    fail(SourceError::FileChanged,
         "The remote file has changed since it was opened. Open it again to see the new "
         "version.");
}

bool HttpArchiveReader::beginPiece(int64_t first, int64_t last) {
    error_ = SourceError::None;
    errorText_.clear();
    if (changed_) {
        fileChanged();
        return false;
    }
    streaming_ =
        pieceLast_ - pieceFirst_ >= StreamPiece && (first == pieceLast_ || first == pieceLast_ + 1);
    smallPiece_ = last - first <= SmallPiece;
    pieceFirst_ = first;
    pieceLast_ = last;
    if (first >= length_)
        return fail(SourceError::RangeRefused,
                    "The server refused the range bytes=" + std::to_string(first) + "-" +
                        std::to_string(last) + ".");
    return cache_.contains(first) || ensureAt(first, std::min(last + 1, length_));
}

std::size_t HttpArchiveReader::read(int64_t pos, char* out, std::size_t n, int64_t pieceEnd) {
    std::size_t got = 0;
    while (got < n && !changed_ && pos < length_) {
        std::size_t cached = cache_.copy(pos, out + got, n - got);
        if (cached == 0) {
            if (!ensureAt(pos, pieceEnd))
                break;
            const auto want = static_cast<std::size_t>(
                std::min<int64_t>(static_cast<int64_t>(n - got), response_.end - pos));
            cached = client_.read(out + got, want);
            if (response_.keep)
                cache_.store(pos, out + got, cached);
            response_.next += static_cast<int64_t>(cached);
            if (cached < want) {
                failRequest();
                if (errorText_.empty())
                    errorText_ = "The server's answer ended early.";
                endResponse();
                return got + cached;
            }
        }
        got += cached;
        pos += static_cast<int64_t>(cached);
    }
    return got;
}

// Makes the response in flight stand at `pos`, with a new request when it cannot.
bool HttpArchiveReader::ensureAt(int64_t pos, int64_t pieceEnd) {
    if (response_.open && response_.next <= pos && pos < response_.end &&
        pos - response_.next <= SkipLimit)
        return skipTo(pos);
    int64_t start = pos;
    int64_t end = pos + 1;
    plan(pos, pieceEnd, start, end);
    if (!fetch(start, end, !streaming_) || !skipTo(pos))
        return false;
    if (pos < response_.end)
        return true;
    endResponse();
    return fail(SourceError::BadContentRange,
                "The server sent less of the file than the part asked for.");
}

// Reads the response on to `pos`; the bytes passed over are kept (an entry's name, the tail
// before the piece asked for).
bool HttpArchiveReader::skipTo(int64_t pos) {
    char scratch[16 * 1024];
    while (response_.next < pos) {
        const auto want =
            static_cast<std::size_t>(std::min<int64_t>(sizeof scratch, pos - response_.next));
        const std::size_t got = client_.read(scratch, want);
        if (response_.keep)
            cache_.store(response_.next, scratch, got);
        response_.next += static_cast<int64_t>(got);
        if (got < want) {
            failRequest();
            if (errorText_.empty())
                errorText_ = "The server's answer ended early.";
            endResponse();
            return false;
        }
    }
    return true;
}

// Which bytes to ask for when `pos` must come from the network: at least up to `pieceEnd`
// or the next cached byte, more when the piece's kind says more will be wanted.
void HttpArchiveReader::plan(int64_t pos, int64_t pieceEnd, int64_t& start, int64_t& end) {
    const int64_t gapEnd = std::min(cache_.nextCached(pos), length_);
    start = pos;
    end = std::clamp(pieceEnd, pos + 1, gapEnd);
    if (smallPiece_) {
        if (!boundaries_.known() && boundaryAttempts_ < 3) {
            ++boundaryAttempts_;
            boundaries_.learn(
                [this](int64_t at, char* out, std::size_t n) { return cache_.copy(at, out, n); },
                length_);
        }
        const int64_t recordEnd = boundaries_.recordEnd(pos);
        end = std::clamp(recordEnd > pos ? recordEnd : pos + SmallReadAhead, pos + 1, gapEnd);
    } else if (streaming_) {
        end = gapEnd;
    }
    // Without a suffix range the tail comes in one piece, not block by block.
    const int64_t tailStart = std::max<int64_t>(0, length_ - TailBytes);
    if (wholeTail_ && !streaming_ && pieceEnd >= length_ && pos > tailStart &&
        pos - tailStart <= SkipLimit && cache_.nextCached(tailStart) >= pos) {
        start = tailStart;
        end = gapEnd;
    }
}

bool HttpArchiveReader::fetch(int64_t start, int64_t end, bool keep) {
    // A short rest of the previous answer is read into the cache rather than thrown away.
    if (response_.open && response_.keep && response_.end - response_.next <= SkipLimit)
        skipTo(response_.end);
    endResponse();
    std::vector<std::string> headers{rangeHeader(start, end - 1)};
    // If-Range: a changed file answers 200 with the new version instead of mixing.
    if (!etag_.empty() && etag_.rfind("W/", 0) != 0)
        headers.push_back("If-Range: " + etag_);
    else if (!lastModified_.empty())
        headers.push_back("If-Range: " + lastModified_);
    if (!request(headers))
        return failRequest();
    if (!checkAnswer(start)) {
        client_.finish();
        return false;
    }
    auto range = parseContentRange(client_.header("Content-Range").value_or(""));
    response_ = {true, start, range->last + 1, keep};
    return true;
}

// Pieces go to the address the open's answer came from (a mirror the address redirected
// to), so that every piece comes from one copy of the file. Should that address stop
// serving (an expired signed link), the original address is followed again; the validators
// then tell whether the new copy is the same file.
bool HttpArchiveReader::request(const std::vector<std::string>& headers) {
    const bool redirected = !effectiveUrl_.empty() && effectiveUrl_ != url_;
    const bool answered = client_.get(redirected ? effectiveUrl_ : url_, headers);
    const long status = client_.status();
    const bool gone = !answered || status == 403 || status == 404 || status == 410;
    if (!redirected || !gone || client_.aborted())
        return answered;
    if (!client_.get(url_, headers))
        return false;
    effectiveUrl_ = client_.effectiveUrl();
    return true;
}

bool HttpArchiveReader::checkAnswer(int64_t start) {
    const long status = client_.status();
    auto range = parseContentRange(client_.header("Content-Range").value_or(""));
    // Another length, ETag or date than at open: another version of the file (a 200 is the
    // whole new version, sent because If-Range no longer matched).
    bool otherLength = range && range->total != ContentRange::Unknown && range->total != length_;
    if (status == 200) {
        auto contentLength = client_.header("Content-Length");
        otherLength = contentLength && *contentLength != std::to_string(length_);
    }
    if ((status == 206 || status == 416 || status == 200) && (!sameVersion() || otherLength)) {
        fileChanged();
        return false;
    }
    if (status == 206 && range && range->first == start && range->last != ContentRange::Unknown)
        return true;
    if (status == 206)
        return fail(SourceError::BadContentRange,
                    "The server sent another part of the file than the one asked for.");
    if (status == 200)
        return fail(SourceError::RangesNotServed,
                    "The server sends only the whole file, not parts of it.");
    if (status == 416)
        return fail(SourceError::RangeRefused,
                    "The server refused the range bytes=" + std::to_string(start) + "-.");
    return fail(SourceError::HttpStatus,
                "The server answered with status " + std::to_string(status) + ".");
}

void HttpArchiveReader::endResponse() {
    if (response_.open)
        client_.finish();
    response_ = {};
}
