#include "remote/FtpRangeReader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <vector>

namespace {

// Serves the swap file's first `size` bytes: the requested range, like the body of a ranged
// HTTP response.
class SwapFileStream : public RangeStream {
public:
    SwapFileStream(int fd, std::string path, int64_t size)
        : fd_(fd), path_(std::move(path)), remaining_(size) {}
    ~SwapFileStream() override { close(); }

    std::size_t read(void* buffer, std::size_t n) override {
        if (fd_ < 0 || remaining_ <= 0)
            return 0;
        if (static_cast<int64_t>(n) > remaining_)
            n = static_cast<std::size_t>(remaining_);
        std::size_t done = 0;
        while (done < n) {
            ssize_t got = ::read(fd_, static_cast<char*>(buffer) + done, n - done);
            if (got <= 0)
                break;
            done += static_cast<std::size_t>(got);
        }
        remaining_ -= static_cast<int64_t>(done);
        return done;
    }
    void close() override {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }
    std::string path() const override { return path_; }

private:
    int fd_;
    std::string path_;
    int64_t remaining_;
};

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// A decoded CR, LF or NUL would end the command line early and smuggle in another command.
bool safeInCommand(const std::string& text) {
    return text.find_first_of(std::string("\r\n\0", 3)) == std::string::npos;
}

std::string defaultTempFolder() {
    const char* folder = std::getenv("TMPDIR");
    return folder && *folder ? folder : "/tmp";
}

} // namespace

FtpRangeReader::FtpRangeReader(std::string tempFolder)
    : tempFolder_(std::move(tempFolder)),
      client_(std::make_unique<nsSocket::CBlockingSocket>(), TimeoutSeconds, BufferSize, 0) {
    client_.attachObserver(&errorRecorder_);
}

FtpRangeReader::~FtpRangeReader() {
    close();
}

std::string FtpRangeReader::percentDecode(const std::string& text) {
    std::string decoded;
    decoded.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 &&
            hexValue(text[i + 2]) >= 0) {
            decoded += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        } else {
            decoded += text[i];
        }
    }
    return decoded;
}

bool FtpRangeReader::splitHostPort(const std::string& hostText, std::string& host, uint16_t& port) {
    std::size_t colon = hostText.rfind(':');
    host = hostText.substr(0, colon);
    port = 21;
    if (colon == std::string::npos)
        return !host.empty();
    const std::string digits = hostText.substr(colon + 1);
    if (digits.empty() || digits.size() > 5 ||
        digits.find_first_not_of("0123456789") != std::string::npos)
        return false;
    long value = std::strtol(digits.c_str(), nullptr, 10);
    if (value < 1 || value > 65535 || host.empty())
        return false;
    port = static_cast<uint16_t>(value);
    return true;
}

bool FtpRangeReader::connect(const std::string& hostText, const std::string& rawUser,
                             const std::string& rawPassword) {
    std::string host;
    uint16_t port;
    if (!splitHostPort(hostText, host, port))
        return fail(Failure::Logon, "The address has no valid host or port.");
    return connect(host, port, rawUser, rawPassword);
}

bool FtpRangeReader::fail(Failure failure, std::string text) {
    failure_ = failure;
    errorText_ = std::move(text);
    return false;
}

bool FtpRangeReader::connect(const std::string& host, uint16_t port, const std::string& rawUser,
                             const std::string& rawPassword) {
    close();
    resetCancel();
    failure_ = Failure::None;
    errorText_.clear();
    passive_ = false;
    length_ = 0;
    remotePath_.clear();
    nsFTP::LogonParameters logon;
    logon.host = host;
    logon.port = port;
    logon.user = percentDecode(rawUser);
    logon.password = percentDecode(rawPassword);
    // "USER" with no name is refused by real servers; an address without one means the
    // anonymous account, whose password is customarily any mail-like text.
    if (logon.user.empty()) {
        logon.user = "anonymous";
        if (logon.password.empty())
            logon.password = "anonymous@";
    }
    if (!safeInCommand(logon.user) || !safeInCommand(logon.password) || !safeInCommand(host))
        return fail(Failure::Logon, "The address holds a line break.");
    lastClientError_.clear();
    if (!client_.logOn(logon)) {
        std::string text = "The FTP server could not be reached or refused the logon.";
        if (!lastClientError_.empty())
            text += " (" + lastClientError_ + ")";
        return fail(Failure::Logon, text);
    }
    if (!createSwapFile())
        return fail(Failure::SwapFile, "The swap file cannot be created in " + tempFolder_ + ".");
    return true;
}

