// HTTP servers that misbehave on purpose, read through the whole chain (remote source and
// engine, or marrowglen-cli): each case ends within the time-outs with a clear error, or reads
// the archive correctly while holding only what it asked for.
#include "CliHarness.h"
#include "HostileZip.h"
#include "ScriptedHttpServer.h"

#include "remote/RemoteArchiveSource.h"
#include "zip/ZipArchive.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <sys/resource.h>

using mgtest::ScriptedReply;
using mgtest::SeenRequest;
using Clock = std::chrono::steady_clock;

namespace {

std::string sampleArchive() {
    hostile::Entry a;
    a.name = "a.txt";
    // Noise: it does not shrink, so the first entry lies far before the fetched tail.
    uint32_t seed = 12345;
    for (int i = 0; i < 200000; ++i) {
        seed = seed * 1103515245u + 12345u;
        a.data += static_cast<char>(seed >> 24);
    }
    a.deflate = true;
    hostile::Entry b;
    b.name = "b.bin";
    for (int i = 0; i < 20000; ++i)
        b.data += static_cast<char>(i * 7919 % 251);
    return hostile::build({a, b});
}

HttpOptions shortTimeOuts() {
    HttpOptions options;
    options.connectTimeout = std::chrono::milliseconds(3000);
    options.stallTimeout = std::chrono::milliseconds(1500);
    return options;
}

// Opens the archive and tests every entry; the first failure's text, or "" when all went well.
struct Outcome {
    bool opened = false;
    std::string error;
    Clock::duration took{};
};

Outcome openAndTest(const std::string& url) {
    Outcome outcome;
    const auto start = Clock::now();
    RemoteArchiveSource source(shortTimeOuts());
    CZipArchive archive(source);
    try {
        archive.open(String(url));
        outcome.opened = !archive.isClosed();
        if (!outcome.opened)
            outcome.error = "not opened: " + source.errorText();
        for (uint16_t i = 0; outcome.opened && i < archive.entryCount(); ++i) {
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

// Every ranged answer is right, then goes on forever: the reader takes what it asked for and
// drops the rest with its connection.
TEST(HostileHttp, EndlessBodiesAreReadOnlyAsFarAsAsked) {
    const std::string zip = sampleArchive();
    mgtest::ScriptedHttpServer server([&](const SeenRequest& r) {
        ScriptedReply reply = ScriptedReply::file(zip, r);
        reply.endless = true;
        return reply;
    });
    const Outcome outcome = openAndTest(server.url("/a.zip"));
    EXPECT_TRUE(outcome.opened) << outcome.error;
    EXPECT_EQ(outcome.error, "");
    EXPECT_LT(outcome.took, std::chrono::seconds(15));
}

// The same through marrowglen-cli: every entry tests sound and the program's memory stays
// small although each answer would go on forever.
TEST(HostileHttp, EndlessBodiesKeepTheCommandLineSmall) {
    const std::string zip = sampleArchive();
    mgtest::ScriptedHttpServer server([&](const SeenRequest& r) {
        ScriptedReply reply = ScriptedReply::file(zip, r);
        reply.endless = true;
        return reply;
    });
    auto run = clitest::cli({"test", server.url("/a.zip")});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    // Generous for sanitizer builds; unbounded reading would exceed it by far.
    EXPECT_LT(usage.ru_maxrss, 200 * 1024) << "KiB at the peak";
}

// A server that ignores ranges and streams forever: refused at the first answer, never read.
TEST(HostileHttp, EndlessWholeFileIsNotSupportedAndNotRead) {
    mgtest::ScriptedHttpServer server([](const SeenRequest&) {
        ScriptedReply reply;
        reply.endless = true;
        return reply;
    });
    const auto start = Clock::now();
    auto run = clitest::cli({"list", server.url("/a.zip")});
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_TRUE(contains(run.err, "not supported by the remote server")) << run.err;
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(15));
}

// Every 206 names another part than the one asked for: its bytes must never be taken.
TEST(HostileHttp, WrongContentRangeIsNeverReadAsArchiveBytes) {
    const std::string zip = sampleArchive();
    mgtest::ScriptedHttpServer server([&](const SeenRequest& r) {
        ScriptedReply reply = ScriptedReply::file(zip, r);
        if (reply.status == 206 && r.header("Range") != "bytes=0-0") {
            // Claims to start one byte later than it does.
            auto& range = reply.headers[0].second;
            const auto dash = range.find('-');
            const long first = std::stol(range.substr(6, dash - 6));
            range = "bytes " + std::to_string(first + 1) + range.substr(dash);
        }
        return reply;
    });
    const Outcome outcome = openAndTest(server.url("/a.zip"));
    EXPECT_FALSE(outcome.opened && outcome.error.empty());
    EXPECT_NE(outcome.error, "");
    EXPECT_LT(outcome.took, std::chrono::seconds(15));
}

// The directory's range stops half-way and the connection stays silent.
TEST(HostileHttp, StallMidBodyFailsAfterTheStallTimeOut) {
    const std::string zip = sampleArchive();
    mgtest::ScriptedHttpServer server([&](const SeenRequest& r) {
        ScriptedReply reply = ScriptedReply::file(zip, r);
        if (reply.body.size() > 64) {
            reply.cutAfter = reply.body.size() / 2;
            reply.stallAfterCut = true;
        }
        return reply;
    });
    const Outcome outcome = openAndTest(server.url("/a.zip"));
    EXPECT_NE(outcome.error, "");
    EXPECT_GE(outcome.took, std::chrono::milliseconds(1400));
    EXPECT_LT(outcome.took, std::chrono::seconds(15));
}

// A body that stalls after its headers reads short; the user learns that the server went
// silent, not that the archive is damaged.
TEST(HostileHttp, StallMidBodySaysTheServerWentSilent) {
    const std::string zip = sampleArchive();
    mgtest::ScriptedHttpServer server([&](const SeenRequest& r) {
        ScriptedReply reply = ScriptedReply::file(zip, r);
        if (reply.body.size() > 64) {
            reply.cutAfter = reply.body.size() / 2;
            reply.stallAfterCut = true;
        }
        return reply;
    });
    const Outcome outcome = openAndTest(server.url("/a.zip"));
    EXPECT_TRUE(contains(outcome.error, "The server sent nothing")) << outcome.error;
}

// The entry's data stalls after the directory came whole: the test fails, the next entry
// still works on a fresh connection.
TEST(HostileHttp, StallInOneEntryLeavesTheOthersReadable) {
    const std::string zip = sampleArchive();
    mgtest::ScriptedHttpServer server([&](const SeenRequest& r) {
        ScriptedReply reply = ScriptedReply::file(zip, r);
        long first = -1;
        std::sscanf(r.header("Range").value_or("").c_str(), "bytes=%ld-", &first);
        if (first >= 0 && first < 100 && reply.body.size() > 1000) {
            reply.cutAfter = 500;
            reply.stallAfterCut = true;
        }
        return reply;
    });
    RemoteArchiveSource source(shortTimeOuts());
    CZipArchive archive(source);
    archive.open(String(server.url("/a.zip")));
    ASSERT_FALSE(archive.isClosed()) << source.errorText();
    const auto start = Clock::now();
    EXPECT_THROW(archive.testEntry(0), CZipException);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(10));
    EXPECT_TRUE(archive.testEntry(1)) << archive.lastError();
}

TEST(HostileHttp, RedirectLoopEndsWithAClearError) {
    mgtest::ScriptedHttpServer server([](const SeenRequest& r) {
        return ScriptedReply::redirect(302, r.target == "/a.zip" ? "/b.zip" : "/a.zip");
    });
    const auto start = Clock::now();
    auto run = clitest::cli({"list", server.url("/a.zip")});
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_TRUE(contains(run.err, "The file is unavaliable.")) << run.err;
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(10));
    EXPECT_LE(server.requests().size(), 30u);
}

// Header lines without end: refused once they pass the client's ceiling.
TEST(HostileHttp, EndlessHeadersAreRefused) {
    mgtest::ScriptedHttpServer server([](const SeenRequest&) {
        ScriptedReply reply;
        reply.status = 206;
        for (int i = 0; i < 20000; ++i)
            reply.headers.emplace_back("X-Filler-" + std::to_string(i), std::string(100, 'f'));
        return reply;
    });
    const Outcome outcome = openAndTest(server.url("/a.zip"));
    EXPECT_FALSE(outcome.opened);
    EXPECT_TRUE(contains(outcome.error, "too long")) << outcome.error;
    EXPECT_LT(outcome.took, std::chrono::seconds(15));
}

// A total beyond what 32-bit offsets reach, or beyond any number: refused, not wrapped.
TEST(HostileHttp, AbsurdTotalLengthIsRefused) {
    for (const char* total : {"4294967396", "99999999999999999999999"}) {
        mgtest::ScriptedHttpServer server([&](const SeenRequest&) {
            ScriptedReply reply;
            reply.status = 206;
            reply.headers = {{"Content-Range", std::string("bytes 0-0/") + total}};
            reply.body = "P";
            return reply;
        });
        const Outcome outcome = openAndTest(server.url("/a.zip"));
        EXPECT_FALSE(outcome.opened) << total;
        EXPECT_NE(outcome.error, "") << total;
        EXPECT_LT(outcome.took, std::chrono::seconds(15));
    }
}
