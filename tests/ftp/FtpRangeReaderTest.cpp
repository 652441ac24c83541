#include "remote/FtpRangeReader.h"
#include "FtpTestSupport.h"
#include "ScriptedFtpServer.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <chrono>

using namespace ftptest;
using Lines = std::vector<std::string>;

namespace {

std::string readAll(RangeStream* stream) {
    std::string bytes;
    char buffer[1000];
    for (std::size_t count; (count = stream->read(buffer, sizeof buffer)) > 0;)
        bytes.append(buffer, count);
    return bytes;
}

bool startsWith(const std::string& line, const std::string& prefix) {
    return line.compare(0, prefix.size(), prefix) == 0;
}

struct ReaderFixture {
    ScriptedFtpServer server;
    TempFolder temp;
    FtpRangeReader reader{temp.path()};
    std::string content = patternBytes(50000);
    std::string hostText = "127.0.0.1:" + std::to_string(server.port());

    ReaderFixture() {
        server.setFile(content);
        reader.setTimeoutSeconds(1);
    }
};

} // namespace

TEST(FtpAddressParts, PercentDecoding) {
    EXPECT_EQ(FtpRangeReader::percentDecode("us%40er%3Ax%2Fy"), "us@er:x/y");
    EXPECT_EQ(FtpRangeReader::percentDecode("a%2fb"), "a/b");
    EXPECT_EQ(FtpRangeReader::percentDecode("100%"), "100%");
    EXPECT_EQ(FtpRangeReader::percentDecode("%4"), "%4");
    EXPECT_EQ(FtpRangeReader::percentDecode("%zz%"), "%zz%");
    EXPECT_EQ(FtpRangeReader::percentDecode("plain"), "plain");
}

TEST(FtpAddressParts, HostAndPort) {
    std::string host;
    uint16_t port = 0;
    ASSERT_TRUE(FtpRangeReader::splitHostPort("h", host, port));
    EXPECT_EQ(host, "h");
    EXPECT_EQ(port, 21);
    ASSERT_TRUE(FtpRangeReader::splitHostPort("h:2121", host, port));
    EXPECT_EQ(host, "h");
    EXPECT_EQ(port, 2121);
    EXPECT_FALSE(FtpRangeReader::splitHostPort("h:0", host, port));
    EXPECT_FALSE(FtpRangeReader::splitHostPort("h:70000", host, port));
    EXPECT_FALSE(FtpRangeReader::splitHostPort("h:x", host, port));
    EXPECT_FALSE(FtpRangeReader::splitHostPort("h:", host, port));
    EXPECT_FALSE(FtpRangeReader::splitHostPort(":21", host, port));
}

TEST(FtpRangeReader, AddressWithoutUserLogsOnAnonymously) {
    ReaderFixture f;
    ASSERT_TRUE(f.reader.connect(f.hostText, "", ""));
    EXPECT_EQ(f.server.transcript(), (Lines{"USER anonymous", "PASS anonymous@", "CWD /"}));
}

TEST(FtpRangeReader, UnreachableServerNamesTheSocketError) {
    uint16_t port;
    {
        ScriptedFtpServer gone;
        port = gone.port();
    }
    TempFolder temp;
    FtpRangeReader reader(temp.path());
    EXPECT_FALSE(reader.connect("127.0.0.1:" + std::to_string(port), "", ""));
    EXPECT_EQ(reader.lastFailure(), FtpRangeReader::Failure::Logon);
    EXPECT_NE(reader.errorText().find("(Connect error 0x0000006f)"), std::string::npos);
    EXPECT_FALSE(reader.connect("127.0.0.1:99999", "", ""));
    EXPECT_TRUE(filesIn(temp.path()).empty());
}

TEST(FtpRangeReader, DecodedUserAndPasswordAreSent) {
    ReaderFixture f;
    ASSERT_TRUE(f.reader.connect(f.hostText, "us%40er%3Ax", "p%3Aa%2Fss%40w"));
    EXPECT_EQ(f.server.transcript(), (Lines{"USER us@er:x", "PASS p:a/ss@w", "CWD /"}));
}

