// marrowglen-cli when the address, the server or the archive lets it down: a clear message,
// the documented exit status, and no file that looks complete.
#include "CliHarness.h"
#include "ScriptedHttpServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>

using clitest::cli;
using mgtest::ScriptedReply;
using mgtest::SeenRequest;

namespace {

std::string archiveBytes(const std::string& script) {
    mgtest::TempDir dir("mgtest-cli-zip");
    clitest::makeArchive(dir.file("a.zip"), script);
    return mgtest::readFile(dir.file("a.zip"));
}

const char* twoFiles = R"(
z = zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED)
z.writestr("a.txt", "alpha " * 5000)
z.writestr("b.bin", bytes(range(256)) * 400, compress_type=zipfile.ZIP_STORED)
z.close()
)";

TEST(CliFailure, UsageErrorsExitWithTwo) {
    auto run = cli({"frobnicate", "h/a.zip"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("unknown command frobnicate"), std::string::npos);
    EXPECT_EQ(cli({"--help"}).exitCode, 0);
}

TEST(CliFailure, ServerWithoutRangesIsNotSupported) {
    const std::string zip = archiveBytes(twoFiles);
    mgtest::ScriptedHttpServer server(
        [&](const SeenRequest&) { return ScriptedReply::whole(zip); });
    auto run = cli({"list", server.url("/a.zip")});
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_NE(run.err.find("not supported by the remote server"), std::string::npos) << run.err;
}

TEST(CliFailure, MissingFileOrDeadServerIsUnavailable) {
    mgtest::ScriptedHttpServer server([](const SeenRequest&) {
        return ScriptedReply::error(404, "<html><body>PK\x05\x06 not here</body></html>");
    });
    auto missing = cli({"list", server.url("/a.zip")});
    EXPECT_EQ(missing.exitCode, 3);
    EXPECT_NE(missing.err.find("The file is unavaliable."), std::string::npos) << missing.err;

    auto dead = cli({"test", "http://127.0.0.1:" + std::to_string(mgtest::freePort()) + "/a.zip"});
    EXPECT_EQ(dead.exitCode, 3);
    EXPECT_NE(dead.err.find("The file is unavaliable."), std::string::npos) << dead.err;
}

TEST(CliFailure, NotAnArchiveIsDamaged) {
    const std::string text(5000, 'x');
    mgtest::ScriptedHttpServer server(
        [&](const SeenRequest& r) { return ScriptedReply::file(text, r); });
    auto run = cli({"list", server.url("/a.zip")});
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_NE(run.err.find("damaged"), std::string::npos) << run.err;
}

TEST(CliFailure, SaveCutShortLeavesNoFile) {
    const std::string zip = archiveBytes(twoFiles);
    mgtest::ScriptedHttpServer server([&](const SeenRequest& r) {
        ScriptedReply reply = ScriptedReply::file(zip, r);
        if (reply.status == 206 && reply.body.size() > 100)
            reply.cutAfter = reply.body.size() / 2;
        return reply;
    });
    mgtest::TempDir out("mgtest-cli-save");
    auto run = cli({"save", server.url("/a.zip"), out.file("a.zip")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("could not save " + out.file("a.zip")), std::string::npos) << run.err;
    EXPECT_TRUE(std::filesystem::is_empty(out.path())) << "a partial file was left";
}

TEST(CliFailure, EntryCutShortFailsAndLeavesNoFile) {
    const std::string zip = archiveBytes(twoFiles);
    mgtest::ScriptedHttpServer server([&](const SeenRequest& r) {
        ScriptedReply reply = ScriptedReply::file(zip, r);
        // The data of b.bin (stored, 102,400 bytes) stops half-way, however often it is asked
        // for: every answer that would carry byte 60,000 ends before it.
        long long first = 0;
        if (reply.status == 206 &&
            std::sscanf(reply.headers[0].second.c_str(), "bytes %lld-", &first) == 1 &&
            first <= 60000 && first + static_cast<long long>(reply.body.size()) > 60000)
            reply.cutAfter = static_cast<std::size_t>(60000 - first);
        return reply;
    });
    mgtest::TempDir out("mgtest-cli-cut");
    auto run = cli({"extract", server.url("/a.zip"), "-d", out.path()});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("b.bin: FAILED"), std::string::npos) << run.err;
    EXPECT_TRUE(std::filesystem::exists(out.file("a.txt")));
    EXPECT_FALSE(std::filesystem::exists(out.file("b.bin")));
}

TEST(CliFailure, HostileNamesNeverLeaveTheDestination) {
    const std::string zip = archiveBytes(R"(
z = zipfile.ZipFile(sys.argv[1], "w")
for n in ["../escape.txt", "/abs.txt", "ok/../../up.txt", "fine.txt"]:
    i = zipfile.ZipInfo("x"); i.filename = n; z.writestr(i, "bad " + n)
z.close()
)");
    mgtest::ScriptedHttpServer server(
        [&](const SeenRequest& r) { return ScriptedReply::file(zip, r); });
    mgtest::TempDir base("mgtest-cli-slip");
    const std::string dest = base.file("inner/dest");
    std::filesystem::create_directories(dest);
    auto run = cli({"extract", server.url("/a.zip"), "-d", dest});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(std::filesystem::exists(dest + "/fine.txt"));
    std::size_t files = 0;
    for (const auto& e : std::filesystem::recursive_directory_iterator(base.path()))
        files += e.is_regular_file();
    EXPECT_EQ(files, 1u) << run.err;
    EXPECT_FALSE(std::filesystem::exists("/abs.txt"));
}

TEST(CliFailure, SaveFromAServerWithoutRangesIsOnePlainGet) {
    const std::string zip = archiveBytes(twoFiles);
    mgtest::ScriptedHttpServer server(
        [&](const SeenRequest&) { return ScriptedReply::whole(zip); });
    mgtest::TempDir out("mgtest-cli-whole");
    auto run = cli({"save", server.url("/a.zip"), out.path()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(mgtest::readFile(out.file("a.zip")), zip);
    auto requests = server.requests();
    ASSERT_FALSE(requests.empty());
    EXPECT_FALSE(requests.back().header("Range").has_value());
    EXPECT_EQ(std::count_if(requests.begin(), requests.end(),
                            [](const SeenRequest& r) { return !r.header("Range"); }),
              1);
}

// A redirector that hands out mirrors in turn, as download sites do; the mirrors hold the
// same archive under different ETags.
TEST(CliFailure, PiecesComeFromTheMirrorTheOpenWasSentTo) {
    const std::string zip = archiveBytes(twoFiles);
    std::atomic<int> expiredAfter{1000};
    std::atomic<int> servedByA{0};
    auto mirror = [&](const char* etag, bool a) {
        return [&zip, &expiredAfter, &servedByA, etag, a](const SeenRequest& r) {
            if (a && servedByA++ >= expiredAfter)
                return ScriptedReply::error(410, "link expired");
            ScriptedReply reply = ScriptedReply::file(zip, r);
            reply.headers.emplace_back("ETag", etag);
            return reply;
        };
    };
    mgtest::ScriptedHttpServer a(mirror("\"a\"", true)), b(mirror("\"b\"", false)),
        sameAsA(mirror("\"a\"", false));
    std::vector<std::string> mirrors;
    std::atomic<std::size_t> turn{0};
    mgtest::ScriptedHttpServer redirector([&](const SeenRequest&) {
        return ScriptedReply::redirect(302, mirrors[turn++ % mirrors.size()]);
    });

    mirrors = {a.url("/a.zip"), b.url("/a.zip")};
    auto run = cli({"test", redirector.url("/get/a.zip")});
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_EQ(redirector.requests().size(), 1u);

    // The link to A expires after the open: the redirector is asked again, and a copy with
    // the same ETag serves the rest.
    mirrors = {a.url("/a.zip"), sameAsA.url("/a.zip")};
    turn = 0;
    servedByA = 0;
    expiredAfter = 1;
    run = cli({"test", redirector.url("/get/a.zip")});
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_EQ(redirector.requests().size(), 1u + 2u) << "the open, then once after the 410";
}

TEST(CliFailure, ExtractToAPlaceThatCannotBeMadeFetchesNothing) {
    const std::string zip = archiveBytes(twoFiles);
    mgtest::ScriptedHttpServer server(
        [&](const SeenRequest& r) { return ScriptedReply::file(zip, r); });
    mgtest::TempDir out("mgtest-cli-nodir");
    mgtest::writeFile(out.file("file"), "a file, not a folder");
    auto run = cli({"extract", server.url("/a.zip"), "a.txt", "-d", out.file("file/sub")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("cannot create the folder"), std::string::npos) << run.err;
    EXPECT_EQ(server.requests().size(), 1u) << "only the open's request";
}

} // namespace

namespace {

const char* largeArchive = R"(
import random
z = zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_STORED)
z.writestr("large.bin", random.Random(4).randbytes(40 * 1024 * 1024))
z.close()
)";

} // namespace

TEST(CliFailure, ASegmentThatKeepsFailingFailsTheSaveAndLeavesNoFile) {
    const std::string zip = archiveBytes(largeArchive);
    std::atomic<int> segments{0};
    mgtest::ScriptedHttpServer server([&](const SeenRequest& r) {
        ScriptedReply reply = ScriptedReply::file(zip, r);
        const std::string range = r.header("Range").value_or("");
        // The segments after the first: cut off each time, also when taken up again.
        if (reply.status == 206 && range.rfind("bytes=0-", 0) != 0 &&
            range.rfind("bytes=-", 0) != 0) {
            ++segments;
            reply.cutAfter = 1000;
        }
        return reply;
    });
    mgtest::TempDir out("mgtest-cli-segments");
    auto run = cli({"save", "-q", server.url("/a.zip"), out.file("a.zip")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("could not save " + out.file("a.zip")), std::string::npos) << run.err;
    EXPECT_TRUE(std::filesystem::is_empty(out.path())) << "a file with holes was left";
    EXPECT_GE(segments.load(), 2) << "the save ran in segments";
}

TEST(CliFailure, ASegmentCutOnceIsTakenUpWhereItStopped) {
    const std::string zip = archiveBytes(largeArchive);
    std::atomic<int> cuts{0};
    mgtest::ScriptedHttpServer server([&](const SeenRequest& r) {
        ScriptedReply reply = ScriptedReply::file(zip, r);
        if (reply.status == 206 && reply.body.size() > 1000000 && cuts++ == 0)
            reply.cutAfter = 300000;
        return reply;
    });
    mgtest::TempDir out("mgtest-cli-segments");
    auto run = cli({"save", "-q", server.url("/a.zip"), out.file("a.zip")});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(mgtest::readFile(out.file("a.zip")) == zip) << "the saved copy differs";
}
