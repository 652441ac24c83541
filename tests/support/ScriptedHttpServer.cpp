#include "ScriptedHttpServer.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <stdexcept>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

namespace mgtest {

namespace {

constexpr std::size_t MaxRequestHead = 64 * 1024;

const char* reasonPhrase(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 206:
        return "Partial Content";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 303:
        return "See Other";
    case 307:
        return "Temporary Redirect";
    case 308:
        return "Permanent Redirect";
    case 404:
        return "Not Found";
    case 416:
        return "Range Not Satisfiable";
    case 500:
        return "Internal Server Error";
    default:
        return "Status";
    }
}

bool sendAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        ssize_t sent = send(fd, data, size, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            return false;
        data += sent;
        size -= static_cast<std::size_t>(sent);
    }
    return true;
}

bool parseHead(const std::string& head, SeenRequest& request) {
    std::istringstream in(head);
    std::string line;
    if (!std::getline(in, line))
        return false;
    std::istringstream first(line);
    first >> request.method >> request.target;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        auto colon = line.find(':');
        if (colon == std::string::npos)
            continue;
        std::string value = line.substr(colon + 1);
        value.erase(0, value.find_first_not_of(' '));
        request.headers.emplace_back(line.substr(0, colon), value);
    }
    return !request.method.empty();
}

bool hasHeader(const HeaderList& headers, const char* name) {
    return std::any_of(headers.begin(), headers.end(),
                       [&](const auto& h) { return strcasecmp(h.first.c_str(), name) == 0; });
}

} // namespace

std::optional<std::string> SeenRequest::header(const std::string& name) const {
    for (const auto& [key, value] : headers) {
        if (strcasecmp(key.c_str(), name.c_str()) == 0)
            return value;
    }
    return std::nullopt;
}

ScriptedReply ScriptedReply::file(const std::string& content, const SeenRequest& request) {
    auto range = request.header("Range");
    long long size = static_cast<long long>(content.size());
    long long first = 0;
    long long last = -1;
    long long suffix = 0;
    if (range && std::sscanf(range->c_str(), "bytes=-%lld", &suffix) == 1) {
        // The last `suffix` bytes (all of a shorter file); none asked for is unsatisfiable.
        first = suffix > 0 ? std::max(0LL, size - suffix) : size;
        last = size - 1;
    } else if (!range || std::sscanf(range->c_str(), "bytes=%lld-%lld", &first, &last) < 1) {
        return whole(content);
    }
    if (last < 0 || last >= size)
        last = size - 1;
    ScriptedReply reply;
    if (first >= size || first > last) {
        reply.status = 416;
        reply.headers = {{"Content-Range", "bytes */" + std::to_string(size)}};
        return reply;
    }
    reply.status = 206;
    reply.headers = {{"Content-Range", "bytes " + std::to_string(first) + "-" +
                                           std::to_string(last) + "/" + std::to_string(size)}};
    reply.body =
        content.substr(static_cast<std::size_t>(first), static_cast<std::size_t>(last - first + 1));
    return reply;
}

ScriptedReply ScriptedReply::whole(const std::string& content) {
    ScriptedReply reply;
    reply.body = content;
    return reply;
}

ScriptedReply ScriptedReply::error(int status, const std::string& html) {
    ScriptedReply reply;
    reply.status = status;
    reply.headers = {{"Content-Type", "text/html"}};
    reply.body = html;
    return reply;
}

ScriptedReply ScriptedReply::redirect(int status, const std::string& location) {
    ScriptedReply reply;
    reply.status = status;
    reply.headers = {{"Location", location}};
    reply.body = "<html>moved</html>";
    return reply;
}

ScriptedHttpServer::ScriptedHttpServer(Handler handler) : handler_(std::move(handler)) {
    listenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (listenFd_ < 0 || bind(listenFd_, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        listen(listenFd_, 16) != 0 ||
        getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &size) != 0 ||
        pipe2(stopPipe_, O_CLOEXEC) != 0) {
        if (listenFd_ >= 0)
            close(listenFd_);
        throw std::runtime_error("the scripted HTTP server cannot listen");
    }
    port_ = ntohs(address.sin_port);
    acceptThread_ = std::thread([this] { acceptLoop(); });
}

