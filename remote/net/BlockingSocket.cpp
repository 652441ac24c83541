#include "remote/net/BlockingSocket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

namespace nsSocket {

namespace {

constexpr int ListenBacklog = 5;

// Waits until `events` are signalled on `fd`. False on time-out; a failing poll counts as
// ready so that the following call reports its own error. poll rather than select: select
// cannot watch descriptors at or above FD_SETSIZE.
bool waitFor(SocketHandle fd, short events, int timeoutSeconds) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::seconds(timeoutSeconds);
    for (;;) {
        int waitMs = -1;
        if (timeoutSeconds >= 0) {
            auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            waitMs = left.count() > 0 ? static_cast<int>(left.count()) : 0;
        }
        pollfd entry{fd, events, 0};
        int result = ::poll(&entry, 1, waitMs);
        if (result > 0)
            return true;
        if (result == 0)
            return false;
        if (errno != EINTR)
            return true;
    }
}

// Keeps descriptor 0 free: this layer uses 0 for "no socket", and a process started with
// stdin closed would get 0 from socket().
SocketHandle avoidZero(SocketHandle fd) {
    if (fd != 0)
        return fd;
    SocketHandle moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
    int savedErrno = errno;
    ::close(fd);
    errno = savedErrno;
    return moved;
}

void setBlocking(SocketHandle fd, bool blocking) {
    int flags = ::fcntl(fd, F_GETFL, 0);
    if (flags < 0)
        return;
    ::fcntl(fd, F_SETFL, blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK));
}

} // namespace

CBlockingSocketException::CBlockingSocketException(std::string operation)
    : CBlockingSocketException(std::move(operation), errno) {}

CBlockingSocketException::CBlockingSocketException(std::string operation, int32_t errorCode)
    : errorCode_(errorCode), operation_(std::move(operation)) {}

std::string CBlockingSocketException::errorText() const {
    char buffer[512];
    formatError(buffer, sizeof buffer);
    return buffer;
}

bool CBlockingSocketException::formatError(char* buffer, std::size_t size,
                                           unsigned* helpContext) const {
    if (helpContext)
        *helpContext = 0;
    if (size == 0)
        return true;
    if (errorCode_ != 0)
        std::snprintf(buffer, size, "%s error 0x%08x", operation_.c_str(),
                      static_cast<unsigned>(errorCode_));
    else
        std::snprintf(buffer, size, "%s error", operation_.c_str());
    return true;
}

std::unique_ptr<IBlockingSocket> CBlockingSocket::createInstance() const {
    return std::make_unique<CBlockingSocket>();
}

void CBlockingSocket::create(int type) {
    socketHandle_ = avoidZero(::socket(AF_INET, type | SOCK_CLOEXEC, 0));
    if (socketHandle_ < 0)
        throw CBlockingSocketException("Create");
}

