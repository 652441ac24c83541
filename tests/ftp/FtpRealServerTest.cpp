// The normal paths against a real server (pyftpdlib), which also refuses SIZE in ASCII mode.
#include "ClientTestHelpers.h"
#include "FtpTestSupport.h"
#include "remote/FtpRangeReader.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>

using namespace ftptest;
using Lines = std::vector<std::string>;

namespace {

const std::size_t ArchiveSize = 300000;

class FtpRealServer : public testing::Test {
protected:
    static void SetUpTestSuite() {
        server_ = new RealFtpServer();
        ::mkdir((server_->root() + "/dir").c_str(), 0700);
        writeFile(server_->root() + "/dir/archive.bin", patternBytes(ArchiveSize));
        writeFile(server_->root() + "/empty.zip", "");
    }
    static void TearDownTestSuite() {
        delete server_;
        server_ = nullptr;
    }
    void SetUp() override {
        ASSERT_TRUE(server_->started()) << "pyftpdlib did not start";
        server_->clearTranscript();
        reader_.setTimeoutSeconds(5);
    }

    std::string hostText() const { return "127.0.0.1:" + std::to_string(server_->port()); }
    // The commands after the logon, without the PORT / PASV arguments.
    Lines commandsAfterLogon() const {
        Lines commands;
        for (const std::string& line : server_->transcript()) {
            std::string verb = line.substr(0, line.find(' '));
            if (verb == "USER" || verb == "PASS" || verb == "CWD")
                continue;
            commands.push_back(verb == "PORT" ? "PORT" : line);
        }
        return commands;
    }
    std::string readAll(RangeStream* stream) {
        std::string bytes;
        char buffer[4096];
        for (std::size_t count; (count = stream->read(buffer, sizeof buffer)) > 0;)
            bytes.append(buffer, count);
        return bytes;
    }

    static RealFtpServer* server_;
    TempFolder temp_;
    FtpRangeReader reader_{temp_.path()};
    const std::string content_ = patternBytes(ArchiveSize);
};

RealFtpServer* FtpRealServer::server_ = nullptr;

} // namespace

TEST_F(FtpRealServer, AnonymousRangesSendTypeAndSizeOnceAndRestOnlyPastZero) {
    ASSERT_TRUE(reader_.connect(hostText(), "", ""));
    int64_t length = 0;
    ASSERT_TRUE(reader_.open("/dir/archive.bin", length));
    EXPECT_EQ(length, static_cast<int32_t>(ArchiveSize));

    RangeStream* stream = reader_.requestRange(200000, 200022);
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(readAll(stream), content_.substr(200000, 23));
    stream = reader_.requestRange(0, 30);
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(readAll(stream), content_.substr(0, 31));
    stream = reader_.requestRange(250000, 300000);
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(readAll(stream), content_.substr(250000));

    EXPECT_EQ(commandsAfterLogon(), (Lines{"TYPE I", "SIZE dir/archive.bin", "PORT", "REST 200000",
                                           "RETR dir/archive.bin", "PORT", "RETR dir/archive.bin",
                                           "PORT", "REST 250000", "RETR dir/archive.bin"}));
    // Each early stop was answered and read: the session was never replaced.
    Lines transcript = server_->transcript();
    EXPECT_EQ(std::count(transcript.begin(), transcript.end(), "USER anonymous"), 1);
}

TEST_F(FtpRealServer, PercentEncodedUserAndPasswordLogOn) {
    EXPECT_TRUE(reader_.connect(hostText(), "us%40er%3Ax", "p%3Aa%2Fss%40w"));
    int64_t length = 0;
    EXPECT_TRUE(reader_.open("dir/archive.bin", length));
    FtpRangeReader wrong(temp_.path());
    wrong.setTimeoutSeconds(5);
    EXPECT_FALSE(wrong.connect(hostText(), "us%40er%3Ax", "wrong"));
}

TEST_F(FtpRealServer, PassiveRangeWithRestart) {
    auto client = makeClient(5);
    ASSERT_TRUE(client->logOn(logonTo(server_->port(), "anonymous", "x@")));
    const std::string local = temp_.file("part");
    ASSERT_TRUE(
        client->download("dir/archive.bin", local, nsFTP::TransferType::image(), true, 12345, 100));
    std::string written = readFile(local);
    EXPECT_GE(written.size(), 100u);
    EXPECT_EQ(written, content_.substr(12345, written.size()));
    ASSERT_TRUE(
        client->download("dir/archive.bin", local, nsFTP::TransferType::image(), true, 100));
    EXPECT_EQ(readFile(local), content_.substr(100));
    Lines commands = commandsAfterLogon();
    EXPECT_EQ(commands[0], "TYPE I");
    EXPECT_EQ(std::count(commands.begin(), commands.end(), "PASV"), 2);
    EXPECT_EQ(std::count(commands.begin(), commands.end(), "REST 12345"), 1);
    EXPECT_EQ(std::count(commands.begin(), commands.end(), "TYPE I"), 1);
}
