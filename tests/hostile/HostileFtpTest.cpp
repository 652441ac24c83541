// FTP servers that misbehave on purpose, read through the remote source and the engine: each
// case ends within the client's time-outs with a clear error, or reads the archive correctly.
#include "CliHarness.h"
#include "HostileZip.h"
#include "ScriptedFtpServer.h"

#include "remote/RemoteArchiveSource.h"
#include "zip/ZipArchive.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

using ftptest::FtpSession;
using ftptest::ScriptedFtpServer;
using Clock = std::chrono::steady_clock;

namespace {

std::string sampleArchive() {
    hostile::Entry a;
    a.name = "a.txt";
    a.data = std::string(50000, 'a');
    a.deflate = true;
    hostile::Entry b;
    b.name = "b.txt";
    b.data = "bee\n";
    return hostile::build({a, b});
}

struct Outcome {
    bool opened = false;
    std::string error;
    Clock::duration took{};
};

// Opens ftp://127.0.0.1:port/a.zip with a 2-second client time-out and tests the entries
// asked for.
Outcome openAndTest(const ScriptedFtpServer& server, std::vector<uint16_t> entries = {0, 1}) {
    Outcome outcome;
    const auto start = Clock::now();
    RemoteArchiveSource source;
    source.ftpReader().setTimeoutSeconds(2);
    CZipArchive archive(source);
    try {
        archive.open(String("ftp://127.0.0.1:" + std::to_string(server.port()) + "/a.zip"));
        outcome.opened = !archive.isClosed();
        if (!outcome.opened)
            outcome.error = "not opened: " + source.errorText();
        for (uint16_t i : entries) {
            if (!outcome.opened)
                break;
            if (!archive.testEntry(i)) {
                outcome.error = "entry " + std::to_string(i) + ": " + archive.lastError();
                break;
            }
        }
    } catch (const std::exception& e) {
        outcome.error = e.what();
    }
    archive.close(true);
    outcome.took = Clock::now() - start;
    ::testing::Test::RecordProperty("error", outcome.error);
    return outcome;
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

} // namespace

// Far more continuation lines than any reply may have, and never the closing line.
TEST(HostileFtp, EndlessMultiLineReplyIsCutAtTheCeiling) {
    ScriptedFtpServer server;
    server.setFile(sampleArchive());
    server.on("USER", [](FtpSession& session, const std::string&) {
        session.sendRaw("331-Password required\r\n");
        const std::string lines = [] {
            std::string text;
            for (int i = 0; i < 256; ++i)
                text += "331-and more of it, line after line after line\r\n";
            return text;
        }();
        for (int i = 0; i < 400; ++i) // 5 MiB: far past any ceiling
            session.sendRaw(lines);
    });
    const Outcome outcome = openAndTest(server);
    EXPECT_FALSE(outcome.opened);
    EXPECT_TRUE(contains(outcome.error, "Reply too long")) << outcome.error;
    EXPECT_LT(outcome.took, std::chrono::seconds(15));
}

TEST(HostileFtp, OneMebibyteLineIsRefused) {
    ScriptedFtpServer server;
    server.setFile(sampleArchive());
    server.on("USER", [](FtpSession& session, const std::string&) {
        session.send("331 " + std::string(1 << 20, 'x'));
    });
    const Outcome outcome = openAndTest(server);
    EXPECT_FALSE(outcome.opened);
    EXPECT_TRUE(contains(outcome.error, "Reply line too long")) << outcome.error;
    EXPECT_LT(outcome.took, std::chrono::seconds(15));
}

// The 227 reply names a third host: the data connection still goes to the server's own
// address, and the archive reads as it should.
TEST(HostileFtp, PassiveAddressOfAnotherHostIsNotFollowed) {
    ScriptedFtpServer server;
    server.setFile(sampleArchive());
    server.setPassiveAnnouncedAddress("10,255,255,1");
    server.reply("PORT", "500 Active mode is not allowed here"); // so that PASV is asked
    const Outcome outcome = openAndTest(server);
    EXPECT_TRUE(outcome.opened) << outcome.error;
    EXPECT_EQ(outcome.error, "");
    const auto commands = server.transcript();
    EXPECT_NE(std::find(commands.begin(), commands.end(), "PASV"), commands.end())
        << testing::PrintToString(commands);
    EXPECT_LT(outcome.took, std::chrono::seconds(15));
}

// The server sends the file from the offset on but never closes the data connection nor
// answers 226: each range ends once its bytes are in, within the final-reply wait.
TEST(HostileFtp, DataConnectionNeverClosedEndsEachRange) {
    ScriptedFtpServer server;
    server.setFile(sampleArchive());
    server.on("RETR", [](FtpSession& session, const std::string&) {
        session.send("150 Opening data connection");
        if (session.openDataConnection())
            session.sendFileOverData(); // and then silence, the connection left open
    });
    const Outcome outcome = openAndTest(server, {1});
    EXPECT_TRUE(outcome.opened) << outcome.error;
    EXPECT_EQ(outcome.error, "");
    EXPECT_LT(outcome.took, std::chrono::seconds(20));
}

// A download the server refuses or cuts short is its doing: the user reads the reason, and
// the archive is not called damaged.
TEST(HostileFtp, RefusedOrShortDownloadSaysWhyInsteadOfDamaged) {
    struct Case {
        const char* reason;
        ScriptedFtpServer::Handler retr;
    };
    const Case cases[] = {
        {"550 Permission denied",
         [](FtpSession& s, const std::string&) { s.send("550 Permission denied"); }},
        {"100 of ",
         [](FtpSession& s, const std::string&) {
             s.send("150 Opening data connection");
             if (s.openDataConnection())
                 s.sendFileOverData(100);
             s.closeData();
             s.send("226 Transfer complete");
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reason);
        ScriptedFtpServer server;
        server.setFile(sampleArchive());
        server.on("RETR", c.retr);
        const auto run =
            clitest::cli({"list", "ftp://127.0.0.1:" + std::to_string(server.port()) + "/a.zip"});
        EXPECT_EQ(run.exitCode, 3);
        EXPECT_TRUE(contains(run.err, "The file is unavaliable.")) << run.err;
        EXPECT_TRUE(contains(run.err, c.reason)) << run.err;
        EXPECT_FALSE(contains(run.err, "damaged")) << run.err;
    }
}
