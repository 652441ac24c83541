// Helpers of the FTP tests: private temporary folders and a real pyftpdlib server.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace ftptest {

class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

void writeFile(const std::string& path, const std::string& content);
std::string readFile(const std::string& path);
// Bytes that differ at every position, so that a wrong offset shows.
std::string patternBytes(std::size_t size);
std::vector<std::string> filesIn(const std::string& folder);

// pyftpdlib serving `root()`: anonymous, and the user RealFtpServer::User with its password.
class RealFtpServer {
public:
    static constexpr const char* User = "us@er:x";
    static constexpr const char* Password = "p:a/ss@w";

    // `passiveOnly`: PORT is refused, so that clients must use passive mode.
    explicit RealFtpServer(bool passiveOnly = false);
    ~RealFtpServer();
    RealFtpServer(const RealFtpServer&) = delete;
    RealFtpServer& operator=(const RealFtpServer&) = delete;

    bool started() const { return port_ != 0; }
    uint16_t port() const { return port_; }
    const std::string& root() const { return root_.path(); }
    // Every command line received so far, across sessions.
    std::vector<std::string> transcript() const;
    void clearTranscript();

private:
    TempFolder root_;
    TempFolder work_;
    pid_t pid_ = -1;
    uint16_t port_ = 0;
};

} // namespace ftptest
