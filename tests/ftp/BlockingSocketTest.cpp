#include "remote/net/BlockingSocket.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

using namespace nsSocket;

namespace {

sockaddr_in loopback(uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    return address;
}

// A listening socket on 127.0.0.1 and a client connected to it, accepted into `server`.
struct ConnectedPair {
    CBlockingSocket listener, client, server;
    ConnectedPair() {
        listener.create(SOCK_STREAM);
        listener.bind(loopback(0));
        listener.listen();
        sockaddr_in bound{};
        listener.getSockAddr(bound);
        client.create(SOCK_STREAM);
        client.connect(bound, 5);
        sockaddr_in peer{};
        EXPECT_TRUE(listener.accept(server, peer, 5));
    }
    ~ConnectedPair() {
        listener.cleanup();
        client.cleanup();
        server.cleanup();
    }
};

uint16_t closedPort() {
    CBlockingSocket probe;
    probe.create(SOCK_STREAM);
    probe.bind(loopback(0));
    sockaddr_in bound{};
    probe.getSockAddr(bound);
    probe.close();
    return ntohs(bound.sin_port);
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

TEST(BlockingSocket, MessagesNameTheOperationAndTheCode) {
    EXPECT_EQ(CBlockingSocketException("Connect", 10061).errorText(), "Connect error 0x0000274d");
    EXPECT_EQ(CBlockingSocketException("Receive timeout", 0).errorText(), "Receive timeout error");
    char small[8];
    CBlockingSocketException("Connect", 111).formatError(small, sizeof small);
    EXPECT_STREQ(small, "Connect");
}

TEST(BlockingSocket, RefusedConnectReportsErrno) {
    CBlockingSocket socket;
    socket.create(SOCK_STREAM);
    try {
        socket.connect(loopback(closedPort()), 5);
        FAIL() << "connect to a closed port succeeded";
    } catch (const CBlockingSocketException& e) {
        EXPECT_EQ(e.errorText(), "Connect error 0x0000006f");
    }
    socket.cleanup();
}

TEST(BlockingSocket, ReceiveTimesOutWithinItsLimit) {
    ConnectedPair pair;
    char buffer[16];
    auto start = std::chrono::steady_clock::now();
    try {
        pair.client.receive(buffer, sizeof buffer, 1);
        FAIL() << "receive on a silent socket returned";
    } catch (const CBlockingSocketException& e) {
        EXPECT_EQ(e.errorText(), "Receive timeout error");
    }
    EXPECT_GE(secondsSince(start), 0.9);
    EXPECT_LT(secondsSince(start), 3.0);
}

TEST(BlockingSocket, AcceptWaitsAtMostItsTimeOut) {
    CBlockingSocket listener, accepted;
    listener.create(SOCK_STREAM);
    listener.bind(loopback(0));
    listener.listen();
    sockaddr_in peer{};
    auto start = std::chrono::steady_clock::now();
    EXPECT_THROW(listener.accept(accepted, peer, 1), CBlockingSocketException);
    EXPECT_LT(secondsSince(start), 3.0);
    EXPECT_EQ(accepted.handle(), NoSocket);
    listener.cleanup();
}

// A listener that never accepts, with its queue full: further connection attempts get no
// answer at all, like a host behind a firewall that drops packets.
TEST(BlockingSocket, ConnectWaitsAtMostItsTimeOut) {
    int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = loopback(0);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 0), 0);
    socklen_t length = sizeof address;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    std::vector<int> fillers;
    for (int i = 0; i < 4; ++i) {
        fillers.push_back(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0));
        ::connect(fillers.back(), reinterpret_cast<sockaddr*>(&address), sizeof address);
    }
    ::usleep(200000);
    CBlockingSocket socket;
    socket.create(SOCK_STREAM);
    auto start = std::chrono::steady_clock::now();
    try {
        socket.connect(address, 1);
        ADD_FAILURE() << "connect to a full queue succeeded";
    } catch (const CBlockingSocketException& e) {
        EXPECT_EQ(e.errorText(), "Connect error 0x0000006e");
    }
    EXPECT_LT(secondsSince(start), 3.0);
    socket.cleanup();
    for (int filler : fillers)
        ::close(filler);
    ::close(listener);
}

TEST(BlockingSocket, CloseAndCleanupOnEmptySocketDoNothing) {
    CBlockingSocket socket;
    EXPECT_NO_THROW(socket.close());
    EXPECT_NO_THROW(socket.cleanup());
    EXPECT_EQ(socket.handle(), NoSocket);
    socket.create(SOCK_STREAM);
    EXPECT_GT(socket.handle(), 0);
    socket.close();
    EXPECT_EQ(socket.handle(), NoSocket);
}

TEST(BlockingSocket, ReadabilityReflectsPendingData) {
    ConnectedPair pair;
    EXPECT_FALSE(pair.client.checkReadability());
    pair.server.write("x", 1, 5);
    for (int i = 0; i < 100 && !pair.client.checkReadability(); ++i)
        ::usleep(10000);
    EXPECT_TRUE(pair.client.checkReadability());
    char c;
    EXPECT_EQ(pair.client.receive(&c, 1, 5), 1);
    EXPECT_FALSE(pair.client.checkReadability());
}

TEST(BlockingSocket, WriteSendsEverythingAndReceiveSeesTheEnd) {
    ConnectedPair pair;
    std::string data(5000, 'a');
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>('a' + i % 26);
    EXPECT_EQ(pair.client.write(data.data(), static_cast<int>(data.size()), 5), 5000);
    pair.client.close();
    std::string received;
    char buffer[2048];
    for (int count; (count = pair.server.receive(buffer, sizeof buffer, 5)) > 0;)
        received.append(buffer, static_cast<std::size_t>(count));
    EXPECT_EQ(received, data);
}

TEST(BlockingSocket, NamesResolveToIpv4) {
    CBlockingSocket socket;
    sockaddr_in address = socket.getHostByName("127.0.0.1", 2121);
    EXPECT_EQ(address.sin_family, AF_INET);
    EXPECT_EQ(ntohs(address.sin_port), 2121);
    EXPECT_EQ(addressText(address), "127.0.0.1");
    EXPECT_THROW(socket.getHostByName("no-such-host.invalid", 21), CBlockingSocketException);
}
