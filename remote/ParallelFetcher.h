// Several ranged GETs of one file in flight at once, over one libcurl multi handle: HTTP/2
// streams on one connection where a TLS server offers it, otherwise up to MaxTransfers
// kept-alive connections. Nothing runs on its own thread: the owner's calls to `pump` move
// every transfer along, so the bytes of all of them arrive while the owner waits for one.
//
// A transfer's body goes either to memory (at most `bufferLimit` bytes, then the transfer is
// paused until the owner takes some: back-pressure, not buffering) or to a file descriptor at
// the bytes' own offsets (pwrite), where nothing needs to wait for the owner.
//
// Every answer is checked against the file seen at open (FetchTarget): a 206 starting where
// asked, the same length, ETag and Last-Modified; each request carries If-Range so that a
// replaced file answers with 200, which fails the transfer as a changed file.
#pragma once

#include "platform/HttpClient.h"
#include "remote/SourceError.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

struct FetchTarget {
    std::string url;
    int64_t length = 0;
    std::string etag;
    std::string lastModified;
};

class ParallelFetcher {
public:
    // Eight rather than four: 200 small entries scattered over 1 GiB, 50 ms away, took 5.3 s
    // with four and 1.7 s with eight (bench/plans.sh). Segments stay at four.
    static constexpr int MaxTransfers = 8;
    static constexpr std::size_t BufferLimit = 8 * 1024 * 1024;
    // What a plan's transfers may hold in memory together.
    static constexpr std::size_t MemoryLimit = 4 * BufferLimit;

    explicit ParallelFetcher(HttpOptions options = {});
    ~ParallelFetcher();
    ParallelFetcher(const ParallelFetcher&) = delete;
    ParallelFetcher& operator=(const ParallelFetcher&) = delete;

    void setTarget(FetchTarget target) { target_ = std::move(target); }
    // The sign-in of the requests that follow: the same as the open's, so that a server or
    // proxy that asks for a password serves the planned and parallel reads too.
    void setCredentials(HttpCredentials credentials) { credentials_ = std::move(credentials); }
    const FetchTarget& target() const { return target_; }

    // Starts a GET of [first, end). With fd >= 0 the body goes to fd at offset
    // (pos - first + fileOffset), else to memory for `take`. Returns the transfer's id.
    int start(int64_t first, int64_t end, int fd = -1, int64_t fileOffset = 0);
    // Ends the transfer, in flight or not, and forgets it.
    void stop(int id);
    void stopAll();

    std::size_t take(int id, char* out, std::size_t n);
    std::size_t buffered(int id) const;
    // One past the last byte received (memory: taken or not; file: written).
    int64_t reached(int id) const;
    bool finished(int id) const; // every byte arrived
    bool failed(int id) const;
    SourceError error(int id) const;
    std::string errorText(int id) const;
    // Transfers still on the wire.
    int inFlight() const;

    // Moves the transfers along; waits at most `wait` when nothing is ready.
    void pump(std::chrono::milliseconds wait);
    // From any thread: fails every transfer in flight and every later one, until clearAbort.
    void abort();
    void clearAbort() { abort_ = false; }
    bool aborted() const { return abort_.load(); }

    // For tests and benchmarks.
    std::size_t peakMemory() const { return peakMemory_; }
    std::size_t requestsSent() const { return requestsSent_; }

private:
    struct Transfer;
    struct Handles;

    Transfer* find(int id) const;
    void configure(Transfer& t);
    void collectFinished();
    void failAll(SourceError error, const std::string& text);
    void checkStalls();
    void resumePaused();
    std::size_t memoryHeld() const;

    static std::size_t onHeader(char* data, std::size_t size, std::size_t count, void* self);
    static std::size_t onBody(char* data, std::size_t size, std::size_t count, void* self);
    static int onProgress(void* self, long long, long long, long long, long long);

    HttpOptions options_;
    std::unique_ptr<Handles> handles_;
    FetchTarget target_;
    HttpCredentials credentials_;
    std::map<int, std::unique_ptr<Transfer>> transfers_;
    int nextId_ = 1;
    std::atomic<bool> abort_{false};
    std::size_t peakMemory_ = 0;
    std::size_t requestsSent_ = 0;
};
