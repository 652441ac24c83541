// A read plan over ftp against pyftpdlib: neighbouring entries come through one RETR, a far
// one through a new REST and RETR, and every entry still passes its CRC check.
#include "FtpTestSupport.h"
#include "app/String.h"
#include "remote/RemoteArchiveSource.h"
#include "zip/ZipArchive.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>

using namespace ftptest;

namespace {

// 30 small entries, a 5 MiB filler that no plan reads, then 5 more small entries.
void makeArchive(const std::string& path) {
    std::string script = "import zipfile,sys,random\n"
                         "r = random.Random(2)\n"
                         "with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED) as z:\n"
                         "    for i in range(30):\n"
                         "        z.writestr(f'a/{i}.txt', f'entry {i} ' * 300)\n"
                         "    z.writestr('filler.bin', r.randbytes(5 << 20), zipfile.ZIP_STORED)\n"
                         "    for i in range(5):\n"
                         "        z.writestr(f'b/{i}.txt', f'late {i} ' * 300)\n";
    writeFile(path + ".py", script);
    ASSERT_EQ(std::system(("/usr/bin/python3 '" + path + ".py' '" + path + "'").c_str()), 0);
    ::unlink((path + ".py").c_str());
}

class FtpReadPlan : public testing::Test {
protected:
    static void SetUpTestSuite() {
        server_ = new RealFtpServer();
        makeArchive(server_->root() + "/plan.zip");
    }
    static void TearDownTestSuite() {
        delete server_;
        server_ = nullptr;
    }
    void SetUp() override {
        ASSERT_TRUE(server_->started());
        source_.setSwapFolder(swap_.path());
        source_.ftpReader().setTimeoutSeconds(5);
        archive_.open(
            String(("ftp://127.0.0.1:" + std::to_string(server_->port()) + "/plan.zip").c_str()));
        ASSERT_FALSE(archive_.isClosed()) << source_.errorText();
        server_->clearTranscript();
    }
    std::vector<int32_t> entries(const std::string& folder, int count) {
        std::vector<int32_t> indices;
        for (int i = 0; i < count; ++i)
            indices.push_back(archive_.findEntry(folder + std::to_string(i) + ".txt", true));
        return indices;
    }
    void testAll(const std::vector<int32_t>& indices) {
        source_.setReadPlan(archive_.readSpans(indices));
        for (int32_t index : indices)
            EXPECT_TRUE(archive_.testEntry(static_cast<uint16_t>(index)))
                << index << ": " << archive_.lastError();
    }
    std::vector<std::string> commands(const std::string& verb) const {
        std::vector<std::string> found;
        for (const std::string& line : server_->transcript())
            if (line.rfind(verb, 0) == 0)
                found.push_back(line);
        return found;
    }

    static RealFtpServer* server_;
    TempFolder swap_;
    RemoteArchiveSource source_;
    CZipArchive archive_{source_};
};
RealFtpServer* FtpReadPlan::server_;

TEST_F(FtpReadPlan, NeighbouringEntriesComeThroughOneRetr) {
    testAll(entries("a/", 30));
    EXPECT_EQ(commands("RETR").size(), 1u);
    EXPECT_LE(commands("REST").size(), 1u);
}

TEST_F(FtpReadPlan, AFarGapEndsTheTransferAndRestartsPastIt) {
    std::vector<int32_t> indices = entries("a/", 3);
    for (int32_t index : entries("b/", 5))
        indices.push_back(index);
    testAll(indices);
    const auto retrs = commands("RETR");
    EXPECT_EQ(retrs.size(), 2u) << "the 5 MiB filler is skipped, not read through";
    const auto rests = commands("REST");
    ASSERT_FALSE(rests.empty());
    const long long resumedAt = std::atoll(rests.back().substr(5).c_str());
    EXPECT_GT(resumedAt, 5 << 20);
}

TEST_F(FtpReadPlan, AnEntryReadAgainAfterThePlanStillArrives) {
    auto indices = entries("a/", 4);
    testAll(indices);
    // Behind the plan: served the ordinary way, with a download of its own.
    EXPECT_TRUE(archive_.testEntry(static_cast<uint16_t>(indices[1]))) << archive_.lastError();
}

// The viewer's way: each entry tested, then extracted, under a plan of two passes. The
// second reading comes from the kept copy, so the plan's one transfer is never broken off.
TEST_F(FtpReadPlan, EachEntryReadTwiceStillComesThroughOneRetr) {
    const auto indices = entries("a/", 30);
    source_.setReadPlan(archive_.readSpans(indices), 2);
    TempFolder out;
    for (int32_t index : indices) {
        EXPECT_TRUE(archive_.testEntry(uint32_t(index))) << index << ": " << archive_.lastError();
        EXPECT_TRUE(archive_.extractEntry(uint32_t(index), out.path())) << archive_.lastError();
    }
    for (int i = 0; i < 30; ++i)
        EXPECT_EQ(readFile(out.path() + "/a/" + std::to_string(i) + ".txt").size(),
                  std::string("entry " + std::to_string(i) + " ").size() * 300);
    EXPECT_EQ(commands("RETR").size(), 1u);
    // The kept copy goes with the plan.
    source_.setReadPlan({});
    EXPECT_TRUE(filesIn(swap_.path()).size() <= 1u) << "only the swap file itself";
}

} // namespace
