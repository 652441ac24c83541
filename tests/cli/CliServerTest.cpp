// marrowglen-cli against a real nginx: what it lists, tests, extracts, prints and saves must
// agree with Python's zipfile and Info-ZIP's unzip.
#include "CliHarness.h"
#include "NginxServer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <sys/stat.h>

using clitest::cli;

namespace {

class CliServer : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        www = std::make_unique<mgtest::TempDir>("mgtest-cli-www");
        mgtest::runCommand({mgtest::DebianPython, MG_SOURCE_DIR "/scripts/make-sample.py",
                            www->file("sample.zip")});
        clitest::makeArchive(www->file("odd.zip"), R"(
z = zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED)
z.writestr("-", "a name that looks like an option\n")
z.writestr("Übersicht/naïve café.txt", "utf-8 names\n" * 50)
z.writestr("empty.txt", "")
z.writestr("dir/", "")
z.comment = b"c" * 65535
z.close()
)");
        clitest::makeArchive(www->file("names.zip"), R"(
z = zipfile.ZipFile(sys.argv[1], "w")
for n in ["\x1b[31mred.txt", "back\\slash.txt", "\u6570\u636e\u8868.txt", "x.txt"]:
    z.writestr(n, "text\n")
z.writestr("big.bin", b"\0" * (1 << 21))
z.close()
)");
        clitest::makeArchive(www->file("folders.zip"), R"(
z = zipfile.ZipFile(sys.argv[1], "w")
z.writestr("only/", "")
z.close()
)");
        server = std::make_unique<mgtest::NginxServer>(www->path());
    }
    static void TearDownTestSuite() {
        server.reset();
        www.reset();
    }
    static std::string url(const std::string& name) { return server->httpUrl("/" + name); }

    mgtest::TempDir out{"mgtest-cli-out"};
    static std::unique_ptr<mgtest::TempDir> www;
    static std::unique_ptr<mgtest::NginxServer> server;
};
std::unique_ptr<mgtest::TempDir> CliServer::www;
std::unique_ptr<mgtest::NginxServer> CliServer::server;

TEST_F(CliServer, TsvListingAgreesWithPythonZipfile) {
    for (const char* name : {"sample.zip", "odd.zip"}) {
        auto run = cli({"list", "--tsv", url(name)});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.out, clitest::pythonTsv(www->file(name))) << name;
    }
}

