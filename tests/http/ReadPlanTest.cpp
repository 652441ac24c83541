// Read plans: how spans become requests, and what the source does with a plan against nginx
// and against scripted servers that answer out of order, stall or change the file.
#include "remote/ReadPlan.h"
#include "HttpTestData.h"
#include "NginxServer.h"
#include "ScriptedHttpServer.h"
#include "remote/RemoteArchiveSource.h"
#include "zip/ZipArchive.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <fcntl.h>
#include <future>
#include <set>
#include <thread>
#include <unistd.h>

using namespace mgtest;
using namespace std::chrono_literals;

namespace {

constexpr int64_t MiB = 1024 * 1024;

TEST(ReadPlanner, NeighboursShareARequestAndFarSpansGetTheirOwn) {
    const int64_t gap = readplan::GapLimit;
    auto requests = readplan::coalesce(
        {{0, 100}, {100, 200}, {200 + gap, 300 + gap}, {300 + 3 * gap, 400 + 3 * gap}}, 100 * MiB);
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0], (PlanRequest{0, 300 + gap, false}));
    EXPECT_EQ(requests[1], (PlanRequest{300 + 3 * gap, 400 + 3 * gap, false}));
}

TEST(ReadPlanner, FollowsTheReadersOrderAndDropsWhatItHasAlready) {
    // Backwards: a new request, never one reaching back. Inside the previous one: nothing new.
    auto requests = readplan::coalesce({{5000, 6000}, {1000, 2000}, {1200, 1300}, {7000, 7100}},
                                       100 * MiB, 512);
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].first, 5000);
    EXPECT_EQ(requests[1], (PlanRequest{1000, 2000, false}));
    EXPECT_EQ(requests[2], (PlanRequest{7000, 7100, false}));
}

TEST(ReadPlanner, ClipsToTheFileAndSplitsOnlyLargeRequests) {
    auto requests = readplan::coalesce({{-10, 0}, {10, 20}, {64 * MiB, 200 * MiB}}, 100 * MiB);
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0], (PlanRequest{10, 20, false}));
    EXPECT_EQ(requests[1], (PlanRequest{64 * MiB, 100 * MiB, true}));
    EXPECT_EQ(readplan::segmentCount(readplan::ParallelMinimum - 1), 1);
    EXPECT_EQ(readplan::segmentCount(256 * MiB), readplan::MaxSegments);
    auto parts = readplan::segments(7, 1000, 4);
    ASSERT_EQ(parts.size(), 4u);
    EXPECT_EQ(parts.front().first, 7);
    EXPECT_EQ(parts.back().end, 1000);
    for (std::size_t i = 1; i < parts.size(); ++i)
        EXPECT_EQ(parts[i].first, parts[i - 1].end);
}

// Entries with room between them: e0, e1 and e2 stand far apart, fillers lie between.
const char* makeSpreadArchive = R"(
import random, sys, zipfile
rnd = random.Random(5)
with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_STORED) as z:
    for i in range(3):
        z.writestr(f"e{i}.bin", rnd.randbytes(300000))
        z.writestr(f"filler{i}.bin", rnd.randbytes(3 * 1024 * 1024))
    for i in range(40):
        z.writestr(f"small/s{i}.txt", f"small entry {i}\n" * 50, compress_type=zipfile.ZIP_DEFLATED)
    z.writestr("large.bin", rnd.randbytes(40 * 1024 * 1024))
)";

class ReadPlanOverHttp : public testing::Test {
protected:
    static void SetUpTestSuite() {
        root_ = new TempDir("mgtest-plans");
        auto made =
            runCommand({"/usr/bin/python3", "-c", makeSpreadArchive, root_->file("spread.zip")});
        ASSERT_EQ(made.exitCode, 0) << made.output;
        bytes_ = new std::string(readFile(root_->file("spread.zip")));
    }
    static void TearDownTestSuite() {
        delete bytes_;
        delete root_;
    }
    void SetUp() override { source_.setSwapFolder(spill_.path()); }

    void open(const std::string& url) {
        archive_.open(String(url.c_str()));
        ASSERT_FALSE(archive_.isClosed()) << source_.errorText();
    }
    std::vector<int32_t> indicesOf(std::initializer_list<const char*> names) {
        std::vector<int32_t> indices;
        for (const char* name : names)
            indices.push_back(archive_.findEntry(name, true));
        return indices;
    }
    std::vector<int32_t> smallEntries() {
        std::vector<int32_t> indices;
        for (int i = 0; i < 40; ++i)
            indices.push_back(archive_.findEntry("small/s" + std::to_string(i) + ".txt", true));
        return indices;
    }
    // Plans the entries and tests each; the failures' reasons, in order ("" for a sound one).
    std::vector<std::string> testPlanned(const std::vector<int32_t>& indices) {
        source_.setReadPlan(archive_.readSpans(indices));
        std::vector<std::string> reasons;
        for (int32_t index : indices) {
            try {
                reasons.push_back(
                    archive_.testEntry(static_cast<uint16_t>(index)) ? "" : archive_.lastError());
            } catch (const std::exception& e) {
                reasons.push_back(e.what());
            }
        }
        return reasons;
    }
    // The scripted server's plan requests: those after the open's suffix range.
    static std::vector<SeenRequest> planRequests(const ScriptedHttpServer& server) {
        auto seen = server.requests();
        seen.erase(seen.begin());
        return seen;
    }

