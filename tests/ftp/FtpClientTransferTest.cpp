#include "ClientTestHelpers.h"
#include "FtpTestSupport.h"
#include "ScriptedFtpServer.h"

#include <gtest/gtest.h>

#include <thread>

#include <chrono>

using namespace ftptest;
using Lines = std::vector<std::string>;

namespace {

const nsFTP::TransferType Image = nsFTP::TransferType::image();

struct TransferFixture {
    ScriptedFtpServer server;
    TempFolder folder;
    std::string local = folder.file("swap");
    std::string content = patternBytes(100000);
    RecordingObserver observer; // outlives the client, which reports while it quits
    std::unique_ptr<nsFTP::CFTPClient> client = makeClient(1);

    TransferFixture() {
        server.setFile(content);
        client->attachObserver(&observer);
    }
    void logOn() { ASSERT_TRUE(client->logOn(logonTo(server.port()))); }
};

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

bool startsWith(const std::string& line, const std::string& prefix) {
    return line.compare(0, prefix.size(), prefix) == 0;
}

} // namespace

TEST(FtpTransfer, ActiveDownloadFromOffsetSendsRestAndRetr) {
    TransferFixture f;
    f.logOn();
    ASSERT_TRUE(f.client->download("a.zip", f.local, Image, false, 5000));
    EXPECT_EQ(readFile(f.local), f.content.substr(5000));
    Lines commands = f.server.commandsExceptLogon();
    ASSERT_EQ(commands.size(), 5u);
    EXPECT_EQ(commands[0], "TYPE I");
    EXPECT_EQ(commands[1], "SIZE a.zip");
    EXPECT_TRUE(startsWith(commands[2], "PORT 127,0,0,1,"));
    EXPECT_EQ(commands[3], "REST 5000");
    EXPECT_EQ(commands[4], "RETR a.zip");
}

TEST(FtpTransfer, OffsetZeroSendsNoRestAndTypeOnlyOnce) {
    TransferFixture f;
    f.logOn();
    ASSERT_TRUE(f.client->download("a.zip", f.local, Image, false, 0, -1, 100000));
    ASSERT_TRUE(f.client->download("a.zip", f.local, Image, true, 0, -1, 100000));
    EXPECT_EQ(readFile(f.local), f.content);
    Lines commands = f.server.commandsExceptLogon();
    ASSERT_EQ(commands.size(), 5u);
    EXPECT_EQ(commands[0], "TYPE I");
    EXPECT_TRUE(startsWith(commands[1], "PORT "));
    EXPECT_EQ(commands[2], "RETR a.zip");
    EXPECT_EQ(commands[3], "PASV");
    EXPECT_EQ(commands[4], "RETR a.zip");
}

TEST(FtpTransfer, TypeIsSentAgainAfterANewLogon) {
    TransferFixture f;
    f.logOn();
    ASSERT_TRUE(f.client->download("a.zip", f.local, Image, true, 0, -1, 100000));
    f.logOn();
    ASSERT_TRUE(f.client->download("a.zip", f.local, Image, true, 0, -1, 100000));
    int types = 0;
    for (const std::string& line : f.server.transcript())
        types += line == "TYPE I";
    EXPECT_EQ(types, 2);
}

TEST(FtpTransfer, PassiveConnectsToTheControlAddressNotTheAnnouncedOne) {
    TransferFixture f;
    f.server.setPassiveAnnouncedAddress("10,255,255,1");
    f.logOn();
    auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(f.client->download("a.zip", f.local, Image, true, 100, -1, 100000));
    EXPECT_LT(secondsSince(start), 1.0);
    EXPECT_EQ(readFile(f.local), f.content.substr(100));
}

TEST(FtpTransfer, TruncatedPassiveReplyFails) {
    TransferFixture f;
    f.server.reply("PASV", "227 Entering Passive Mode (127,0,0,1,19)");
    f.logOn();
    EXPECT_FALSE(f.client->download("a.zip", f.local, Image, true, 0, -1, 100000));
    EXPECT_TRUE(f.client->dataConnectionFailed());
    EXPECT_EQ(f.server.commandsExceptLogon(), (Lines{"TYPE I", "PASV"}));
}

TEST(FtpTransfer, LimitStopsAfterThePieceThatPassesItAndStaysInStep) {
    TransferFixture f;
    f.content = patternBytes(4 * 1024 * 1024);
    f.server.setFile(f.content);
    f.server.setPieceSize(2048);
    f.logOn();
    ASSERT_TRUE(f.client->download("a.zip", f.local, Image, false, 0, 30, 4 * 1024 * 1024));
    std::string written = readFile(f.local);
    // Whole received pieces: at least the limit, at most one piece of 2048 more.
    EXPECT_GE(written.size(), 30u);
    EXPECT_LE(written.size(), 2048u + 30u);
    EXPECT_EQ(written, f.content.substr(0, written.size()));
    // The transfer's 426 was read: the next reply belongs to the next command.
    int64_t size = 0;
    EXPECT_EQ(f.client->querySize("a.zip", size), 0);
    EXPECT_EQ(size, 4 * 1024 * 1024);
    EXPECT_EQ(f.server.sessionCount(), 1);
}

