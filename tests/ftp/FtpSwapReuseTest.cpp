// The ftp path asks the length once per archive and serves a range that the swap file holds
// already (the end record and a small directory inside the tail block) without downloading it
// again; against pyftpdlib.
#include "FtpTestSupport.h"
#include "app/String.h"
#include "remote/RemoteArchiveSource.h"
#include "zip/ZipArchive.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

using namespace ftptest;

namespace {

class FtpSwapReuse : public testing::Test {
protected:
    static void SetUpTestSuite() {
        server_ = new RealFtpServer();
        const std::string path = server_->root() + "/a.zip";
        writeFile(path + ".py", "import zipfile,sys\n"
                                "with zipfile.ZipFile(sys.argv[1], 'w') as z:\n"
                                "    z.writestr('one.txt', 'first entry\\n' * 3000)\n"
                                "    z.writestr('two.bin', bytes(range(256)) * 600)\n");
        ASSERT_EQ(std::system(("/usr/bin/python3 '" + path + ".py' '" + path + "'").c_str()), 0);
    }
    static void TearDownTestSuite() {
        delete server_;
        server_ = nullptr;
    }
    void SetUp() override {
        ASSERT_TRUE(server_->started());
        server_->clearTranscript();
        source_.setSwapFolder(swap_.path());
        source_.ftpReader().setTimeoutSeconds(5);
    }
    int countOf(const std::string& prefix) const {
        auto lines = server_->transcript();
        return static_cast<int>(std::count_if(lines.begin(), lines.end(), [&](const auto& l) {
            return l.compare(0, prefix.size(), prefix) == 0;
        }));
    }

    static RealFtpServer* server_;
    TempFolder swap_;
    RemoteArchiveSource source_;
};

RealFtpServer* FtpSwapReuse::server_ = nullptr;

} // namespace

TEST_F(FtpSwapReuse, OpeningDownloadsTheTailOnceAndAsksTheSizeOnce) {
    CZipArchive archive(source_);
    archive.open(String("ftp://127.0.0.1:" + std::to_string(server_->port()) + "/a.zip"));
    ASSERT_FALSE(archive.isClosed()) << source_.errorText();
    EXPECT_EQ(archive.entryCount(), 2);
    // Tail block, end record and directory: one download, the other two from the swap file.
    EXPECT_EQ(countOf("RETR "), 1);
    for (uint16_t i = 0; i < 2; ++i)
        EXPECT_TRUE(archive.testEntry(i)) << archive.lastError();
    EXPECT_EQ(countOf("SIZE "), 1);
}