TEST(FtpRangeReader, EncodedLineBreakCannotInjectACommand) {
    ReaderFixture f;
    EXPECT_FALSE(f.reader.connect(f.hostText, "a%0D%0ADELE%20x", ""));
    EXPECT_FALSE(f.reader.connect(f.hostText, "a", "b%0Ac"));
    EXPECT_TRUE(f.server.transcript().empty());
}

TEST(FtpRangeReader, SizeIsAskedOnceAndRangesComeFromTheSwapFile) {
    ReaderFixture f;
    ASSERT_TRUE(f.reader.connect(f.hostText, "", ""));
    int64_t length = 0;
    ASSERT_TRUE(f.reader.open("/d/a%20b.zip", length));
    EXPECT_EQ(length, 50000);
    RangeStream* stream = f.reader.requestRange(30000, 30022);
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(readAll(stream), f.content.substr(30000, 23));
    stream = f.reader.requestRange(0, 22);
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(readAll(stream), f.content.substr(0, 23));
    stream = f.reader.requestRange(49900, 50000);
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(readAll(stream), f.content.substr(49900));
    // The source reopens the file before every range: the size is not asked again.
    ASSERT_TRUE(f.reader.open("/d/a%20b.zip", length));
    Lines commands = f.server.commandsExceptLogon();
    ASSERT_EQ(commands.size(), 10u);
    EXPECT_EQ(commands[0], "TYPE I");
    EXPECT_EQ(commands[1], "SIZE d/a b.zip");
    EXPECT_TRUE(startsWith(commands[2], "PORT "));
    EXPECT_EQ(commands[3], "REST 30000");
    EXPECT_EQ(commands[4], "RETR d/a b.zip");
    EXPECT_TRUE(startsWith(commands[5], "PORT "));
    EXPECT_EQ(commands[6], "RETR d/a b.zip");
    EXPECT_EQ(commands[8], "REST 49900");
}

TEST(FtpRangeReader, FilesWithoutAUsableSizeCannotBeOpened) {
    ReaderFixture f;
    std::string answer;
    f.server.on("SIZE", [&](FtpSession& s, const std::string&) { s.send(answer); });
    ASSERT_TRUE(f.reader.connect(f.hostText, "", ""));
    int64_t length = -1;
    for (const char* reply : {"550 No such file", "213 0", "213", "550 12 files found"}) {
        answer = reply;
        EXPECT_FALSE(f.reader.open("a.zip", length)) << reply;
        EXPECT_EQ(length, 0) << reply;
    }
    // Sizes of 2 GiB and beyond 4 GiB are taken whole.
    const std::vector<std::pair<std::string, int64_t>> sizes = {
        {"a.zip", 2147483647}, {"b.zip", 2147483648LL}, {"c.zip", 6442450944LL}};
    for (const auto& [name, size] : sizes) {
        answer = "213 " + std::to_string(size);
        EXPECT_TRUE(f.reader.open(name, length)) << size;
        EXPECT_EQ(length, size);
    }
}

TEST(FtpRangeReader, FallsBackToPassiveWhenActiveCannotConnect) {
    ReaderFixture f;
    f.server.reply("PORT", "500 PORT refused");
    ASSERT_TRUE(f.reader.connect(f.hostText, "", ""));
    int64_t length = 0;
    ASSERT_TRUE(f.reader.open("a.zip", length));
    RangeStream* stream = f.reader.requestRange(100, 200);
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(readAll(stream), f.content.substr(100, 101));
    EXPECT_TRUE(f.reader.usesPassiveMode());
    stream = f.reader.requestRange(300, 400);
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(readAll(stream), f.content.substr(300, 101));
    Lines commands = f.server.commandsExceptLogon();
    EXPECT_EQ(commands.size(), 9u);
    EXPECT_TRUE(startsWith(commands[2], "PORT "));
    EXPECT_EQ(commands[3], "PASV");
    EXPECT_EQ(commands[6], "PASV"); // no second PORT for this archive
}

