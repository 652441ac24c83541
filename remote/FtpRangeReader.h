// The ftp path of the remote source: logs the own FTP client on, learns the archive's size
// once, and downloads each requested byte range into a swap file that the zip engine reads.
#pragma once

#include "remote/RangeStream.h"
#include "remote/net/FTPClient.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

class FtpRangeReader {
public:
    // The FTP client's time-out in seconds and its buffer size, as the source builds it.
    static constexpr int TimeoutSeconds = 10;
    static constexpr int BufferSize = 2048;

    // `tempFolder` holds the swap file; empty means $TMPDIR or /tmp.
    explicit FtpRangeReader(std::string tempFolder = {});
    ~FtpRangeReader();
    FtpRangeReader(const FtpRangeReader&) = delete;
    FtpRangeReader& operator=(const FtpRangeReader&) = delete;

    void setTempFolder(std::string folder) { tempFolder_ = std::move(folder); }
    void setTimeoutSeconds(int seconds) { client_.setTimeoutSeconds(seconds); }

    // Logs on. `hostText` is the host as written in the address, with ":port" when one is
    // given (21 otherwise). User name and password are taken as written in the address and
    // percent-decoded here; with no user name the client logs on anonymously.
    bool connect(const std::string& hostText, const std::string& rawUser,
                 const std::string& rawPassword);
    bool connect(const std::string& host, uint16_t port, const std::string& rawUser,
                 const std::string& rawPassword);
    // Asks the size of the file at `path` (the address's path, percent-encoded, with or
    // without leading "/"). False when the server gives no size or 0. The size is asked once
    // per logon and path: the source reopens the file for every range.
    bool open(const std::string& path, int64_t& length);
    // Downloads the bytes from `first` (up to `last`) into the swap file and returns a stream
    // over them, owned by this reader and valid until the next request or `close`. Null, with
    // the reason in errorText(), when the bytes did not all come (the server refused, went
    // silent or cut the transfer short, or the request was cancelled) or the swap file cannot
    // be read: a short range is never served as if it were whole.
    RangeStream* requestRange(int64_t first, int64_t last);
    // The archive is closed: the stream is dropped and the swap file removed.
    void close();
    // From any thread: stops the running range download after its next piece, and every
    // later one fails at once until resetCancel (or the next connect).
    void cancel() {
        cancelled_ = true;
        client_.requestAbort();
    }
    bool isCancelled() const { return cancelled_; }
    void resetCancel() {
        cancelled_ = false;
        client_.clearAbortRequest();
    }

    enum class Failure { None, Logon, NoSize, EmptyFile, TooLarge, SwapFile, Transfer, Cancelled };
    Failure lastFailure() const { return failure_; }
    const std::string& errorText() const { return errorText_; }

    const std::string& swapFilePath() const { return swapFilePath_; }
    const std::string& remotePath() const { return remotePath_; }
    bool usesPassiveMode() const { return passive_; }
    nsFTP::CFTPClient& client() { return client_; }

    // "%40" becomes "@"; a "%" not followed by two hexadecimal digits stays as it is.
    static std::string percentDecode(const std::string& text);
    // "h:2121" gives h and 2121, "h" gives h and 21. False for a port that is not 1 to 65535.
    static bool splitHostPort(const std::string& hostText, std::string& host, uint16_t& port);

private:
    bool createSwapFile();
    void removeSwapFile();
    bool downloadRange(int64_t first, int64_t last);
    bool checkDownloaded(int fd, int64_t first, int64_t last);
    bool fail(Failure failure, std::string text);

    // Keeps the client's last problem for errorText(): its own error ("Accept error
    // 0x0000006e") or the server's last refusal ("550 No such file").
    struct ErrorRecorder : nsFTP::ITransferNotification {
        std::string& target;
        explicit ErrorRecorder(std::string& text) : target(text) {}
        void onInternalError(const std::string& message, const char*, int) override {
            target = message;
        }
        void onResponse(const nsFTP::ServerReply& reply) override {
            if (reply.firstDigit() == '4' || reply.firstDigit() == '5')
                target = reply.text.substr(0, 200);
        }
    };

    std::string lastClientError_;
    ErrorRecorder errorRecorder_{lastClientError_};
    std::string tempFolder_;
    std::string swapFilePath_;
    std::string remotePath_;
    int64_t length_ = 0;
    bool passive_ = false; // the mode that last worked for this session
    std::atomic<bool> cancelled_{false};
    Failure failure_ = Failure::None;
    std::string errorText_;
    std::unique_ptr<RangeStream> stream_;
    nsFTP::CFTPClient client_;
};
