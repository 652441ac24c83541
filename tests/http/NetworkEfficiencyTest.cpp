// What travels over the network when the engine opens, previews and saves through the
// remote source: request counts and bytes from nginx's access log.
#include "HttpTestData.h"
#include "NginxServer.h"
#include "ScriptedHttpServer.h"
#include "remote/RemoteArchiveSource.h"
#include "zip/ZipArchive.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <thread>

using namespace mgtest;
using namespace std::chrono_literals;

namespace {

const char* makeArchives = R"(
import random, sys, zipfile
root = sys.argv[1]
rnd = random.Random(3)
with zipfile.ZipFile(root + "/tail.zip", "w", zipfile.ZIP_DEFLATED) as z:
    z.writestr("small.txt", "hello " * 300)
    for i in range(8):
        z.writestr(f"part{i}.bin", rnd.randbytes(40000), compress_type=zipfile.ZIP_STORED)
    z.writestr("big.bin", rnd.randbytes(12 * 1024 * 1024), compress_type=zipfile.ZIP_STORED)
    z.writestr("last.txt", "the end\n")
with zipfile.ZipFile(root + "/bigdir.zip", "w", zipfile.ZIP_DEFLATED) as z:
    for i in range(3000):
        z.writestr(f"folder/with/a/rather/long/name/entry{i:05d}.txt", f"entry {i}\n")
# ZIP64 records throughout (every offset in the extra field), plain and behind a stub.
sys.path.insert(0, sys.argv[2])
import make_archives
parts = [{"name": b"z%d.bin" % i, "data": rnd.randbytes(30000)} for i in range(5)]
with open(root + "/zip64.zip", "wb") as f:
    f.write(make_archives.raw_zip64(parts))
with open(root + "/zip64_stub.zip", "wb") as f:
    f.write(b"#!/bin/sh stub\n" * 100 + make_archives.raw_zip64(parts))
)";

struct Traffic {
    std::size_t requests = 0;
    long long bytes = 0;
};

// The central directory's offset, from the end record of a file without a comment.
int64_t directoryOffset(const std::string& bytes) {
    auto at = [&](std::size_t p) { return static_cast<unsigned char>(bytes[p]); };
    std::size_t end = bytes.size() - 22;
    return at(end + 16) | at(end + 17) << 8 | at(end + 18) << 16 | int64_t(at(end + 19)) << 24;
}

class NetworkEfficiency : public testing::Test {
protected:
    static void SetUpTestSuite() {
        root_ = new TempDir("mgtest-netfast");
        auto made =
            runCommand({"/usr/bin/python3", "-c", makeArchives, root_->path(), MG_SUPPORT_DIR});
        ASSERT_EQ(made.exitCode, 0) << made.output;
        nginx_ = new NginxServer(root_->path());
    }
    static void TearDownTestSuite() {
        delete nginx_;
        delete root_;
    }
    void SetUp() override {
        ASSERT_NE(nginx_, nullptr);
        source_.setSwapFolder(spill_.path());
    }

    // Requests logged since the last call (nginx logs each once its answer is sent).
    Traffic traffic() {
        std::this_thread::sleep_for(150ms);
        auto log = nginx_->accessLog();
        nginx_->clearAccessLog();
        lastLog_ = log;
        Traffic t;
        t.requests = log.size();
        for (const auto& entry : log)
            t.bytes += entry.bytesSent;
        return t;
    }
    void open(const std::string& name) {
        nginx_->clearAccessLog();
        archive_.open(String(nginx_->httpUrl("/" + name).c_str()));
        ASSERT_FALSE(archive_.isClosed()) << source_.errorText();
    }
    uint16_t indexOf(const std::string& name) {
        return static_cast<uint16_t>(archive_.findEntry(name, true));
    }
    CZipFileHeader header(const std::string& name) {
        CZipFileHeader h;
        archive_.getEntryInfo(h, indexOf(name));
        return h;
    }
    // The entry's record: local header, name and packed data (no extra field: Python's zipfile
    // writes none for these sizes).
    static long long recordSize(const CZipFileHeader& h) {
        return 30 + h.fileNameLength + h.compressedSize;
    }
    // The part of the record before the tail, which the open has fetched already.
    long long beforeTail(const CZipFileHeader& h) {
        const long long tailStart = source_.length() - 65558LL;
        const long long first = h.localHeaderOffset;
        return std::max(0LL, std::min(first + recordSize(h), tailStart) - first);
    }

    static TempDir* root_;
    static NginxServer* nginx_;
    TempDir spill_{"mgtest-netfast-spill"};
    RemoteArchiveSource source_;
    CZipArchive archive_{source_};
    std::vector<AccessLogEntry> lastLog_;
};
TempDir* NetworkEfficiency::root_;
NginxServer* NetworkEfficiency::nginx_;

