#include "FtpTestSupport.h"

#include <dirent.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#ifndef FTP_TEST_SCRIPT_DIR
#error "FTP_TEST_SCRIPT_DIR must name the folder of pyftpd_server.py"
#endif

namespace ftptest {

TempFolder::TempFolder() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/mg-ftp-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (::mkdtemp(name.data()) != nullptr)
        path_ = name.data();
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    if (!path_.empty())
        std::filesystem::remove_all(path_, ignored);
}

void writeFile(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

std::string patternBytes(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xff);
    return bytes;
}

std::vector<std::string> filesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    return names;
}

RealFtpServer::RealFtpServer(bool passiveOnly) {
    const std::string portFile = work_.file("port");
    const std::string script = std::string(FTP_TEST_SCRIPT_DIR) + "/pyftpd_server.py";
    const std::string log = work_.file("server.log");
    const std::string transcriptFile = work_.file("transcript");
    pid_ = ::fork();
    if (pid_ == 0) {
        std::freopen(log.c_str(), "a", stdout);
        std::freopen(log.c_str(), "a", stderr);
        ::execl("/usr/bin/python3", "python3", script.c_str(), root_.path().c_str(),
                portFile.c_str(), transcriptFile.c_str(), User, Password,
                passiveOnly ? "passive-only" : "active-too", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (std::chrono::steady_clock::now() < deadline) {
        std::string text = readFile(portFile);
        if (!text.empty()) {
            port_ = static_cast<uint16_t>(std::stoi(text));
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

RealFtpServer::~RealFtpServer() {
    if (pid_ <= 0)
        return;
    ::kill(pid_, SIGTERM);
    for (int i = 0; i < 100; ++i) {
        if (::waitpid(pid_, nullptr, WNOHANG) == pid_)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
}

std::vector<std::string> RealFtpServer::transcript() const {
    std::vector<std::string> lines;
    std::istringstream in(readFile(work_.file("transcript")));
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

void RealFtpServer::clearTranscript() {
    writeFile(work_.file("transcript"), "");
}

} // namespace ftptest