ScriptedHttpServer::~ScriptedHttpServer() {
    char stop = 1;
    (void)!write(stopPipe_[1], &stop, 1); // every poll also watches the pipe
    acceptThread_.join();
    for (auto& thread : threads_)
        thread.join();
    close(listenFd_);
    close(stopPipe_[0]);
    close(stopPipe_[1]);
}

std::string ScriptedHttpServer::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<SeenRequest> ScriptedHttpServer::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

bool ScriptedHttpServer::waitReadable(int fd) const {
    pollfd fds[2] = {{fd, POLLIN, 0}, {stopPipe_[0], POLLIN, 0}};
    while (poll(fds, 2, -1) < 0) {
        if (errno != EINTR)
            return false;
    }
    return (fds[1].revents & POLLIN) == 0;
}

void ScriptedHttpServer::holdSilent(int fd) const {
    char buffer[256];
    while (waitReadable(fd) && recv(fd, buffer, sizeof buffer, 0) > 0) {
    }
}

// Never blocks in send: a client that stops reading must not keep the server from stopping.
void ScriptedHttpServer::sendEndlessly(int fd) const {
    const std::string filler(16384, 'E');
    for (;;) {
        pollfd fds[2] = {{fd, POLLOUT, 0}, {stopPipe_[0], POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if ((fds[1].revents & POLLIN) != 0 || (fds[0].revents & (POLLERR | POLLHUP)) != 0)
            return;
        const ssize_t sent = send(fd, filler.data(), filler.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            return;
    }
}

void ScriptedHttpServer::acceptLoop() {
    while (waitReadable(listenFd_)) {
        int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        int number = ++connections_;
        threads_.emplace_back([this, fd, number] { serveConnection(fd, number); });
    }
}

void ScriptedHttpServer::serveConnection(int fd, int number) {
    std::string pending;
    bool open = true;
    while (open) {
        auto end = pending.find("\r\n\r\n");
        while (end == std::string::npos && pending.size() < MaxRequestHead) {
            char buffer[4096];
            ssize_t got = waitReadable(fd) ? recv(fd, buffer, sizeof buffer, 0) : 0;
            if (got <= 0) {
                close(fd);
                return;
            }
            pending.append(buffer, static_cast<std::size_t>(got));
            end = pending.find("\r\n\r\n");
        }
        SeenRequest request;
        if (end == std::string::npos || !parseHead(pending.substr(0, end), request))
            break;
        pending.erase(0, end + 4);
        request.connection = number;
        {
            std::lock_guard lock(mutex_);
            requests_.push_back(request);
        }
        ScriptedReply reply = handler_(request);
        if (reply.noAnswer) {
            while (waitReadable(fd)) {
                char buffer[256];
                if (recv(fd, buffer, sizeof buffer, 0) <= 0)
                    break;
            }
            break;
        }
        std::ostringstream head;
        head << "HTTP/1.1 " << reply.status << ' ' << reasonPhrase(reply.status) << "\r\n";
        for (const auto& [name, value] : reply.headers)
            head << name << ": " << value << "\r\n";
        if (!hasHeader(reply.headers, "Content-Length") && !reply.endless)
            head << "Content-Length: " << reply.body.size() << "\r\n";
        if (reply.close)
            head << "Connection: close\r\n";
        head << "\r\n";
        std::string text = head.str();
        std::size_t bodyBytes =
            std::min(reply.body.size(), reply.cutAfter.value_or(reply.body.size()));
        if (request.method != "HEAD")
            text.append(reply.body, 0, bodyBytes);
        open = sendAll(fd, text.data(), text.size()) && !reply.close && !reply.cutAfter;
        if (open && reply.endless && request.method != "HEAD")
            sendEndlessly(fd);
        if (reply.cutAfter && reply.stallAfterCut)
            holdSilent(fd);
        if (reply.endless)
            break;
    }
    close(fd);
}

} // namespace mgtest