TEST_F(NetworkEfficiency, ListingCostsOneRequestWhenTheDirectoryIsInTheTail) {
    open("tail.zip");
    EXPECT_EQ(archive_.entryCount(), 11);
    Traffic t = traffic();
    ASSERT_EQ(t.requests, 1u);
    EXPECT_EQ(lastLog_[0].range, "bytes=-65558");
    EXPECT_EQ(t.bytes, 65558);
}

TEST_F(NetworkEfficiency, ALargerDirectoryAddsOneExactRequest) {
    open("bigdir.zip");
    EXPECT_EQ(archive_.entryCount(), 3000);
    const std::string bytes = readFile(root_->file("bigdir.zip"));
    const auto length = static_cast<int64_t>(bytes.size());
    const int64_t offset = directoryOffset(bytes);
    ASSERT_LT(offset, length - 65558) << "the directory must reach beyond the tail";
    Traffic t = traffic();
    ASSERT_EQ(t.requests, 2u);
    EXPECT_EQ(lastLog_[1].range,
              "bytes=" + std::to_string(offset) + "-" + std::to_string(length - 65558 - 1));
    EXPECT_EQ(t.bytes, length - offset) << "no byte twice";
}

TEST_F(NetworkEfficiency, APreviewFetchesEachEntryOnceThoughItReadsItTwice) {
    open("tail.zip");
    traffic();
    TempDir out("mgtest-netfast-out");
    for (const char* name : {"small.txt", "part3.bin", "big.bin"}) {
        const uint16_t index = indexOf(name);
        ASSERT_TRUE(archive_.testEntry(index)) << name << ": " << archive_.lastError();
        ASSERT_TRUE(archive_.extractEntry(index, out.path()))
            << name << ": " << archive_.lastError();
        Traffic t = traffic();
        EXPECT_EQ(t.requests, 1u) << name;
        EXPECT_EQ(t.bytes, beforeTail(header(name))) << name << ": each byte once";
    }
    // big.bin (12 MiB) outgrew the memory part of the cache: its second reading came from
    // the spill file, and the memory held no more than its bound.
    EXPECT_LE(source_.httpReader().cache().memoryBytes(), 8u * 1024 * 1024);
    EXPECT_GT(source_.httpReader().cache().spilledBytes(), 0);
    archive_.close();
    EXPECT_TRUE(std::filesystem::is_empty(spill_.path())) << "the spill file goes with the archive";
}

TEST_F(NetworkEfficiency, ExtractingSeveralEntriesFetchesOnlyTheirRecords) {
    open("tail.zip");
    traffic();
    TempDir out("mgtest-netfast-out");
    long long needed = 0;
    // last.txt lies in the tail that the open brought.
    for (const char* name : {"part1.bin", "part4.bin", "part6.bin", "last.txt"}) {
        ASSERT_TRUE(archive_.extractEntry(indexOf(name), out.path())) << archive_.lastError();
        needed += beforeTail(header(name));
    }
    Traffic t = traffic();
    EXPECT_EQ(t.requests, 3u);
    EXPECT_EQ(t.bytes, needed);
}

// The directory of a ZIP64 archive bounds each entry's request as a classic one does:
// nothing of the next entry travels with a preview.
TEST_F(NetworkEfficiency, AZip64PreviewFetchesExactlyTheEntrysRecord) {
    const long long record = 30 + 6 + 20 + 30000; // header, name, ZIP64 block, data
    for (const char* archive : {"zip64.zip", "zip64_stub.zip"}) {
        open(archive);
        traffic();
        TempDir out("mgtest-netfast-out");
        for (const char* name : {"z0.bin", "z1.bin"}) {
            ASSERT_TRUE(archive_.extractEntry(indexOf(name), out.path())) << archive_.lastError();
            Traffic t = traffic();
            EXPECT_EQ(t.requests, 1u) << archive << " " << name;
            EXPECT_EQ(t.bytes, record) << archive << " " << name;
        }
        archive_.close();
    }
}

// The save job's way: consecutive ranges of 32 KiB, each read to its end.
TEST_F(NetworkEfficiency, SavingInSmallRangesStreamsInFewRequests) {
    RangeStream* slot = nullptr;
    source_.setStorageFileSlot(&slot);
    String address(nginx_->httpUrl("/tail.zip").c_str());
    nginx_->clearAccessLog();
    ASSERT_TRUE(source_.connect(address) && source_.openRemoteFile(address));
    const int32_t length = source_.length();
    std::string copy;
    std::string buffer(32768, '\0');
    for (int32_t sum = 0; sum < length;) {
        ASSERT_TRUE(source_.requestRange(sum, sum + 32768, true)) << source_.errorText();
        std::size_t got = slot->read(buffer.data(), buffer.size());
        ASSERT_GT(got, 0u) << "at " << sum;
        copy.append(buffer, 0, got);
        sum += static_cast<int32_t>(got);
    }
    EXPECT_BYTES(copy, readFile(root_->file("tail.zip")));
    Traffic t = traffic();
    EXPECT_LE(t.requests, 3u);
    EXPECT_EQ(t.bytes, length) << "no byte twice";
}