void CBlockingSocket::connect(const sockaddr_in& address, int timeoutSeconds) {
    // Non-blocking connect, so that an unanswering address costs at most the time-out.
    setBlocking(socketHandle_, false);
    int result =
        ::connect(socketHandle_, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    if (result != 0 && errno == EINPROGRESS) {
        if (!waitFor(socketHandle_, POLLOUT, timeoutSeconds)) {
            setBlocking(socketHandle_, true);
            throw CBlockingSocketException("Connect", ETIMEDOUT);
        }
        int error = 0;
        socklen_t length = sizeof error;
        if (::getsockopt(socketHandle_, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
            error = errno;
        result = error == 0 ? 0 : -1;
        errno = error;
    }
    int savedErrno = errno;
    setBlocking(socketHandle_, true);
    if (result != 0)
        throw CBlockingSocketException("Connect", savedErrno);
}

void CBlockingSocket::bind(const sockaddr_in& address) {
    if (::bind(socketHandle_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        throw CBlockingSocketException("Bind");
}

void CBlockingSocket::listen() {
    if (::listen(socketHandle_, ListenBacklog) != 0)
        throw CBlockingSocketException("Listen");
}

void CBlockingSocket::cleanup() {
    if (socketHandle_ != NoSocket && socketHandle_ != InvalidSocket)
        ::close(socketHandle_);
    socketHandle_ = NoSocket;
}

bool CBlockingSocket::accept(IBlockingSocket& connected, sockaddr_in& peer, int timeoutSeconds) {
    if (!waitFor(socketHandle_, POLLIN, timeoutSeconds))
        throw CBlockingSocketException("Accept", ETIMEDOUT);
    socklen_t length = sizeof peer;
    SocketHandle fd =
        ::accept4(socketHandle_, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_CLOEXEC);
    connected.attach(fd < 0 ? fd : avoidZero(fd));
    if (connected.handle() >= 0)
        return true;
    if (errno == EINTR)
        return false;
    throw CBlockingSocketException("Accept");
}

void CBlockingSocket::close() {
    if (socketHandle_ == NoSocket)
        return;
    if (::close(socketHandle_) != 0 && errno != EINTR)
        throw CBlockingSocketException("Close");
    // After EINTR Linux has released the descriptor already; closing again could hit another.
    socketHandle_ = NoSocket;
}

int CBlockingSocket::send(const char* data, int length, int timeoutSeconds) {
    if (!waitFor(socketHandle_, POLLOUT, timeoutSeconds))
        throw CBlockingSocketException("Send timeout", 0);
    ssize_t sent;
    do {
        sent = ::send(socketHandle_, data, static_cast<std::size_t>(length), MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    if (sent < 0)
        throw CBlockingSocketException("Send");
    return static_cast<int>(sent);
}

int CBlockingSocket::write(const char* data, int length, int timeoutSeconds) {
    int total = 0;
    do {
        total += send(data + total, length - total, timeoutSeconds);
    } while (total < length);
    return length;
}

int CBlockingSocket::receive(char* buffer, int size, int timeoutSeconds) {
    if (!waitFor(socketHandle_, POLLIN, timeoutSeconds))
        throw CBlockingSocketException("Receive timeout", 0);
    ssize_t count;
    do {
        count = ::recv(socketHandle_, buffer, static_cast<std::size_t>(size), 0);
    } while (count < 0 && errno == EINTR);
    if (count < 0)
        throw CBlockingSocketException("Receive");
    return static_cast<int>(count);
}

void CBlockingSocket::getSockAddr(sockaddr_in& address) const {
    socklen_t length = sizeof address;
    if (::getsockname(socketHandle_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw CBlockingSocketException("GetSockName");
}

void CBlockingSocket::getPeerAddr(sockaddr_in& address) const {
    socklen_t length = sizeof address;
    if (::getpeername(socketHandle_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw CBlockingSocketException("GetPeerName");
}

bool CBlockingSocket::checkReadability() const {
    pollfd entry{socketHandle_, POLLIN, 0};
    int result;
    do {
        result = ::poll(&entry, 1, 0);
    } while (result < 0 && errno == EINTR);
    if (result < 0)
        throw CBlockingSocketException("Socket Error");
    return result == 1;
}

sockaddr_in CBlockingSocket::getHostByName(const char* host, uint16_t port) const {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    int result = ::getaddrinfo(host, nullptr, &hints, &found);
    if (result != 0 || found == nullptr)
        throw CBlockingSocketException("GetHostByName", result == EAI_SYSTEM ? errno : 0);
    sockaddr_in address;
    std::memcpy(&address, found->ai_addr, sizeof address);
    ::freeaddrinfo(found);
    address.sin_port = htons(port);
    return address;
}

std::string CBlockingSocket::getHostByAddr(const sockaddr_in& address) const {
    char name[NI_MAXHOST];
    int result = ::getnameinfo(reinterpret_cast<const sockaddr*>(&address), sizeof address, name,
                               sizeof name, nullptr, 0, NI_NAMEREQD);
    if (result != 0)
        throw CBlockingSocketException("GetHostByAddr", result == EAI_SYSTEM ? errno : 0);
    return name;
}

std::string addressText(const sockaddr_in& address) {
    char text[INET_ADDRSTRLEN] = "";
    ::inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
    return text;
}

} // namespace nsSocket