TEST(FtpRangeReader, ServerThatNeverConnectsBackCostsOneBoundedWait) {
    ReaderFixture f;
    std::atomic<bool> passive{false};
    f.server.on("PASV", [&](FtpSession& s, const std::string& argument) {
        passive = true;
        s.answerDefault("PASV", argument);
    });
    f.server.on("RETR", [&](FtpSession& s, const std::string& argument) {
        if (passive)
            s.answerDefault("RETR", argument);
        else
            s.send("150 Opening data connection"); // and never connects
    });
    ASSERT_TRUE(f.reader.connect(f.hostText, "", ""));
    int64_t length = 0;
    ASSERT_TRUE(f.reader.open("a.zip", length));
    auto start = std::chrono::steady_clock::now();
    RangeStream* stream = f.reader.requestRange(1000, 1100);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(6));
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(readAll(stream), f.content.substr(1000, 101));
}

TEST(FtpRangeReader, SessionEndedByTheServerIsLoggedOnAgain) {
    ReaderFixture f;
    std::atomic<int> ports{0};
    f.server.on("PORT", [&](FtpSession& s, const std::string& argument) {
        if (ports++ == 0) {
            s.send("421 Timeout: closing control connection");
            s.closed = true;
        } else {
            s.answerDefault("PORT", argument);
        }
    });
    ASSERT_TRUE(f.reader.connect(f.hostText, "", ""));
    int64_t length = 0;
    ASSERT_TRUE(f.reader.open("a.zip", length));
    RangeStream* stream = f.reader.requestRange(10, 20);
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(readAll(stream), f.content.substr(10, 11));
    EXPECT_EQ(f.server.sessionCount(), 2);
    EXPECT_FALSE(f.reader.usesPassiveMode());
}

TEST(FtpRangeReader, LostSessionNeverServesThePreviousRange) {
    ReaderFixture f;
    std::atomic<bool> gone{false};
    f.server.on("PORT", [&](FtpSession& s, const std::string& argument) {
        if (gone) {
            s.send("421 Timeout: closing control connection");
            s.closed = true;
        } else {
            s.answerDefault("PORT", argument);
        }
    });
    f.server.on("PASS", [&](FtpSession& s, const std::string&) {
        s.send(gone ? "530 Not now" : "230 Logged on");
    });
    ASSERT_TRUE(f.reader.connect(f.hostText, "", ""));
    int64_t length = 0;
    ASSERT_TRUE(f.reader.open("a.zip", length));
    ASSERT_NE(f.reader.requestRange(0, 100), nullptr);
    gone = true;
    EXPECT_EQ(f.reader.requestRange(200, 300), nullptr);
    EXPECT_EQ(f.reader.lastFailure(), FtpRangeReader::Failure::Transfer);
    EXPECT_NE(f.reader.errorText().find("530 Not now"), std::string::npos) << f.reader.errorText();
}

