// What the zip engine asks of a source of archive bytes. `RemoteArchiveSource` is the real
// one (http, https, ftp); tests and fuzz targets use sources that serve bytes from memory.
#pragma once

#include "remote/RangeStream.h"
#include "remote/ReadPlan.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class String;

// A server (401) or a proxy (407) wants a user name and password before it serves the archive.
struct SignInRequest {
    bool proxy = false;
    std::string host; // the archive's server
    std::string user; // the user name known so far, to start from
    // The user name and password sent last were refused.
    bool afterRefusal = false;
};
struct SignInAnswer {
    std::string user;
    std::string password;
};
// Asked on the thread that reads; no answer gives up (the read fails as refused).
using SignInProvider = std::function<std::optional<SignInAnswer>(const SignInRequest&)>;

class ArchiveSource {
public:
    // `length` when the server cannot serve the archive by position.
    static constexpr int64_t LengthUnknown = -10;

    virtual ~ArchiveSource() = default;

    // Connects to the address's server. Removes user name and password from `address`; the
    // caller goes on with the address without them.
    virtual bool connect(String& address) = 0;
    // Opens the remote file and learns its length.
    virtual bool openRemoteFile(const String& address) = 0;
    virtual void closeRemoteFile() = 0;
    // Arranges that the stream in the storage file slot serves the bytes from `first` on.
    // `last` is first + the size of the piece (HTTP ranges are inclusive, so one byte more).
    virtual bool requestRange(int64_t first, int64_t last, bool reopenFirst) = 0;
    // Drops the connection made by `connect` (closing the archive).
    virtual void disconnect() = 0;

    // The archive's length, or LengthUnknown.
    virtual int64_t length() const = 0;
    // Where `requestRange` puts the stream to read; the stream stays the source's.
    virtual void setStorageFileSlot(RangeStream** slot) = 0;
    // Called before every range request (the progress bar's network activity).
    virtual void setNetworkActivityHandler(std::function<void()> handler) = 0;
    // The remote file's name as the user knows it (last path segment, decoded).
    virtual std::string remoteFileName() const = 0;

    // Why the last connect, open or range request failed, for the user; empty when it did not.
    virtual std::string errorText() const { return {}; }
    // From any thread: makes the transfer in flight and every later request fail at once,
    // until `resetCancel` (jobs call it when they start; `connect` does it too).
    virtual void cancel() {}
    virtual void resetCancel() {}
    // Who is asked for a user name and password when the server or the proxy wants one. The
    // answer is kept until the archive is closed, never written anywhere.
    virtual void setSignInProvider(SignInProvider provider) { (void)provider; }
    // The folder of the source's private files (swap and spill files) from the next archive on.
    virtual void setTemporaryFolder(const std::string& folder) { (void)folder; }

    // A job about to read several entries hands over the spans it will read, in its order;
    // `passes` says how often it reads each span (2: a test pass, then the extraction). The
    // source may then fetch them with few requests ahead of the reads. An empty plan ends the
    // previous one; a source that fetches piece by piece ignores plans.
    virtual void setReadPlan(std::vector<ByteSpan> spans, int passes = 1) {
        (void)spans;
        (void)passes;
    }
    // Copies the whole archive into `fd` at the bytes' own offsets, several parts at once
    // where that is faster. `progress` gets the bytes done and returns false to stop. Nothing
    // when the source does not offer it (the caller copies range by range); otherwise true
    // once every byte is written, false with errorText() set.
    virtual std::optional<bool> copyWhole(int fd, const std::function<bool(int64_t)>& progress) {
        (void)fd;
        (void)progress;
        return std::nullopt;
    }
};