TEST_F(CliServer, TableShowsTheViewersColumnsAndTotals) {
    auto run = cli({"list", url("sample.zip")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("Name"), std::string::npos);
    EXPECT_NE(run.out.find("guide.txt     60,890  91 %   5,013  docs/"), std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("5 files      165,253  54 %  75,004"), std::string::npos) << run.out;
}

TEST_F(CliServer, TestChecksEveryFileOrTheNamedOnes) {
    auto all = cli({"test", url("sample.zip")});
    EXPECT_EQ(all.exitCode, 0) << all.out << all.err;
    EXPECT_EQ(all.out, "README.txt  OK\ndocs/guide.txt  OK\ndocs/notes.md  OK\n"
                       "data/numbers.csv  OK\ndata/random.bin  OK\n");
    auto some = cli({"test", url("sample.zip"), "docs/notes.md", "nope.txt"});
    EXPECT_EQ(some.exitCode, 1);
    EXPECT_EQ(some.out, "docs/notes.md  OK\nnope.txt  FAILED: not found in the archive\n");
}

TEST_F(CliServer, ExtractKeepsPathsAndMatchesUnzip) {
    auto run = cli({"extract", "-q", url("odd.zip"), "-d", out.path()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    for (const char* name : {"-", "Übersicht/naïve café.txt", "empty.txt"}) {
        auto unzip = mgtest::runCommand({"unzip", "-p", www->file("odd.zip"), name});
        EXPECT_EQ(mgtest::readFile(out.file(name)), unzip.output) << name;
    }
    struct stat st {};
    EXPECT_EQ(stat(out.file("dir").c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
}

TEST_F(CliServer, CatWritesExactlyTheEntry) {
    auto run = cli({"cat", url("sample.zip"), "data/random.bin"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(
        run.out,
        mgtest::runCommand({"unzip", "-p", www->file("sample.zip"), "data/random.bin"}).output);
    EXPECT_EQ(cli({"cat", url("odd.zip"), "-"}).out, "a name that looks like an option\n");
}

TEST_F(CliServer, SaveIsByteIdenticalOverHttpAndHttps) {
    // The curl tool's variables name the trusted bundle; CURL_CA_BUNDLE wins.
    const char* saved = std::getenv("CURL_CA_BUNDLE");
    const std::string previous = saved ? saved : "";
    setenv("CURL_CA_BUNDLE", server->caFile().c_str(), 1);
    auto plain = cli({"save", url("odd.zip"), out.file("a.zip"), "-q"});
    auto secure = cli({"save", server->httpsUrl("/sample.zip"), out.file("b.zip")});
    if (previous.empty())
        unsetenv("CURL_CA_BUNDLE");
    else
        setenv("CURL_CA_BUNDLE", previous.c_str(), 1);
    ASSERT_EQ(plain.exitCode, 0) << plain.err;
    ASSERT_EQ(secure.exitCode, 0) << secure.err;
    EXPECT_EQ(mgtest::readFile(out.file("a.zip")), mgtest::readFile(www->file("odd.zip")));
    EXPECT_EQ(mgtest::readFile(out.file("b.zip")), mgtest::readFile(www->file("sample.zip")));
}

TEST_F(CliServer, ExistingFilesAreAskedAboutOrLeftAlone) {
    mgtest::writeFile(out.file("README.txt"), "mine");
    auto never = cli({"extract", url("sample.zip"), "README.txt", "-n", "-d", out.path()});
    EXPECT_EQ(never.exitCode, 0) << never.err;
    EXPECT_EQ(mgtest::readFile(out.file("README.txt")), "mine");

    // No terminal to ask: the file stays and the run says so.
    auto unasked = cli({"extract", url("sample.zip"), "README.txt", "-d", out.path()});
    EXPECT_EQ(unasked.exitCode, 1);
    EXPECT_NE(unasked.err.find("use -o to overwrite"), std::string::npos) << unasked.err;
    EXPECT_EQ(mgtest::readFile(out.file("README.txt")), "mine");

    auto always = cli({"extract", "-o", "-d", out.path(), url("sample.zip"), "README.txt"});
    EXPECT_EQ(always.exitCode, 0) << always.err;
    EXPECT_NE(mgtest::readFile(out.file("README.txt")), "mine");
}

TEST_F(CliServer, NamesAreEscapedAndColumnsFollowTheirWidth) {
    auto tsv = cli({"list", "--tsv", url("names.zip")});
    ASSERT_EQ(tsv.exitCode, 0) << tsv.err;
    EXPECT_EQ(tsv.out.find('\x1b'), std::string::npos);
    EXPECT_NE(tsv.out.find("\\x1B[31mred.txt\t"), std::string::npos) << tsv.out;
    EXPECT_NE(tsv.out.find("back\\\\slash.txt\t"), std::string::npos) << tsv.out;

    // The three CJK characters take six columns: the sizes stand under each other.
    auto table = cli({"list", url("names.zip")});
    const auto column = [&](const std::string& name) {
        const auto line = table.out.rfind('\n', table.out.find(name)) + 1;
        const std::string text = table.out.substr(line, table.out.find("  5", line) - line);
        return text.size() - (name == "x.txt" ? 0 : 3); // 3 CJK characters: 9 bytes, 6 columns
    };
    EXPECT_EQ(column("\u6570"), column("x.txt")) << table.out;
}

TEST_F(CliServer, TheOverwriteQuestionShowsNamesEscapedAndCancelFails) {
    mgtest::writeFile(out.file("\x1b[31mred.txt"), "mine");
    auto run = clitest::cliOnTerminal(
        {"extract", "-q", url("names.zip"), "\x1b[31mred.txt", "x.txt", "-d", out.path()}, "c\n");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("Replace " + out.path() + "/\\x1B[31mred.txt?"), std::string::npos)
        << run.err;
    EXPECT_EQ(run.err.find('\x1b'), std::string::npos) << "a raw escape reached the terminal";
    EXPECT_EQ(mgtest::readFile(out.file("\x1b[31mred.txt")), "mine");
    EXPECT_FALSE(std::filesystem::exists(out.file("x.txt")));
}

TEST_F(CliServer, CatIntoAClosedPipeEndsQuietly) {
    auto run = mgtest::runCommand(
        {"bash", "-c",
         "\"$0\" cat \"$1\" big.bin | head -c 10 >/dev/null; echo \"${PIPESTATUS[0]}\"",
         MG_CLI_PATH, url("names.zip")});
    EXPECT_EQ(run.output, "141\n");
}

TEST_F(CliServer, FolderNamesAndEmptyArchivesAreUnderstood) {
    auto docs = cli({"extract", "-q", url("sample.zip"), "docs", "-d", out.path()});
    EXPECT_EQ(docs.exitCode, 0) << docs.err;
    EXPECT_TRUE(std::filesystem::exists(out.file("docs/guide.txt")));
    EXPECT_TRUE(std::filesystem::exists(out.file("docs/notes.md")));
    EXPECT_FALSE(std::filesystem::exists(out.file("README.txt")));

    auto empty = cli({"test", url("folders.zip")});
    EXPECT_EQ(empty.exitCode, 0) << empty.err;
    EXPECT_EQ(empty.out, "The archive holds no files to test.\n");
}

TEST_F(CliServer, SaveAsksBeforeReplacingAndSavesIntoAFolder) {
    mgtest::writeFile(out.file("sample.zip"), "mine");
    auto unasked = cli({"save", url("sample.zip"), out.file("sample.zip")});
    EXPECT_EQ(unasked.exitCode, 1);
    EXPECT_NE(unasked.err.find("use -o to overwrite"), std::string::npos) << unasked.err;
    EXPECT_EQ(cli({"save", "-n", url("sample.zip"), out.path()}).exitCode, 0);
    EXPECT_EQ(mgtest::readFile(out.file("sample.zip")), "mine");

    auto replaced = cli({"save", "-o", url("sample.zip"), out.path()});
    EXPECT_EQ(replaced.exitCode, 0) << replaced.err;
    EXPECT_EQ(mgtest::readFile(out.file("sample.zip")), mgtest::readFile(www->file("sample.zip")));
    auto intoNew = cli({"save", url("odd.zip"), out.file("new/")});
    EXPECT_EQ(intoNew.exitCode, 0) << intoNew.err;
    EXPECT_EQ(mgtest::readFile(out.file("new/odd.zip")), mgtest::readFile(www->file("odd.zip")));
}

} // namespace
