// ftp addresses through the remote source and the zip engine, against pyftpdlib.
#include "FtpTestSupport.h"
#include "app/String.h"
#include "remote/RemoteArchiveSource.h"
#include "zip/ZipArchive.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <random>

using namespace ftptest;

namespace {

// An archive with a stored entry, a deflated one and a folder, made by Python's zipfile.
void makeArchive(const std::string& path, const std::string& big) {
    writeFile(path + ".big", big);
    std::string script = "import zipfile,sys\n"
                         "with zipfile.ZipFile(sys.argv[1], 'w') as z:\n"
                         "    z.writestr('readme.txt', 'hello over ftp\\n', zipfile.ZIP_STORED)\n"
                         "    z.writestr('sub/', '')\n"
                         "    z.write(sys.argv[1] + '.big', 'sub/big.bin', zipfile.ZIP_DEFLATED)\n";
    writeFile(path + ".py", script);
    std::string command = "/usr/bin/python3 '" + path + ".py' '" + path + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    ::unlink((path + ".py").c_str());
    ::unlink((path + ".big").c_str());
}

class FtpArchiveSource : public testing::Test {
protected:
    static void SetUpTestSuite() {
        server_ = new RealFtpServer();
        ::mkdir((server_->root() + "/pub").c_str(), 0700);
        makeArchive(server_->root() + "/pub/test archive.zip", patternBytes(200000));
        writeFile(server_->root() + "/pub/empty.zip", "");
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
    std::string address(const std::string& credentials, const std::string& path) const {
        return "ftp://" + credentials + "127.0.0.1:" + std::to_string(server_->port()) + path;
    }
    void expectListsAndExtracts(CZipArchive& archive) {
        ASSERT_FALSE(archive.isClosed());
        ASSERT_EQ(archive.entryCount(), 3);
        EXPECT_EQ(archive.findEntry("sub/big.bin", true), 2);
        for (uint16_t i = 0; i < 3; ++i)
            EXPECT_TRUE(archive.testEntry(i)) << i << ": " << archive.lastError();
        ASSERT_TRUE(archive.extractEntry(2, out_.path(), false));
        EXPECT_EQ(readFile(out_.file("big.bin")), patternBytes(200000));
        ASSERT_TRUE(archive.extractEntry(0, out_.path(), false));
        EXPECT_EQ(readFile(out_.file("readme.txt")), "hello over ftp\n");
    }
    int countOf(const std::string& prefix) const {
        auto lines = server_->transcript();
        return static_cast<int>(std::count_if(lines.begin(), lines.end(), [&](const auto& l) {
            return l.compare(0, prefix.size(), prefix) == 0;
        }));
    }

    static RealFtpServer* server_;
    TempFolder swap_, out_;
    RemoteArchiveSource source_;
};

RealFtpServer* FtpArchiveSource::server_ = nullptr;

} // namespace

TEST_F(FtpArchiveSource, AnonymousArchiveListsTestsAndExtracts) {
    CZipArchive archive(source_);
    archive.open(String(address("", "/pub/test%20archive.zip")));
    expectListsAndExtracts(archive);
    EXPECT_EQ(source_.remoteFileName(), "test archive.zip");
    EXPECT_EQ(countOf("SIZE "), 1);
    EXPECT_EQ(countOf("TYPE I"), 1);
    EXPECT_EQ(countOf("USER "), 1);
    archive.close();
    EXPECT_TRUE(filesIn(swap_.path()).empty());
}

TEST_F(FtpArchiveSource, UserAndPasswordFromTheAddress) {
    CZipArchive archive(source_);
    archive.open(String(address("us%40er%3Ax:p%3Aa%2Fss%40w@", "/pub/test%20archive.zip")));
    expectListsAndExtracts(archive);
    EXPECT_EQ(countOf("USER us@er:x"), 1);
}

TEST_F(FtpArchiveSource, EmptyAndMissingArchivesCannotBeOpened) {
    CZipArchive archive(source_);
    archive.open(String(address("", "/pub/empty.zip")));
    EXPECT_TRUE(archive.isClosed());
    EXPECT_EQ(source_.lastError(), SourceError::EmptyFile);
    archive.open(String(address("", "/pub/missing.zip")));
    EXPECT_TRUE(archive.isClosed());
    EXPECT_FALSE(source_.errorText().empty());
}

TEST_F(FtpArchiveSource, WrongPasswordFailsToConnect) {
    String url(address("us%40er%3Ax:nope@", "/pub/test%20archive.zip"));
    EXPECT_FALSE(source_.connect(url));
    EXPECT_EQ(source_.lastError(), SourceError::NoResponse);
}

// A server that allows passive mode only: the first range finds out, and the archive then
// lists, tests and extracts over passive connections alone.
TEST_F(FtpArchiveSource, ServerWithoutActiveModeIsReadPassively) {
    RealFtpServer passiveOnly(true);
    ASSERT_TRUE(passiveOnly.started());
    ::mkdir((passiveOnly.root() + "/pub").c_str(), 0700);
    makeArchive(passiveOnly.root() + "/pub/a.zip", patternBytes(200000));
    CZipArchive archive(source_);
    archive.open(String("ftp://127.0.0.1:" + std::to_string(passiveOnly.port()) + "/pub/a.zip"));
    expectListsAndExtracts(archive);
    EXPECT_TRUE(source_.ftpReader().usesPassiveMode());
    const auto lines = passiveOnly.transcript();
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& l) { return l.rfind("PORT ", 0) == 0; }),
              1);
}

// A Cancel fails the next request as cancelled (never as an empty success), and once the
// next job has reset it, ftp ranges come whole again.
TEST_F(FtpArchiveSource, CancelFailsRangesUntilTheNextJobResetsIt) {
    std::mt19937 noise(7); // incompressible: the entry lies outside the tail fetched at open
    std::string big(200000, '\0');
    for (char& c : big)
        c = static_cast<char>(noise());
    makeArchive(server_->root() + "/pub/noise.zip", big);
    CZipArchive archive(source_);
    archive.open(String(address("", "/pub/noise.zip")));
    ASSERT_FALSE(archive.isClosed());
    source_.cancel();
    EXPECT_THROW(archive.testEntry(2), CZipException);
    EXPECT_EQ(source_.lastError(), SourceError::Cancelled);
    source_.cancel();
    source_.resetCancel();
    EXPECT_TRUE(archive.testEntry(2)) << archive.lastError();
    EXPECT_TRUE(archive.testEntry(0)) << archive.lastError();
}
