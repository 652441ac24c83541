// A ZIP64 archive beyond every 32-bit limit at once: 6 GiB long, an entry of 5 GiB, entries
// whose local headers lie past 6 GiB, and 70,002 entries. Listed, tested and extracted over
// nginx and pyftpdlib; the listing is compared with what Python's zipfile reads.
#include "FtpTestSupport.h"
#include "NginxServer.h"
#include "TestSupport.h"
#include "remote/RemoteArchiveSource.h"
#include "zip/ZipArchive.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include <unistd.h>

using namespace mgtest;

namespace {

constexpr uint64_t fiveGiB = 5ULL << 30;

// The peak resident memory of this process so far, in KiB.
long peakResidentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

class LargeArchive : public testing::Test {
protected:
    static void SetUpTestSuite() {
        root_ = new TempDir("mg-large");
        const CommandResult made =
            runCommand({DebianPython, MG_MAKE_LARGE_ARCHIVE, root_->file("large.zip")});
        ASSERT_EQ(made.exitCode, 0) << made.output;
        nginx_ = new NginxServer(root_->path());
    }
    static void TearDownTestSuite() {
        delete nginx_;
        delete root_;
    }

    void SetUp() override {
        ASSERT_NE(nginx_, nullptr);
        archive_.open(String(nginx_->httpUrl("/large.zip").c_str()));
        ASSERT_FALSE(archive_.isClosed()) << source_.errorText();
    }
    void TearDown() override { archive_.close(); }

    uint32_t indexOf(const std::string& name) {
        const int32_t index = archive_.findEntry(name, true);
        EXPECT_GE(index, 0) << name;
        return uint32_t(index);
    }

    static TempDir* root_;
    static NginxServer* nginx_;
    RemoteArchiveSource source_;
    CZipArchive archive_{source_};
};

TempDir* LargeArchive::root_ = nullptr;
NginxServer* LargeArchive::nginx_ = nullptr;

TEST_F(LargeArchive, ListingMatchesZipfile) {
    EXPECT_GT(source_.length(), 6LL << 30);
    ASSERT_EQ(archive_.entryCount(), 70002u);
    // zipfile's view of a sample: name, size, packed size, local header offset, CRC-32.
    const CommandResult listed = runCommand(
        {DebianPython, "-c",
         "import sys, zipfile\n"
         "z = zipfile.ZipFile(sys.argv[1])\n"
         "for i in (0, 1, 2, 65535, 65536, 70001):\n"
         "    e = z.infolist()[i]\n"
         "    print(i, e.filename, e.file_size, e.compress_size, e.header_offset, e.CRC)\n",
         root_->file("large.zip")});
    ASSERT_EQ(listed.exitCode, 0) << listed.output;
    std::istringstream lines(listed.output);
    uint32_t index;
    std::string name;
    uint64_t size, packed, offset, crc;
    int checked = 0;
    while (lines >> index >> name >> size >> packed >> offset >> crc) {
        SCOPED_TRACE(name);
        CZipFileHeader header;
        ASSERT_TRUE(archive_.getEntryInfo(header, index));
        EXPECT_EQ(header.name(), name);
        EXPECT_EQ(header.uncompressedSize, size);
        EXPECT_EQ(header.compressedSize, packed);
        EXPECT_EQ(header.localHeaderOffset, offset);
        EXPECT_EQ(header.crc32, crc);
        ++checked;
    }
    EXPECT_EQ(checked, 6);
}

TEST_F(LargeArchive, AnEntryPast6GiBExtracts) {
    TempDir out("mg-large-out");
    const uint32_t index = indexOf("small/0069999.txt");
    CZipFileHeader header;
    ASSERT_TRUE(archive_.getEntryInfo(header, index));
    EXPECT_GT(header.localHeaderOffset, 6ULL << 30);
    ASSERT_TRUE(archive_.extractEntry(index, out.path())) << archive_.lastError();
    EXPECT_EQ(readFile(out.file("small/0069999.txt")), "69999\n");
}

TEST_F(LargeArchive, TheFiveGiBEntryTestsSoundWithBoundedMemory) {
    const uint32_t index = indexOf("big.bin");
    const long before = peakResidentKiB();
    uint64_t lastDone = 0;
    ASSERT_TRUE(archive_.testEntry(index, [&](void*, uint64_t done, void*) {
        lastDone = done;
        return true;
    })) << archive_.lastError();
    EXPECT_EQ(lastDone, fiveGiB);
    // The bytes stream through bounded buffers: memory does not grow with the entry.
    EXPECT_LT(peakResidentKiB() - before, 64 * 1024);
}

// Over FTP the server seeks with REST: offsets past 4 GiB travel whole, and the size that
// SIZE reports is taken as 64 bits.
TEST(LargeArchiveOverFtp, ListsAndExtractsAnEntryPast6GiB) {
    TempDir made("mg-large-ftp");
    ASSERT_EQ(runCommand({DebianPython, MG_MAKE_LARGE_ARCHIVE, made.file("large.zip")}).exitCode,
              0);
    ftptest::RealFtpServer server;
    ASSERT_TRUE(server.started());
    // A hard link: the sparse file is not copied, and the server sees it inside its root.
    ASSERT_EQ(::link(made.file("large.zip").c_str(), (server.root() + "/large.zip").c_str()), 0);

    RemoteArchiveSource source;
    CZipArchive archive{source};
    archive.open(
        String(("ftp://127.0.0.1:" + std::to_string(server.port()) + "/large.zip").c_str()));
    ASSERT_FALSE(archive.isClosed()) << source.errorText();
    EXPECT_GT(source.length(), 6LL << 30);
    ASSERT_EQ(archive.entryCount(), 70002u);

    server.clearTranscript();
    TempDir out("mg-large-ftp-out");
    const int32_t index = archive.findEntry("small/0069999.txt", true);
    ASSERT_GE(index, 0);
    ASSERT_TRUE(archive.extractEntry(uint32_t(index), out.path())) << archive.lastError();
    EXPECT_EQ(readFile(out.file("small/0069999.txt")), "69999\n");
    const auto transcript = server.transcript();
    EXPECT_TRUE(std::any_of(transcript.begin(), transcript.end(), [](const std::string& line) {
        return line.rfind("REST ", 0) == 0 && std::stoll(line.substr(5)) > (6LL << 30);
    })) << "the entry is fetched from its own offset";
    archive.close();
}

} // namespace
