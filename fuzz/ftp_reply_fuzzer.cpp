// The FTP client's reply reading and the reply parsers fed any bytes as a server's control
// connection: a PASV exchange, then replies read until the connection gives out. The bytes
// arrive in pieces whose sizes the input chooses, so lines break anywhere.
#include "remote/net/FTPClient.h"
#include "remote/net/FTPReplyParsing.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

namespace {

void check(bool condition) {
    if (!condition)
        __builtin_trap();
}

// A control connection that replays the input and swallows whatever the client sends.
class ReplaySocket : public nsSocket::IBlockingSocket {
public:
    ReplaySocket(const uint8_t* data, size_t size, size_t piece)
        : data_(data), size_(size), piece_(piece) {}

    std::unique_ptr<IBlockingSocket> createInstance() const override {
        return std::make_unique<ReplaySocket>(nullptr, 0, 1);
    }
    void create(int) override { handle_ = 3; }
    void connect(const sockaddr_in&, int) override {
        throw nsSocket::CBlockingSocketException("Connect", 111);
    }
    void bind(const sockaddr_in&) override {}
    void listen() override {}
    void cleanup() override { handle_ = nsSocket::NoSocket; }
    bool accept(IBlockingSocket&, sockaddr_in&, int) override { return false; }
    void close() override { handle_ = nsSocket::NoSocket; }
    int write(const char*, int length, int) override {
        if (handle_ == nsSocket::NoSocket)
            throw nsSocket::CBlockingSocketException("Send", 32);
        return length;
    }
    int receive(char* buffer, int size, int) override {
        const size_t n = std::min({size_t(size), piece_, size_ - position_});
        std::memcpy(buffer, data_ + position_, n);
        position_ += n;
        return static_cast<int>(n);
    }
    void getSockAddr(sockaddr_in& address) const override { address = {}; }
    void getPeerAddr(sockaddr_in& address) const override { address = {}; }
    nsSocket::SocketHandle handle() const override { return handle_; }
    void attach(nsSocket::SocketHandle handle) override { handle_ = handle; }
    bool checkReadability() const override { return position_ < size_; }
    sockaddr_in getHostByName(const char*, uint16_t) const override { return {}; }
    std::string getHostByAddr(const sockaddr_in&) const override { return {}; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t piece_;
    size_t position_ = 0;
    nsSocket::SocketHandle handle_ = 3;
};

// Whatever parsePassiveReply accepts, written back in the reply's form, parses the same.
void checkPassiveRoundTrip(const std::string& text) {
    uint32_t address = 0;
    uint16_t port = 0;
    if (!nsFTP::parsePassiveReply(text, address, port))
        return;
    const std::string again = "227 Entering Passive Mode (" + std::to_string(address >> 24) + "," +
                              std::to_string((address >> 16) & 255) + "," +
                              std::to_string((address >> 8) & 255) + "," +
                              std::to_string(address & 255) + "," + std::to_string(port >> 8) +
                              "," + std::to_string(port & 255) + ")";
    uint32_t address2 = 0;
    uint16_t port2 = 0;
    check(nsFTP::parsePassiveReply(again, address2, port2));
    check(address2 == address && port2 == port);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    const size_t piece = 1 + data[0] % 64 * (data[0] >= 128 ? 64 : 1);
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    checkPassiveRoundTrip(text);
    check(nsFTP::parseSizeReply(text) >= 0);
    (void)nsFTP::hasValidReplyCode(text);

    nsFTP::CFTPClient client(std::make_unique<ReplaySocket>(data + 1, size - 1, piece), 1, 2048, 0);
    uint32_t address = 0;
    uint16_t port = 0;
    (void)client.requestPassive(address, port);
    nsFTP::ServerReply reply;
    for (int i = 0; i < 256 && client.isConnected(); ++i) {
        if (!client.readReply(reply) && !client.isConnected())
            break;
        check(reply.text.size() <= nsFTP::CFTPClient::MaxReply + nsFTP::CFTPClient::MaxReplyLine);
        check(reply.code.empty() || nsFTP::hasValidReplyCode(reply.code));
        checkPassiveRoundTrip(reply.text);
    }
    return 0;
}