TEST(FtpRangeReader, SwapFileIsPrivateUniqueAndRemovedOnClose) {
    ReaderFixture f;
    FtpRangeReader other(f.temp.path());
    ASSERT_TRUE(f.reader.connect(f.hostText, "", ""));
    ASSERT_TRUE(other.connect(f.hostText, "", ""));
    const std::string swap = f.reader.swapFilePath();
    EXPECT_NE(swap, other.swapFilePath());
    EXPECT_EQ(swap.rfind(f.temp.path() + "/swapfile~", 0), 0u);
    struct stat info {};
    ASSERT_EQ(::stat(swap.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    f.reader.close();
    EXPECT_NE(::stat(swap.c_str(), &info), 0);
    other.close();
    EXPECT_TRUE(filesIn(f.temp.path()).empty());
}

TEST(FtpRangeReader, PlantedLinkInPlaceOfTheSwapFileIsNotFollowed) {
    ReaderFixture f;
    ASSERT_TRUE(f.reader.connect(f.hostText, "", ""));
    int64_t length = 0;
    ASSERT_TRUE(f.reader.open("a.zip", length));
    const std::string victim = f.temp.file("victim");
    writeFile(victim, "keep");
    const std::string swap = f.reader.swapFilePath();
    ::unlink(swap.c_str());
    ASSERT_EQ(::symlink(victim.c_str(), swap.c_str()), 0);
    EXPECT_EQ(f.reader.requestRange(0, 10), nullptr);
    EXPECT_EQ(readFile(victim), "keep");
}

// Behind NAT the server's connect-back hangs, and it answers PORT or RETR only after the
// client has given up: the range comes passively, and the session stays passive.
TEST(FtpRangeReader, ActiveModeThatGoesSilentGivesWayToPassiveForTheSession) {
    for (const char* silentVerb : {"PORT", "RETR"}) {
        SCOPED_TRACE(silentVerb);
        ReaderFixture f;
        std::atomic<bool> passive{false};
        f.server.on("PASV", [&](FtpSession& s, const std::string& argument) {
            passive = true;
            s.answerDefault("PASV", argument);
        });
        f.server.on(silentVerb, [&, silentVerb](FtpSession& s, const std::string& argument) {
            if (passive)
                return s.answerDefault(silentVerb, argument);
            s.waitUntilClientHangsUp(10000);
            s.send("425 Can't open data connection");
            s.closed = true;
        });
        ASSERT_TRUE(f.reader.connect(f.hostText, "", ""));
        int64_t length = 0;
        ASSERT_TRUE(f.reader.open("a.zip", length));
        for (int32_t first : {1000, 2000}) {
            RangeStream* stream = f.reader.requestRange(first, first + 100);
            ASSERT_NE(stream, nullptr) << f.reader.errorText();
            EXPECT_EQ(readAll(stream), f.content.substr(first, 101));
        }
        Lines commands = f.server.commandsExceptLogon();
        EXPECT_EQ(std::count_if(commands.begin(), commands.end(),
                                [](const std::string& c) { return startsWith(c, "PORT "); }),
                  1);
        EXPECT_EQ(std::count(commands.begin(), commands.end(), "PASV"), 2);
    }
}

// The reverse: passive worked, then its data port goes silent; active mode takes over.
TEST(FtpRangeReader, PassiveModeThatGoesSilentGivesWayToActive) {
    ReaderFixture f;
    std::atomic<int> ports{0}, passives{0};
    f.server.on("PORT", [&](FtpSession& s, const std::string& argument) {
        if (ports++ == 0)
            return s.send("500 Not now");
        s.answerDefault("PORT", argument);
    });
    f.server.on("PASV", [&](FtpSession& s, const std::string& argument) {
        if (passives++ == 0)
            return s.answerDefault("PASV", argument);
        s.waitUntilClientHangsUp(10000);
        s.closed = true;
    });
    ASSERT_TRUE(f.reader.connect(f.hostText, "", ""));
    int64_t length = 0;
    ASSERT_TRUE(f.reader.open("a.zip", length));
    for (int32_t first : {100, 200, 300}) {
        RangeStream* stream = f.reader.requestRange(first, first + 50);
        ASSERT_NE(stream, nullptr) << f.reader.errorText();
        EXPECT_EQ(readAll(stream), f.content.substr(first, 51));
    }
    EXPECT_FALSE(f.reader.usesPassiveMode());
    EXPECT_EQ(passives, 2);
    EXPECT_EQ(ports, 3);
}

// A server that never answers QUIT holds neither a new logon nor the exit for the whole
// time-out.
TEST(FtpRangeReader, SilentQuitCostsAboutOneSecond) {
    ScriptedFtpServer server;
    server.on("QUIT", [](FtpSession& s, const std::string&) { s.waitUntilClientHangsUp(30000); });
    const std::string hostText = "127.0.0.1:" + std::to_string(server.port());
    const auto start = std::chrono::steady_clock::now();
    {
        TempFolder temp;
        FtpRangeReader reader(temp.path()); // the program's 10-second time-out
        ASSERT_TRUE(reader.connect(hostText, "", ""));
        ASSERT_TRUE(reader.connect(hostText, "", "")); // quits the first session
    }                                                  // quits the second
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(6));
    const Lines lines = server.transcript();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "QUIT"), 2);
}
