#include "ScriptedFtpServer.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <sstream>

namespace ftptest {

namespace {

constexpr int PollMs = 50;
constexpr int DataWaitMs = 5000;

bool waitReadable(int fd, int ms) {
    pollfd entry{fd, POLLIN, 0};
    return ::poll(&entry, 1, ms) > 0;
}

int listenOnLoopback(uint16_t& port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int yes = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(fd, 8);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
    return fd;
}

void closeFd(int& fd) {
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

std::string upper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}

} // namespace

FtpSession::~FtpSession() {
    closeData();
    closeFd(passiveListener_);
}

void FtpSession::sendRaw(const std::string& bytes) {
    ::send(control_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
}

void FtpSession::send(const std::string& text) {
    sendRaw(text + "\r\n");
}

void FtpSession::closeData() {
    if (data_ >= 0)
        ::shutdown(data_, SHUT_RDWR);
    closeFd(data_);
}

bool FtpSession::waitUntilClientHangsUp(int ms) {
    char byte;
    return waitReadable(control_, ms) && ::recv(control_, &byte, 1, MSG_PEEK) <= 0;
}

bool FtpSession::openDataConnection() {
    closeData();
    if (passiveListener_ >= 0) {
        if (waitReadable(passiveListener_, DataWaitMs))
            data_ = ::accept4(passiveListener_, nullptr, nullptr, SOCK_CLOEXEC);
        closeFd(passiveListener_);
        return data_ >= 0;
    }
    if (!haveActiveTarget_)
        return false;
    data_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (::connect(data_, reinterpret_cast<sockaddr*>(&activeTarget_), sizeof activeTarget_) != 0)
        closeFd(data_);
    haveActiveTarget_ = false;
    return data_ >= 0;
}

bool FtpSession::sendFileOverData(std::size_t count) {
    const std::string& file = server_.file_;
    std::size_t pos = restOffset < 0 ? 0 : static_cast<std::size_t>(restOffset);
    restOffset = 0;
    const std::size_t end = pos + std::min(count, file.size() - std::min(pos, file.size()));
    while (pos < end) {
        std::size_t piece = std::min(server_.pieceSize_, end - pos);
        ssize_t sent = ::send(data_, file.data() + pos, piece, MSG_NOSIGNAL);
        if (sent <= 0)
            return false;
        pos += static_cast<std::size_t>(sent);
    }
    return true;
}

void FtpSession::answerDefault(const std::string& verb, const std::string& argument) {
    if (verb == "USER")
        send("331 Password required");
    else if (verb == "PASS")
        send("230 Logged on");
    else if (verb == "CWD")
        send("250 Directory changed");
    else if (verb == "TYPE")
        send("200 Type set");
    else if (verb == "SIZE")
        send("213 " + std::to_string(server_.file_.size()));
    else if (verb == "REST") {
        restOffset = std::stoll(argument);
        send("350 Restarting");
    } else if (verb == "PORT") {
        unsigned h1, h2, h3, h4, p1, p2;
        if (std::sscanf(argument.c_str(), "%u,%u,%u,%u,%u,%u", &h1, &h2, &h3, &h4, &p1, &p2) != 6) {
            send("501 Bad PORT");
            return;
        }
        activeTarget_ = {};
        activeTarget_.sin_family = AF_INET;
        activeTarget_.sin_addr.s_addr = htonl(h1 << 24 | h2 << 16 | h3 << 8 | h4);
        activeTarget_.sin_port = htons(static_cast<uint16_t>(p1 << 8 | p2));
        haveActiveTarget_ = true;
        send("200 PORT ok");
    } else if (verb == "PASV") {
        closeFd(passiveListener_);
        uint16_t port = 0;
        passiveListener_ = listenOnLoopback(port);
        send("227 Entering Passive Mode (" + server_.announced_ + "," + std::to_string(port / 256) +
             "," + std::to_string(port % 256) + ")");
    } else if (verb == "RETR") {
        send("150 Opening data connection");
        if (!openDataConnection()) {
            send("425 Cannot open data connection");
            return;
        }
        bool whole = sendFileOverData();
        closeData();
        send(whole ? "226 Transfer complete" : "426 Connection closed; transfer aborted");
    } else if (verb == "QUIT") {
        send("221 Bye");
        closed = true;
    } else if (verb == "ABOR") {
        send("226 Abort ok");
    } else {
        send("502 Not implemented");
    }
}

ScriptedFtpServer::ScriptedFtpServer() {
    listener_ = listenOnLoopback(port_);
    thread_ = std::thread([this] { run(); });
}

ScriptedFtpServer::~ScriptedFtpServer() {
    stopping_ = true;
    thread_.join();
    closeFd(listener_);
}

void ScriptedFtpServer::setGreeting(const std::string& text) {
    greeting_ = text;
}

void ScriptedFtpServer::on(const std::string& verb, Handler handler) {
    std::lock_guard lock(mutex_);
    handlers_[verb] = std::move(handler);
}

void ScriptedFtpServer::reply(const std::string& verb, const std::string& text) {
    on(verb, [text](FtpSession& session, const std::string&) { session.send(text); });
}

std::vector<std::string> ScriptedFtpServer::transcript() const {
    std::lock_guard lock(mutex_);
    return transcript_;
}

std::vector<std::string> ScriptedFtpServer::commandsExceptLogon() const {
    std::vector<std::string> commands;
    for (const std::string& line : transcript()) {
        std::string verb = upper(line.substr(0, line.find(' ')));
        if (verb != "USER" && verb != "PASS" && verb != "CWD")
            commands.push_back(line);
    }
    return commands;
}

void ScriptedFtpServer::run() {
    while (!stopping_) {
        if (!waitReadable(listener_, PollMs))
            continue;
        int control = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (control < 0)
            continue;
        ++sessions_;
        // Sessions run side by side: a client may log on again before its old session ends.
        std::lock_guard lock(mutex_);
        sessionThreads_.emplace_back([this, control] {
            serve(control);
            ::close(control);
        });
    }
    std::vector<std::thread> threads;
    {
        std::lock_guard lock(mutex_);
        threads.swap(sessionThreads_);
    }
    for (std::thread& thread : threads)
        thread.join();
}

bool ScriptedFtpServer::readLine(int control, std::string& pending, std::string& line) {
    while (pending.find('\n') == std::string::npos) {
        if (stopping_)
            return false;
        if (!waitReadable(control, PollMs))
            continue;
        char buffer[1024];
        ssize_t count = ::recv(control, buffer, sizeof buffer, 0);
        if (count <= 0)
            return false;
        pending.append(buffer, static_cast<std::size_t>(count));
    }
    std::size_t end = pending.find('\n');
    line = pending.substr(0, end);
    pending.erase(0, end + 1);
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return true;
}

void ScriptedFtpServer::serve(int control) {
    FtpSession session(*this, control);
    std::string greeting;
    {
        std::lock_guard lock(mutex_);
        greeting = greeting_;
    }
    if (!greeting.empty())
        session.send(greeting);
    std::string pending, line;
    while (!session.closed && readLine(control, pending, line)) {
        std::size_t space = line.find(' ');
        std::string verb = upper(line.substr(0, space));
        std::string argument = space == std::string::npos ? std::string() : line.substr(space + 1);
        Handler handler;
        {
            std::lock_guard lock(mutex_);
            transcript_.push_back(line);
            auto found = handlers_.find(verb);
            if (found != handlers_.end())
                handler = found->second;
        }
        if (handler)
            handler(session, argument);
        else
            session.answerDefault(verb, argument);
    }
}

} // namespace ftptest
