// The ftp path of the remote source: logs the own FTP client on, learns the archive's size
// once, and downloads each requested byte range into a swap file that the zip engine reads.
#pragma once

#include "remote/RangeStream.h"
#include "remote/net/FTPClient.h"

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
    // over them, owned by this reader and valid until the next request or `close`. Null when
    // the swap file cannot be read. A failed download shows as a short stream.
    RangeStream* requestRange(int64_t first, int64_t last);
    // The archive is closed: the stream is dropped and the swap file removed.
    void close();
    // From any thread: stops the running range download after its next piece.
    void cancel() { client_.requestAbort(); }

    enum class Failure { None, Logon, NoSize, EmptyFile, TooLarge, SwapFile };
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
    bool fail(Failure failure, std::string text);

    // Keeps the client's last error text ("Connect error 0x0000006f") for errorText().
    struct ErrorRecorder : nsFTP::ITransferNotification {
        std::string& target;
        explicit ErrorRecorder(std::string& text) : target(text) {}
        void onInternalError(const std::string& message, const char*, int) override {
            target = message;
        }
    };

    std::string lastClientError_;
    ErrorRecorder errorRecorder_{lastClientError_};
    std::string tempFolder_;
    std::string swapFilePath_;
    std::string remotePath_;
    int64_t length_ = 0;
    bool passive_ = false;
    Failure failure_ = Failure::None;
    std::string errorText_;
    std::unique_ptr<RangeStream> stream_;
    nsFTP::CFTPClient client_;
};