TEST(FtpTransfer, ServerWithoutFinalReplyAfterEarlyStopIsLoggedOnAgain) {
    TransferFixture f;
    f.content = patternBytes(4 * 1024 * 1024);
    f.server.setFile(f.content);
    // Like a server that sends only its 150 line when the client stops reading.
    f.server.on("RETR", [](FtpSession& s, const std::string&) {
        s.send("150 Opening data connection");
        if (s.openDataConnection())
            s.sendFileOverData();
        s.closeData();
    });
    f.logOn();
    auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(f.client->download("a.zip", f.local, Image, true, 0, 30, 4 * 1024 * 1024));
    EXPECT_LT(secondsSince(start), 4.0);
    EXPECT_GE(readFile(f.local).size(), 30u);
    EXPECT_EQ(f.server.sessionCount(), 2);
    int64_t size = 0;
    EXPECT_EQ(f.client->querySize("a.zip", size), 0);
    EXPECT_EQ(size, 4 * 1024 * 1024);
}

TEST(FtpTransfer, ActiveWaitForTheServerIsBounded) {
    TransferFixture f;
    f.server.on("RETR", [](FtpSession& s, const std::string&) {
        s.send("150 Opening data connection"); // and never connects
    });
    f.logOn();
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(f.client->download("a.zip", f.local, Image, false, 0, -1, 100000));
    EXPECT_LT(secondsSince(start), 5.0);
    EXPECT_TRUE(f.client->dataConnectionFailed());
    EXPECT_TRUE(f.observer.sawError("Accept error 0x0000006e"));
    // Out of step (no final reply came), so the client logged on afresh.
    EXPECT_EQ(f.server.sessionCount(), 2);
    EXPECT_TRUE(f.client->isConnected());
}

TEST(FtpTransfer, RefusedFileFailsWithoutLosingStep) {
    TransferFixture f;
    f.server.reply("RETR", "550 No such file");
    f.logOn();
    EXPECT_FALSE(f.client->download("gone.zip", f.local, Image, true, 0, -1, 1));
    EXPECT_FALSE(f.client->dataConnectionFailed());
    EXPECT_EQ(f.client->changeDirectory("/"), 0);
}

TEST(FtpTransfer, SilentDataConnectionTimesOut) {
    TransferFixture f;
    f.server.on("RETR", [](FtpSession& s, const std::string&) {
        s.send("150 Opening data connection");
        s.openDataConnection(); // but sends nothing and never ends the transfer
    });
    f.logOn();
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(f.client->download("a.zip", f.local, Image, true, 0, -1, 1));
    EXPECT_LT(secondsSince(start), 5.0);
    EXPECT_TRUE(f.observer.sawError("Receive timeout error"));
}

// Stopped while the server still sends (426, then ABOR's 226) and after it has sent all and
// said so (226, then ABOR's own reply): both replies are read, so the next download is
// answered in step.
TEST(FtpTransfer, AbortDuringTransferSendsAborAndStaysInStep) {
    struct AbortingObserver : nsFTP::ITransferNotification {
        nsFTP::CFTPClient* client = nullptr;
        std::chrono::milliseconds pause{0};
        void onBytesReceived(const char*, int) override {
            std::this_thread::sleep_for(pause); // the server finishes meanwhile
            client->abortTransfer();
        }
    } aborter;
    for (const std::size_t size : {std::size_t(4) << 20, std::size_t(16) << 10}) {
        SCOPED_TRACE(size);
        TransferFixture f;
        f.content = patternBytes(size);
        f.server.setFile(f.content);
        aborter.client = f.client.get();
        aborter.pause = std::chrono::milliseconds(size < 65536 ? 300 : 0);
        f.client->attachObserver(&aborter);
        f.logOn();
        EXPECT_FALSE(f.client->download("a.zip", f.local, Image, true, 0, -1, 1));
        Lines commands = f.server.commandsExceptLogon();
        ASSERT_FALSE(commands.empty());
        EXPECT_EQ(commands.back(), "ABOR");
        f.client->detachObserver(&aborter);
        EXPECT_TRUE(f.client->download("a.zip", f.local, Image, true, 0, -1, 1));
        EXPECT_TRUE(readFile(f.local) == f.content);
    }
}

TEST(FtpTransfer, UnopenableLocalFileIsReported) {
    TransferFixture f;
    f.logOn();
    EXPECT_FALSE(f.client->download("a.zip", f.folder.file("no/such/dir"), Image, true));
    EXPECT_FALSE(f.observer.errors.empty());
    EXPECT_TRUE(f.server.commandsExceptLogon().empty());
}
