#include "ClientTestHelpers.h"
#include "ScriptedFtpServer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace ftptest;
using Lines = std::vector<std::string>;

namespace {

// A logged-on client whose NOOP is answered by `answer`.
struct ReplyFixture {
    ScriptedFtpServer server;
    RecordingObserver observer; // outlives the client, which reports while it quits
    std::unique_ptr<nsFTP::CFTPClient> client = makeClient(1);

    explicit ReplyFixture(ScriptedFtpServer::Handler answer) {
        server.on("NOOP", std::move(answer));
        client->attachObserver(&observer);
        EXPECT_TRUE(client->logOn(logonTo(server.port())));
    }
};

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

TEST(FtpReplies, MultiLineReplyIsOneReply) {
    ReplyFixture f([](FtpSession& s, const std::string&) {
        s.sendRaw("230-Hello\r\n230-More\r\n230 Done\r\n200 Next\r\n");
    });
    nsFTP::ServerReply reply;
    ASSERT_TRUE(f.client->sendAndRead("NOOP", reply));
    EXPECT_EQ(reply.code, "230");
    EXPECT_EQ(reply.text, "230-Hello\r\n230-More\r\n230 Done");
    // The line after the reply stays queued for the next read.
    ASSERT_TRUE(f.client->readReply(reply));
    EXPECT_EQ(reply.text, "200 Next");
}

TEST(FtpReplies, LinesInsideAMultiLineReplyMayLookLikeCodes) {
    ReplyFixture f([](FtpSession& s, const std::string&) {
        s.sendRaw("211-Features:\r\n 211 not the end\r\n211-still not\r\n211 End\r\n");
    });
    nsFTP::ServerReply reply;
    ASSERT_TRUE(f.client->sendAndRead("NOOP", reply));
    EXPECT_EQ(reply.text, "211-Features:\r\n 211 not the end\r\n211-still not\r\n211 End");
}

TEST(FtpReplies, LineSplitAcrossSegmentsIsWaitedFor) {
    ReplyFixture f([](FtpSession& s, const std::string&) {
        s.sendRaw("213 12");
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        s.sendRaw("3456\r\n");
    });
    nsFTP::ServerReply reply;
    ASSERT_TRUE(f.client->sendAndRead("NOOP", reply));
    EXPECT_EQ(reply.text, "213 123456");
}

TEST(FtpReplies, InvalidCodeFailsTheReply) {
    ReplyFixture f([](FtpSession& s, const std::string&) { s.send("2x0 odd"); });
    nsFTP::ServerReply reply;
    EXPECT_FALSE(f.client->sendAndRead("NOOP", reply));
    EXPECT_EQ(reply.text, "2x0 odd");
    EXPECT_TRUE(reply.code.empty());
    EXPECT_EQ(f.client->changeDirectory("/"), 0); // still in step
}

TEST(FtpReplies, OverlongLineIsRefusedAndDropsTheConnection) {
    ReplyFixture f(
        [](FtpSession& s, const std::string&) { s.sendRaw("200 " + std::string(20000, 'x')); });
    nsFTP::ServerReply reply;
    EXPECT_FALSE(f.client->sendAndRead("NOOP", reply));
    EXPECT_FALSE(f.client->isConnected());
    EXPECT_TRUE(f.observer.sawError("Reply line too long"));
}

TEST(FtpReplies, EndlessMultiLineReplyHitsTheCeiling) {
    ReplyFixture f([](FtpSession& s, const std::string&) {
        s.send("211-Start");
        std::string line = "211-" + std::string(100, 'y') + "\r\n";
        std::string lines;
        for (int i = 0; i < 1000; ++i)
            lines += line;
        s.sendRaw(lines);
    });
    nsFTP::ServerReply reply;
    EXPECT_FALSE(f.client->sendAndRead("NOOP", reply));
    EXPECT_FALSE(f.client->isConnected());
    EXPECT_TRUE(f.observer.sawError("Reply too long"));
}

TEST(FtpReplies, SilentServerTimesOutAndDisconnects) {
    ReplyFixture f([](FtpSession&, const std::string&) {});
    nsFTP::ServerReply reply;
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(f.client->sendAndRead("NOOP", reply));
    EXPECT_LT(secondsSince(start), 3.0);
    EXPECT_TRUE(f.observer.sawError("Receive timeout error"));
    EXPECT_FALSE(f.client->isConnected());
    EXPECT_FALSE(f.client->sendLine("NOOP")); // fails at once until the next logon
}

TEST(FtpReplies, LineBreaksInACommandAreRefused) {
    ReplyFixture f([](FtpSession& s, const std::string&) { s.send("200 ok"); });
    EXPECT_FALSE(f.client->sendLine("SIZE a\r\nDELE b"));
    EXPECT_EQ(f.server.commandsExceptLogon(), Lines{});
}

TEST(FtpSize, ImageTypeIsSetBeforeTheFirstSize) {
    ScriptedFtpServer server;
    bool image = false;
    server.on("TYPE", [&](FtpSession& s, const std::string& argument) {
        image = argument == "I";
        s.send("200 Type set");
    });
    server.on("SIZE", [&](FtpSession& s, const std::string&) {
        s.send(image ? "213 123456" : "550 SIZE not allowed in ASCII mode");
    });
    auto client = makeClient();
    ASSERT_TRUE(client->logOn(logonTo(server.port())));
    int64_t size = -1;
    EXPECT_EQ(client->querySize("a.zip", size), 0);
    EXPECT_EQ(size, 123456);
    EXPECT_EQ(client->querySize("a.zip", size), 0);
    EXPECT_EQ(server.commandsExceptLogon(), (Lines{"TYPE I", "SIZE a.zip", "SIZE a.zip"}));
}

TEST(FtpSize, RefusalAndShortRepliesGiveZero) {
    ScriptedFtpServer server;
    std::string answer = "550 No such file";
    server.on("SIZE", [&](FtpSession& s, const std::string&) { s.send(answer); });
    auto client = makeClient();
    ASSERT_TRUE(client->logOn(logonTo(server.port())));
    int64_t size = -1;
    EXPECT_EQ(client->querySize("a.zip", size), 1);
    EXPECT_EQ(size, 0);
    answer = "213";
    EXPECT_EQ(client->querySize("a.zip", size), 0);
    EXPECT_EQ(size, 0);
    answer = "213 ";
    EXPECT_EQ(client->querySize("a.zip", size), 0);
    EXPECT_EQ(size, 0);
}