    static TempDir* root_;
    static std::string* bytes_;
    TempDir spill_{"mgtest-plans-spill"};
    RemoteArchiveSource source_;
    CZipArchive archive_{source_};
};
TempDir* ReadPlanOverHttp::root_;
std::string* ReadPlanOverHttp::bytes_;

TEST_F(ReadPlanOverHttp, ExtractingManyEntriesTakesAHandfulOfRequests) {
    NginxServer nginx(root_->path());
    open(nginx.httpUrl("/spread.zip"));
    nginx.waitForAccessLog(1);
    nginx.clearAccessLog();
    std::vector<int32_t> all = indicesOf({"e0.bin", "e1.bin", "e2.bin"});
    for (int32_t index : smallEntries())
        all.push_back(index);
    for (const std::string& reason : testPlanned(all))
        EXPECT_EQ(reason, "");
    // e0, e1, e2 and the small entries lie 3 MiB apart: a request each, the last one running
    // through all 40 small entries.
    auto log = nginx.waitForAccessLog(4);
    std::this_thread::sleep_for(200ms); // a fifth line would be a fault; give it time to show
    log = nginx.accessLog();
    ASSERT_EQ(log.size(), 4u);
    long long served = 0;
    for (const auto& line : log) {
        EXPECT_EQ(line.status, 206);
        served += line.bytesSent;
    }
    EXPECT_LT(served, 3 * 300000 + 100000) << "the fillers must not travel";
}

TEST_F(ReadPlanOverHttp, ALargeEntryComesInParallelSegmentsWrittenInPlace) {
    NginxServer nginx(root_->path());
    open(nginx.httpUrl("/spread.zip"));
    nginx.waitForAccessLog(1);
    nginx.clearAccessLog();
    const int32_t large = archive_.findEntry("large.bin", true);
    auto spans = archive_.readSpans({large});
    ASSERT_TRUE(readplan::worthPlanning(spans));
    EXPECT_EQ(testPlanned({large}), std::vector<std::string>{""});
    auto log = nginx.waitForAccessLog(4);
    EXPECT_EQ(log.size(), 4u);
    std::set<long> connections;
    for (const auto& line : log)
        connections.insert(line.connection);
    EXPECT_EQ(connections.size(), 4u) << "one connection per segment over plain http";
}

// A server that speaks HTTP/2 gets the plan's requests as streams of one connection.
TEST_F(ReadPlanOverHttp, OverHttp2ThePlansRequestsShareOneConnection) {
    NginxServer nginx(root_->path(), {}, HttpsVersion::Http2);
    HttpOptions trusting;
    trusting.caFile = nginx.caFile();
    RemoteArchiveSource source(trusting);
    source.setSwapFolder(spill_.path());
    CZipArchive archive(source);
    archive.open(String(nginx.httpsUrl("/spread.zip").c_str()));
    ASSERT_FALSE(archive.isClosed()) << source.errorText();
    nginx.waitForAccessLog(1);
    nginx.clearAccessLog();
    std::vector<int32_t> indices;
    for (const char* name : {"e0.bin", "e1.bin", "e2.bin", "large.bin"})
        indices.push_back(archive.findEntry(name, true));
    source.setReadPlan(archive.readSpans(indices));
    for (int32_t index : indices)
        EXPECT_TRUE(archive.testEntry(uint32_t(index))) << archive.lastError();
    auto log = nginx.waitForAccessLog(4);
    ASSERT_GE(log.size(), 4u) << "e0, e1, e2 and the segments of large.bin";
    std::set<long> connections;
    for (const auto& line : log) {
        EXPECT_EQ(line.protocol, "HTTP/2.0");
        EXPECT_EQ(line.status, 206);
        connections.insert(line.connection);
    }
    EXPECT_EQ(connections.size(), 1u);
}

TEST_F(ReadPlanOverHttp, SaveWritesEverySegmentInPlace) {
    NginxServer nginx(root_->path());
    open(nginx.httpUrl("/spread.zip"));
    TempDir out("mgtest-plans-out");
    const std::string path = out.file("saved.zip");
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    int64_t lastProgress = 0;
    auto copied = source_.copyWhole(fd, [&](int64_t done) {
        EXPECT_GE(done, lastProgress);
        lastProgress = done;
        return true;
    });
    ::close(fd);
    ASSERT_TRUE(copied.has_value());
    EXPECT_TRUE(*copied) << source_.errorText();
    EXPECT_EQ(lastProgress, static_cast<int64_t>(bytes_->size()));
    EXPECT_BYTES(readFile(path), *bytes_);
}

