// The viewer's jobs on archives of every method and kind of encryption, over HTTPS (nginx)
// and FTP (pyftpdlib, active and passive): listed, every entry tested and extracted, one previewed,
// the archive saved; the password is asked for through the view.
#include "CoreTestSupport.h"

#include "FtpTestSupport.h"
#include "NginxServer.h"
#include "TestSupport.h"
#include "remote/RemoteArchiveSource.h"

#include <gtest/gtest.h>

#include <unistd.h>

using namespace coretest;

namespace {

const char* const archives[] = {"deflate64.zip", "bzip2_7z.zip",      "lzma_noeos.zip",
                                "xz_7z.zip",     "zstd_tool.zip",     "aes128.zip",
                                "ae1.zip",       "zipcrypto_info.zip"};

class MethodJobs : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        www_ = new mgtest::TempDir("mg-core-methods");
        const auto made =
            mgtest::runCommand({mgtest::DebianPython, MG_MAKE_METHOD_ARCHIVES, www_->path()});
        ASSERT_EQ(made.exitCode, 0) << made.output;
        nginx_ = new mgtest::NginxServer(www_->path());
        ftp_ = new ftptest::RealFtpServer();
        passiveFtp_ = new ftptest::RealFtpServer(true);
        for (const char* name : archives)
            for (const auto* server : {ftp_, passiveFtp_})
                ASSERT_EQ(::link(www_->file(name).c_str(), (server->root() + "/" + name).c_str()),
                          0);
    }
    static void TearDownTestSuite() {
        delete passiveFtp_;
        delete ftp_;
        delete nginx_;
        delete www_;
    }

    static mgtest::TempDir* www_;
    static mgtest::NginxServer* nginx_;
    static ftptest::RealFtpServer* ftp_;
    static ftptest::RealFtpServer* passiveFtp_; // refuses PORT
};
mgtest::TempDir* MethodJobs::www_;
mgtest::NginxServer* MethodJobs::nginx_;
ftptest::RealFtpServer* MethodJobs::ftp_;
ftptest::RealFtpServer* MethodJobs::passiveFtp_;

TEST_F(MethodJobs, EveryMethodListsExtractsPreviewsAndSavesOverHttpsAndFtp) {
    for (const char* name : archives) {
        for (const std::string& address :
             {nginx_->httpsUrl(std::string("/") + name),
              "ftp://127.0.0.1:" + std::to_string(ftp_->port()) + "/" + name,
              "ftp://127.0.0.1:" + std::to_string(passiveFtp_->port()) + "/" + name}) {
            SCOPED_TRACE(address);
            HttpOptions trusting;
            trusting.caFile = nginx_->caFile();
            RemoteArchiveSource source(trusting);
            DocHarness h(source);
            mgtest::TempDir out("mg-core-methods-out");
            h.settings.tmpFolder = String(out.path());
            h.view.entryPassword = "SECRET";
            ASSERT_TRUE(h.open(address));
            ASSERT_EQ(h.view.count("OPEN_SUCCEEDED " + std::string(name)), 1);
            std::vector<String> names;
            for (const EntryRow& row : h.view.rows())
                names.push_back(String((row.path.str() + row.name.str()).c_str()));
            ASSERT_GE(names.size(), 3u);

            ASSERT_TRUE(
                h.doc->startExtract(names, String(out.file("all").c_str()), false, true, false));
            ASSERT_TRUE(h.waitIdle());
            ASSERT_FALSE(h.view.boxes().empty());
            EXPECT_EQ(h.view.boxes().back().text.str(), "Extraction complete!");
            int compared = 0;
            for (const String& entry : names) {
                const std::string original = www_->file("src/" + entry.str());
                if (::access(original.c_str(), F_OK) != 0)
                    continue; // made of several sources (zstd's two frames)
                EXPECT_TRUE(mgtest::readFile(out.file("all/" + entry.str())) ==
                            mgtest::readFile(original))
                    << entry.str();
                ++compared;
            }
            EXPECT_GE(compared, 2);

            ASSERT_TRUE(h.doc->startExtract({"tiny.txt"}, String(out.path()), true, true, false));
            ASSERT_TRUE(h.waitIdle());
            EXPECT_EQ(h.opener.opened(), std::vector<std::string>{out.file("tiny.txt")});

            ASSERT_TRUE(h.doc->startSave(String(out.file("copy.zip"))));
            ASSERT_TRUE(h.waitIdle());
            EXPECT_TRUE(mgtest::readFile(out.file("copy.zip")) ==
                        mgtest::readFile(www_->file(name)));
            // Asked once for an encrypted archive, kept for the rest; never for the others.
            const std::string kind = name;
            const bool encrypted = kind.rfind("ae", 0) == 0 || kind.rfind("zipcrypto", 0) == 0;
            int asked = 0;
            for (const std::string& event : h.view.events())
                asked += event.rfind("password ", 0) == 0;
            EXPECT_EQ(asked, encrypted ? 1 : 0);
        }
    }
}

} // namespace
