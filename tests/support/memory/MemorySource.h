// An ArchiveSource that serves an archive held in memory, as the HTTP source would: each
// range is inclusive (one byte more than the piece) and clamped to the archive's end. It
// records every range asked for, so tests can check the requests an operation makes, and can
// be told to fail or to cut transfers short. Header-only; needs the engine's String.
#pragma once

#include "app/String.h"
#include "remote/ArchiveSource.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace mgtest {

class MemoryStream : public RangeStream {
public:
    MemoryStream() = default;
    MemoryStream(const std::vector<unsigned char>* bytes, std::size_t first, std::size_t end,
                 std::string path)
        : bytes_(bytes), position_(first), end_(end), path_(std::move(path)) {}

    std::size_t read(void* buffer, std::size_t n) override {
        if (bytes_ == nullptr || position_ >= end_)
            return 0;
        n = std::min(n, end_ - position_);
        std::memcpy(buffer, bytes_->data() + position_, n);
        position_ += n;
        return n;
    }
    void close() override { end_ = position_; }
    std::string path() const override { return path_; }

private:
    const std::vector<unsigned char>* bytes_ = nullptr;
    std::size_t position_ = 0;
    std::size_t end_ = 0;
    std::string path_;
};

class MemorySource : public ArchiveSource {
public:
    struct Range {
        int64_t first;
        int64_t last;
        bool operator==(const Range&) const = default;
    };

    explicit MemorySource(std::vector<unsigned char> bytes,
                          std::string path = "http://127.0.0.1/archive.zip")
        : bytes_(std::move(bytes)), path_(std::move(path)),
          length_(static_cast<int64_t>(bytes_.size())) {}

    bool connect(String& /*address*/) override {
        ++connects;
        return !failConnect;
    }
    bool openRemoteFile(const String& /*address*/) override {
        if (failOpen)
            return false;
        serve(0, 0);
        return true;
    }
    void closeRemoteFile() override {}
    bool requestRange(int64_t first, int64_t last, bool /*reopenFirst*/) override {
        requests.push_back({first, last});
        if (activity_)
            activity_();
        if (failRequestsFrom >= 0 && requests.size() > std::size_t(failRequestsFrom)) {
            serve(0, 0);
            return false;
        }
        const auto size = static_cast<int64_t>(bytes_.size());
        int64_t end = std::min<int64_t>(last + 1, size);
        if (cutAfter >= 0)
            end = std::min<int64_t>(end, first + cutAfter);
        serve(first, std::max<int64_t>(first, end));
        return true;
    }
    void disconnect() override { ++disconnects; }

    int64_t length() const override { return length_; }
    void setStorageFileSlot(RangeStream** slot) override { slot_ = slot; }
    void setNetworkActivityHandler(std::function<void()> handler) override {
        activity_ = std::move(handler);
    }
    std::string remoteFileName() const override { return "archive.zip"; }
    std::string errorText() const override {
        return failRequestsFrom >= 0 ? "the test source refuses" : "";
    }

    // Pretends another length (e.g. negative for an archive the source cannot describe).
    void setLength(int64_t length) { length_ = length; }
    // Ranges from the end of the archive, as the tests write them: (N - a, N - b).
    Range fromEnd(int64_t a, int64_t b) const { return {length_ - a, length_ - b}; }

    std::vector<Range> requests;
    int connects = 0;
    int disconnects = 0;
    bool failConnect = false;
    bool failOpen = false;
    // Requests after this many succeed no more (-1: all succeed).
    int failRequestsFrom = -1;
    // Each response ends after this many bytes, as a cut connection would (-1: never).
    int64_t cutAfter = -1;

private:
    void serve(int64_t first, int64_t end) {
        stream_ = MemoryStream(&bytes_, std::size_t(first), std::size_t(end), path_);
        if (slot_)
            *slot_ = &stream_;
    }

    std::vector<unsigned char> bytes_;
    std::string path_;
    int64_t length_;
    RangeStream** slot_ = nullptr;
    MemoryStream stream_;
    std::function<void()> activity_;
};

} // namespace mgtest
