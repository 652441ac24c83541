// The engine over the real HTTP source and nginx: what the in-memory source stands in for
// elsewhere, including data descriptors and long comments over real ranged responses.
#include "NginxServer.h"
#include "ZipTestArchives.h"
#include "remote/RemoteArchiveSource.h"

#include <gtest/gtest.h>

using mgtest::ManifestEntry;

namespace {

class OverHttp : public testing::TestWithParam<std::string> {
protected:
    static void SetUpTestSuite() { nginx = new mgtest::NginxServer(mgtest::archiveFolder()); }
    static void TearDownTestSuite() {
        delete nginx;
        nginx = nullptr;
    }
    static mgtest::NginxServer* nginx;
};

mgtest::NginxServer* OverHttp::nginx = nullptr;

TEST_P(OverHttp, EveryEntryTestsAndExtractsAsZipfileReadsIt) {
    HttpOptions options;
    options.caFile = nginx->caFile();
    RemoteArchiveSource source(options);
    CZipArchive archive(source);
    const bool secure = GetParam() == "descriptor";
    const std::string url = secure ? nginx->httpsUrl("/" + GetParam() + ".zip")
                                   : nginx->httpUrl("/" + GetParam() + ".zip");
    ASSERT_NO_THROW(archive.open(String(url.c_str())));
    ASSERT_FALSE(archive.isClosed()) << source.errorText();
    const auto expected = mgtest::manifestOf(GetParam());
    ASSERT_EQ(archive.entryCount(), expected.size());
    mgtest::TempDir out("mgzip");
    for (uint16_t i = 0; i < archive.entryCount(); ++i) {
        const ManifestEntry& e = expected[i];
        SCOPED_TRACE(e.name);
        ASSERT_NO_THROW(EXPECT_TRUE(archive.testEntry(i)));
        ASSERT_NO_THROW(EXPECT_TRUE(archive.extractEntry(i, out.path())));
        if (!e.isDirectory) {
            EXPECT_EQ(mgtest::crcOfFile(out.path() + "/" + e.name), e.crc);
        }
    }
    archive.close();
    EXPECT_TRUE(archive.isClosed());
}

INSTANTIATE_TEST_SUITE_P(Nginx, OverHttp,
                         testing::Values("descriptor", "comment_max", "folders", "mixed",
                                         "prepended", "bzip2"),
                         [](const testing::TestParamInfo<std::string>& info) {
                             return info.param;
                         });

TEST(OverHttpFailures, TenBytesAndDamagedArchivesFailCleanly) {
    mgtest::NginxServer nginx(mgtest::archiveFolder());
    RemoteArchiveSource source;
    CZipArchive archive(source);
    EXPECT_THROW(archive.open(String(nginx.httpUrl("/ten_bytes.zip").c_str())), CZipFileException);
    EXPECT_TRUE(archive.isClosed());
    archive.open(String(nginx.httpUrl("/unsupported_method.zip").c_str()));
    ASSERT_FALSE(archive.isClosed());
    EXPECT_THROW(archive.testEntry(0), CZipException);
    // The next entry operation starts clean after the failure.
    EXPECT_THROW(archive.testEntry(0), CZipException);
}

} // namespace