TEST_F(NetworkEfficiency, AFileReplacedOnTheServerIsNeverMixedNorServedStale) {
    const std::string path = root_->file("changing.bin");
    const std::string first = patternBytes(300000, 1);
    writeFile(path, first);
    RangeStream* slot = nullptr;
    source_.setStorageFileSlot(&slot);
    String address(nginx_->httpUrl("/changing.bin").c_str());
    ASSERT_TRUE(source_.connect(address) && source_.openRemoteFile(address));
    ASSERT_TRUE(source_.requestRange(1000, 1100, true));
    EXPECT_BYTES(readAll(*slot), first.substr(1000, 101));

    writeFile(path, patternBytes(300001, 2)); // another size: another ETag
    EXPECT_FALSE(source_.requestRange(100000, 100100, true));
    EXPECT_EQ(source_.lastError(), SourceError::FileChanged);
    EXPECT_EQ(readAll(*slot), "");
    // Nothing of the old version comes out of the cache any more either.
    EXPECT_FALSE(source_.requestRange(1000, 1100, true));
    EXPECT_EQ(readAll(*slot), "");

    // Opening again takes the new version.
    ASSERT_TRUE(source_.openRemoteFile(address));
    EXPECT_EQ(source_.length(), 300001);
    ASSERT_TRUE(source_.requestRange(1000, 1100, true));
    EXPECT_BYTES(readAll(*slot), patternBytes(300001, 2).substr(1000, 101));
}

const std::string& content() {
    static const std::string bytes = patternBytes(200000, 9);
    return bytes;
}

bool isSuffixRange(const SeenRequest& request) {
    return request.header("Range").value_or("").rfind("bytes=-", 0) == 0;
}

struct ScriptedReader {
    ScriptedReader() { source.setStorageFileSlot(&slot); }
    bool open(const std::string& url) {
        String address(url.c_str());
        return source.connect(address) && source.openRemoteFile(address);
    }
    std::string range(int32_t first, int32_t last) {
        source.requestRange(first, last, true);
        return slot ? readAll(*slot) : std::string();
    }
    RemoteArchiveSource source;
    RangeStream* slot = nullptr;
};

TEST(NetworkEfficiencyScripted, ServersRefusingSuffixRangesCostOneMoreRequest) {
    for (int refusal : {200, 416}) {
        ScriptedHttpServer server([refusal](const SeenRequest& request) {
            if (!isSuffixRange(request))
                return ScriptedReply::file(content(), request);
            if (refusal == 200)
                return ScriptedReply::whole(content());
            return ScriptedReply::error(416, "");
        });
        ScriptedReader reader;
        ASSERT_TRUE(reader.open(server.url("/a.zip"))) << reader.source.errorText();
        EXPECT_EQ(reader.source.length(), 200000);
        // The engine's tail search, block by block: the tail comes in one request.
        EXPECT_BYTES(reader.range(200000 - 32768, 200000), content().substr(200000 - 32768));
        EXPECT_BYTES(reader.range(200000 - 65533, 200000 - 32765),
                     content().substr(200000 - 65533, 32769));
        auto requests = server.requests();
        ASSERT_EQ(requests.size(), 3u) << refusal;
        EXPECT_EQ(requests[0].header("Range").value_or(""), "bytes=-65558");
        EXPECT_EQ(requests[1].header("Range").value_or(""), "bytes=0-0");
        EXPECT_EQ(requests[2].header("Range").value_or(""), "bytes=134442-199999");
    }
}

TEST(NetworkEfficiencyScripted, AnotherETagMidWayFailsTheRead) {
    std::atomic<bool> replaced{false};
    ScriptedHttpServer server([&](const SeenRequest& request) {
        ScriptedReply reply = ScriptedReply::file(content(), request);
        reply.headers.emplace_back("ETag", replaced ? "\"v2\"" : "\"v1\"");
        return reply;
    });
    ScriptedReader reader;
    ASSERT_TRUE(reader.open(server.url("/a.zip")));
    replaced = true;
    EXPECT_EQ(reader.range(5000, 60000), "");
    EXPECT_EQ(reader.source.lastError(), SourceError::FileChanged);
    auto requests = server.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].header("If-Range").value_or(""), "\"v1\"");
}

} // namespace
