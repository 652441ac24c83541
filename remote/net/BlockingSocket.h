// Blocking IPv4 stream sockets for the FTP client's control and data connections. Every wait
// is bounded by a time-out in whole seconds; every failure throws CBlockingSocketException
// naming the operation, so callers report "Connect error 0x0000006f" rather than a bare code.
#pragma once

#include <netinet/in.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace nsSocket {

// A POSIX descriptor. 0 means "no socket"; a failed create leaves the invalid value -1.
using SocketHandle = int;
constexpr SocketHandle NoSocket = 0;
constexpr SocketHandle InvalidSocket = -1;

class CBlockingSocketException {
public:
    // `errorCode` defaults to errno as it stands when the exception is made.
    explicit CBlockingSocketException(std::string operation);
    CBlockingSocketException(std::string operation, int32_t errorCode);
    virtual ~CBlockingSocketException() = default;

    // "<operation> error 0x%08x", or "<operation> error" when the code is 0.
    virtual std::string errorText() const;
    // Writes the message into `buffer`, truncated to `size`. Always true.
    virtual bool formatError(char* buffer, std::size_t size, unsigned* helpContext = nullptr) const;

    int32_t errorCode() const { return errorCode_; }
    const std::string& operation() const { return operation_; }

private:
    int32_t errorCode_;
    std::string operation_;
};

// What the FTP client needs of a socket; tests may substitute their own.
class IBlockingSocket {
public:
    // Does not close the socket: the owner closes it first.
    virtual ~IBlockingSocket() = default;

    // A fresh socket of the same kind (handle 0), owned by the caller.
    virtual std::unique_ptr<IBlockingSocket> createInstance() const = 0;
    virtual void create(int type) = 0;
    // Waits at most `timeoutSeconds` (a negative value: no limit) for the connection.
    virtual void connect(const sockaddr_in& address, int timeoutSeconds) = 0;
    virtual void bind(const sockaddr_in& address) = 0;
    virtual void listen() = 0;
    // Closes quietly; never throws.
    virtual void cleanup() = 0;
    // Waits at most `timeoutSeconds` (negative: no limit) for a peer. False when interrupted.
    virtual bool accept(IBlockingSocket& connected, sockaddr_in& peer, int timeoutSeconds) = 0;
    virtual void close() = 0;
    // Sends the whole buffer; each piece waits afresh for writability.
    virtual int write(const char* data, int length, int timeoutSeconds) = 0;
    // Waits for readability, then receives up to `size` bytes; 0 when the peer has closed.
    virtual int receive(char* buffer, int size, int timeoutSeconds) = 0;
    virtual void getSockAddr(sockaddr_in& address) const = 0;
    // The peer's address (the FTP client connects passive data there).
    virtual void getPeerAddr(sockaddr_in& address) const = 0;
    virtual SocketHandle handle() const = 0;
    // Takes over a connected descriptor (filled in by `accept`).
    virtual void attach(SocketHandle handle) = 0;
    // True when data is waiting right now.
    virtual bool checkReadability() const = 0;
    virtual sockaddr_in getHostByName(const char* host, uint16_t port) const = 0;
    virtual std::string getHostByAddr(const sockaddr_in& address) const = 0;
};

class CBlockingSocket : public IBlockingSocket {
public:
    CBlockingSocket() = default;
    CBlockingSocket(const CBlockingSocket&) = delete;
    CBlockingSocket& operator=(const CBlockingSocket&) = delete;

    std::unique_ptr<IBlockingSocket> createInstance() const override;
    void create(int type) override;
    void connect(const sockaddr_in& address, int timeoutSeconds) override;
    void bind(const sockaddr_in& address) override;
    void listen() override;
    void cleanup() override;
    bool accept(IBlockingSocket& connected, sockaddr_in& peer, int timeoutSeconds) override;
    void close() override;
    int write(const char* data, int length, int timeoutSeconds) override;
    int receive(char* buffer, int size, int timeoutSeconds) override;
    void getSockAddr(sockaddr_in& address) const override;
    void getPeerAddr(sockaddr_in& address) const override;
    SocketHandle handle() const override { return socketHandle_; }
    void attach(SocketHandle handle) override { socketHandle_ = handle; }
    bool checkReadability() const override;
    sockaddr_in getHostByName(const char* host, uint16_t port) const override;
    std::string getHostByAddr(const sockaddr_in& address) const override;

    // One send after waiting for writability; may accept fewer bytes than given.
    int send(const char* data, int length, int timeoutSeconds);

private:
    SocketHandle socketHandle_ = NoSocket;
};

// Dotted-decimal text of an IPv4 address.
std::string addressText(const sockaddr_in& address);

} // namespace nsSocket
