// A zip file on this computer, read through the same interface as the remote sources: a
// file:// address names it, one descriptor is held while it is open, and every range is
// served by pread from that descriptor.
#pragma once

#include "app/String.h"
#include "remote/ArchiveSource.h"
#include "remote/SourceError.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

class LocalArchiveSource : public ArchiveSource {
public:
    LocalArchiveSource() = default;
    ~LocalArchiveSource() override;
    LocalArchiveSource(const LocalArchiveSource&) = delete;
    LocalArchiveSource& operator=(const LocalArchiveSource&) = delete;

    // Takes a file:// address (the host empty or "localhost"); there are no credentials to
    // remove. False for any other address.
    bool connect(String& address) override;
    // Opens the file: it must be a regular file, and not empty.
    bool openRemoteFile(const String& address) override;
    void closeRemoteFile() override;
    // Serves [first, last + 1) clipped to the file's end. False when the file was changed
    // or truncated since it was opened, or the job was cancelled.
    bool requestRange(int64_t first, int64_t last, bool reopenFirst) override;
    void disconnect() override { closeRemoteFile(); }

    int64_t length() const override { return length_; }
    void setStorageFileSlot(RangeStream** slot) override { storageFileSlot_ = slot; }
    void setNetworkActivityHandler(std::function<void()> handler) override {
        activity_ = std::move(handler);
    }
    std::string remoteFileName() const override { return fileName_; }

    std::string errorText() const override { return errorText_; }
    SourceError lastError() const { return lastError_; }
    void cancel() override { cancelled_ = true; }
    void resetCancel() override { cancelled_ = false; }

    // The file's path as opened (for messages).
    const std::string& path() const { return path_; }

private:
    // The bytes of the range last requested, read with pread from the open descriptor.
    class Slice : public RangeStream {
    public:
        explicit Slice(const LocalArchiveSource& owner) : owner_(owner) {}
        void serve(int64_t first, int64_t end);
        std::size_t read(void* buffer, std::size_t n) override;
        void close() override;
        std::string path() const override { return owner_.path_; }
        std::string failure() const override { return failure_; }

    private:
        // Small reads (a local header, a name) come from a window read ahead, so that
        // testing 65,535 small entries does not cost four system calls per entry.
        static constexpr std::size_t WindowSize = 64 * 1024;
        std::size_t fromWindow(char* out, std::size_t n);
        bool fillWindow();

        const LocalArchiveSource& owner_;
        int64_t pos_ = 0;
        int64_t end_ = 0;
        std::string failure_;
        std::vector<char> window_;
        int64_t windowStart_ = 0;
        std::size_t windowLength_ = 0;
    };

    bool fail(SourceError error, std::string text);
    bool unchangedSinceOpen();
    void fillSlot(RangeStream* stream);

    int fd_ = -1;
    int64_t length_ = 0;
    int64_t modifiedNs_ = 0;
    std::string path_;
    std::string fileName_;
    RangeStream** storageFileSlot_ = nullptr;
    std::function<void()> activity_;
    Slice slice_{*this};
    std::atomic<bool> cancelled_{false};
    SourceError lastError_ = SourceError::None;
    std::string errorText_;
};