bool FtpRangeReader::open(const std::string& path, int64_t& length) {
    std::size_t start = path.find_first_not_of('/');
    std::string remotePath =
        start == std::string::npos ? std::string() : percentDecode(path.substr(start));
    if (remotePath == remotePath_ && length_ > 0) {
        length = length_;
        return true;
    }
    remotePath_ = remotePath;
    length_ = 0;
    length = 0;
    if (remotePath_.empty() || !safeInCommand(remotePath_))
        return fail(Failure::NoSize, "The address names no file.");
    int64_t size = 0;
    // Only a positive reply counts: a refusal's text may hold a number too.
    if (client_.querySize(remotePath_, size) != 0)
        return fail(Failure::NoSize,
                    "The FTP server does not give the size of " + remotePath_ + ".");
    if (size <= 0)
        return fail(Failure::EmptyFile, "The remote file is empty.");
    length_ = size;
    length = length_;
    return true;
}

// A server may work in one data-connection mode only: behind NAT the server cannot connect
// back (active), a firewall may block the server's data port (passive). When the data
// connection fails or the server goes silent while it is set up, the range is tried in the
// other mode, which then stays in use for the rest of the session. A session the server ended
// meanwhile (an idle time-out while the user looked at the list) is logged on again once.
bool FtpRangeReader::downloadRange(int64_t first, int64_t last) {
    const nsFTP::TransferType image = nsFTP::TransferType::image();
    const int64_t limit = last - first;
    bool modeSwitched = false;
    bool loggedOnAgain = false;
    while (!cancelled_) {
        if (!client_.isConnected() && !client_.logOn(client_.lastLogon()))
            return false;
        if (client_.download(remotePath_, swapFilePath_, image, passive_, first, limit, length_))
            return true;
        if (cancelled_)
            return false;
        if (client_.dataConnectionFailed() && !modeSwitched) {
            passive_ = !passive_;
            modeSwitched = true;
        } else if (client_.isConnected() || loggedOnAgain) {
            return false;
        } else {
            loggedOnAgain = true;
        }
    }
    return false;
}

// Only the bytes count: a transfer whose final reply went astray still delivered them, and
// one that "succeeded" with fewer bytes than the range (a server that closed early) did not.
bool FtpRangeReader::checkDownloaded(int fd, int64_t first, int64_t last) {
    const int64_t end = length_ > 0 ? std::min<int64_t>(last, length_) : last;
    const int64_t wanted = std::max<int64_t>(0, end - first);
    struct stat held {};
    const int64_t got = ::fstat(fd, &held) == 0 ? held.st_size : 0;
    if (got >= wanted)
        return true;
    std::string text = "The FTP server did not send the requested part of the file: ";
    if (!lastClientError_.empty())
        text += lastClientError_;
    else
        text += std::to_string(got) + " of " + std::to_string(wanted) + " bytes came";
    return fail(Failure::Transfer, text + ".");
}

RangeStream* FtpRangeReader::requestRange(int64_t first, int64_t last) {
    stream_.reset();
    if (swapFilePath_.empty() || first < 0 || last < first)
        return nullptr;
    failure_ = Failure::None;
    errorText_.clear();
    lastClientError_.clear();
    // Emptied first: a download that never starts must not leave the previous range's bytes
    // to be read as this one's.
    int truncated = ::open(swapFilePath_.c_str(), O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC);
    if (truncated >= 0)
        ::close(truncated);
    downloadRange(first, last);
    if (cancelled_) {
        fail(Failure::Cancelled, "The transfer was cancelled.");
        return nullptr;
    }
    int fd = ::open(swapFilePath_.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        fail(Failure::SwapFile, "The swap file " + swapFilePath_ + " cannot be read.");
        return nullptr;
    }
    if (!checkDownloaded(fd, first, last)) {
        ::close(fd);
        return nullptr;
    }
    // As many bytes as an inclusive HTTP range of the same numbers would give.
    stream_ = std::make_unique<SwapFileStream>(fd, swapFilePath_, last - first + 1);
    return stream_.get();
}

void FtpRangeReader::close() {
    stream_.reset();
    removeSwapFile();
}

bool FtpRangeReader::createSwapFile() {
    removeSwapFile();
    std::string folder = tempFolder_.empty() ? defaultTempFolder() : tempFolder_;
    if (folder.back() != '/')
        folder += '/';
    std::string pattern = folder + "swapfile~XXXXXX.tmp";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    // Exclusive creation with a unique name, readable by this user only: another process
    // (or another viewer) never shares or redirects it.
    int fd = ::mkostemps(name.data(), 4, O_CLOEXEC);
    if (fd < 0)
        return false;
    ::close(fd);
    swapFilePath_ = name.data();
    return true;
}

void FtpRangeReader::removeSwapFile() {
    if (!swapFilePath_.empty())
        ::unlink(swapFilePath_.c_str());
    swapFilePath_.clear();
}