TEST_F(ReadPlanOverHttp, ALaterAnswerBeforeAnEarlierOneStillReadsInOrder) {
    // The first plan request is held until the second has been answered.
    std::promise<void> secondAnswered;
    std::shared_future<void> second = secondAnswered.get_future().share();
    std::atomic<int> planned{0};
    const std::string content = *bytes_;
    ScriptedHttpServer server([&](const SeenRequest& request) {
        ScriptedReply reply = ScriptedReply::file(content, request);
        const auto range = request.header("Range").value_or("");
        if (range.rfind("bytes=-", 0) == 0)
            return reply;
        const int number = ++planned;
        if (number == 1)
            second.wait_for(5s);
        else if (number == 2)
            secondAnswered.set_value();
        return reply;
    });
    open(server.url("/spread.zip"));
    const auto reasons = testPlanned(indicesOf({"e0.bin", "e1.bin", "e2.bin"}));
    EXPECT_EQ(reasons, (std::vector<std::string>{"", "", ""}));
    const auto seen = planRequests(server);
    ASSERT_GE(seen.size(), 3u);
    EXPECT_NE(seen[0].connection, seen[1].connection) << "two requests in flight at once";
}

TEST_F(ReadPlanOverHttp, CancelEndsRequestsInFlightWithinHalfASecond) {
    const std::string content = *bytes_;
    ScriptedHttpServer server([&](const SeenRequest& request) {
        ScriptedReply reply = ScriptedReply::file(content, request);
        if (request.header("Range").value_or("").rfind("bytes=-", 0) != 0) {
            reply.cutAfter = 1000; // then silent: a transfer that stalls
            reply.stallAfterCut = true;
        }
        return reply;
    });
    open(server.url("/spread.zip"));
    auto indices = indicesOf({"e0.bin", "e1.bin", "e2.bin"});
    source_.setReadPlan(archive_.readSpans(indices));
    auto run = std::async(std::launch::async, [&] {
        try {
            return archive_.testEntry(static_cast<uint16_t>(indices[0]));
        } catch (...) {
            return false;
        }
    });
    // Wait (bounded) until the plan's requests are on the wire.
    for (int i = 0; i < 500 && server.requests().size() < 4; ++i)
        std::this_thread::sleep_for(10ms);
    ASSERT_GE(server.requests().size(), 4u) << "three plan requests in flight";
    const auto cancelledAt = std::chrono::steady_clock::now();
    source_.cancel();
    ASSERT_EQ(run.wait_for(3s), std::future_status::ready);
    const auto took = std::chrono::steady_clock::now() - cancelledAt;
    EXPECT_FALSE(run.get());
    EXPECT_LT(took, 500ms);
    EXPECT_EQ(source_.planFetcher().inFlight(), 0) << "no transfer left behind";
}

TEST_F(ReadPlanOverHttp, AFileChangedUnderThePlanFailsClearly) {
    std::atomic<bool> changed{false};
    std::string content = *bytes_;
    std::string replaced = content;
    replaced[100] ^= 1;
    ScriptedHttpServer server([&](const SeenRequest& request) {
        const bool now = changed.load();
        ScriptedReply reply = ScriptedReply::file(now ? replaced : content, request);
        // As nginx does: If-Range with an old validator gets the whole new file.
        if (now && request.header("If-Range"))
            reply = ScriptedReply::whole(replaced);
        reply.headers.push_back({"ETag", now ? "\"v2\"" : "\"v1\""});
        return reply;
    });
    open(server.url("/spread.zip"));
    changed = true;
    const auto reasons = testPlanned(indicesOf({"e0.bin", "e1.bin"}));
    ASSERT_EQ(reasons.size(), 2u);
    for (const std::string& reason : reasons)
        EXPECT_NE(reason.find("changed"), std::string::npos) << reason;
}

TEST_F(ReadPlanOverHttp, ARequestCutShortCostsOneMoreRequestNotTheEntries) {
    std::atomic<int> cuts{0};
    const std::string content = *bytes_;
    ScriptedHttpServer server([&](const SeenRequest& request) {
        ScriptedReply reply = ScriptedReply::file(content, request);
        if (request.header("Range").value_or("").rfind("bytes=-", 0) != 0 && cuts++ == 0)
            reply.cutAfter = 5000; // the first plan request breaks off
        return reply;
    });
    open(server.url("/spread.zip"));
    EXPECT_EQ(testPlanned(indicesOf({"e0.bin", "e1.bin", "e2.bin"})),
              (std::vector<std::string>{"", "", ""}));
}

} // namespace
