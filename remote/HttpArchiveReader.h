// The http and https plumbing of the remote source: serves the open archive's bytes by
// offset with as few requests and as few bytes as the engine's pieces allow.
//
// - The length, and the tail in which the engine looks for the end record, come from one
//   suffix range ("bytes=-65558"); a server that refuses suffix ranges is asked "bytes=0-0".
// - Every byte fetched goes through a bounded cache (RangeCache), so a piece asked for again
//   travels once; a piece only partly cached costs one exact request for the rest.
// - A response is read lazily and kept while the engine's reads follow it: a piece that
//   continues a large previous one (the save job's copy) gets one response to the end of the
//   file, and an entry's local header request reaches to the entry's end (EntryBoundaries).
// - Each later request carries If-Range with the validator seen at open, and the answer's
//   length and validator are checked: bytes of two versions of a file are never mixed, and
//   after a change is seen the cache is dropped and every read fails until the next open.
// - Requests go to the address the open was finally answered from (after redirects), and
//   back to the original address only when that one stops serving.
#pragma once

#include "remote/EntryBoundaries.h"
#include "remote/RangeCache.h"
#include "remote/SourceError.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class HttpClient;

class HttpArchiveReader {
public:
    // The end record and the longest comment it can have: where the engine looks first.
    static constexpr int64_t TailBytes = 65536 + 22;
    // Pieces this small are local headers; without boundaries they get this read-ahead.
    static constexpr int64_t SmallPiece = 64;
    static constexpr int64_t SmallReadAhead = 16 * 1024;
    // A response ahead of the wanted offset by at most this much is read on, not replaced.
    static constexpr int64_t SkipLimit = 96 * 1024;
    // A piece continuing a previous one at least this large is a stream (the save job).
    static constexpr int64_t StreamPiece = 16 * 1024;

    explicit HttpArchiveReader(HttpClient& client, RangeCache::Limits limits = {});
    ~HttpArchiveReader();

    void setSpillFolder(std::string folder) { cache_.setSpillFolder(std::move(folder)); }

    // Learns the length and the validator of the file at `url`. False with `error` set; the
    // length is then 0 or LengthUnknown as the answer says.
    bool open(const std::string& url);
    // Forgets the archive: the response is ended and the cache dropped.
    void close();
    bool isOpen() const { return open_; }
    int64_t length() const { return length_; }
    const std::string& effectiveUrl() const { return effectiveUrl_; }

    // The engine starts a piece [first, last] (last inclusive, as in a Range header). Fetches
    // its first byte now unless it is at hand, so that a refusal is reported here.
    bool beginPiece(int64_t first, int64_t last);
    // Up to n bytes from `pos`; `pieceEnd` is where the piece ends. Fewer
    // only when the transfer failed (see `error`).
    std::size_t read(int64_t pos, char* out, std::size_t n, int64_t pieceEnd);

    SourceError error() const { return error_; }
    const std::string& errorText() const { return errorText_; }

    const RangeCache& cache() const { return cache_; }
    // Bytes fetched by other means (a read plan), kept for a second reading.
    void keep(int64_t pos, const char* data, std::size_t n, bool spill) {
        cache_.store(pos, data, n, spill);
    }
    // The validators seen at open, for requests made by other means.
    const std::string& etag() const { return etag_; }
    const std::string& lastModified() const { return lastModified_; }

private:
    struct Response {
        bool open = false;
        int64_t next = 0; // offset of the next body byte
        int64_t end = 0;  // offset after the last body byte
        bool keep = true; // body bytes go into the cache
    };
    enum class Tail { Taken, Refused, Failed };

    Tail takeTail();
    bool probeFirstByte();
    bool takeLength(long status);
    void takeValidator();
    bool ensureAt(int64_t pos, int64_t pieceEnd);
    bool skipTo(int64_t pos);
    void plan(int64_t pos, int64_t pieceEnd, int64_t& start, int64_t& end);
    bool fetch(int64_t start, int64_t end, bool keep);
    bool request(const std::vector<std::string>& headers);
    bool checkAnswer(int64_t start);
    bool sameVersion() const;
    void endResponse();
    void fileChanged();
    bool fail(SourceError error, std::string text);
    bool failRequest();

    HttpClient& client_;
    RangeCache cache_;
    EntryBoundaries boundaries_;
    int boundaryAttempts_ = 0;
    std::string url_;
    std::string effectiveUrl_;
    bool open_ = false;
    bool changed_ = false;
    bool wholeTail_ = true; // fetch the tail in one piece when the open could not bring it
    int64_t length_ = 0;
    std::string etag_;
    std::string lastModified_;
    Response response_;
    // The current and the previous piece, for the read-ahead rules.
    int64_t pieceFirst_ = -1;
    int64_t pieceLast_ = -1;
    bool smallPiece_ = false;
    bool streaming_ = false;
    SourceError error_ = SourceError::None;
    std::string errorText_;
};
