// marrowglen-cli on zip files on disk (local paths and file:// addresses), and against an
// nginx that asks for a user name and password (auth_basic): -u, the password question on
// a terminal, ~/.netrc, and the messages for 401.
#include "CliHarness.h"
#include "NginxServer.h"

#include <gtest/gtest.h>

#include <memory>

using clitest::cli;
using clitest::cliWith;

namespace {

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class CliLocalFiles : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        disk = std::make_unique<mgtest::TempDir>("mgtest-cli-local");
        mgtest::runCommand({mgtest::DebianPython, MG_SOURCE_DIR "/scripts/make-sample.py",
                            disk->file("sample.zip")});
        // A name that a URL must encode: a blank, "#" and "%".
        mgtest::runCommand({"cp", disk->file("sample.zip"), disk->file("my #1 100%.zip")});
    }
    static void TearDownTestSuite() { disk.reset(); }

    mgtest::TempDir out{"mgtest-cli-out"};
    static std::unique_ptr<mgtest::TempDir> disk;
};
std::unique_ptr<mgtest::TempDir> CliLocalFiles::disk;

TEST_F(CliLocalFiles, PathsAndFileAddressesListTheSameEntries) {
    const std::string expected = clitest::pythonTsv(disk->file("sample.zip"));
    for (const std::string& where :
         {disk->file("sample.zip"), std::string("./sample.zip"), std::string("sample.zip"),
          "file://" + disk->file("my%20%231%20100%25.zip"), disk->file("my #1 100%.zip")}) {
        auto run = cliWith({}, {"list", "--tsv", where}, disk->path());
        EXPECT_EQ(run.exitCode, 0) << where << ": " << run.err;
        EXPECT_EQ(run.out, expected) << where;
    }
    auto home = cliWith({"HOME=" + disk->path()}, {"test", "~/sample.zip"}, out.path());
    EXPECT_EQ(home.exitCode, 0) << home.err;
    EXPECT_TRUE(contains(home.out, "data/random.bin  OK")) << home.out;
}

TEST_F(CliLocalFiles, ExtractAndSaveMatchTheFileOnDisk) {
    auto run = cli({"extract", "-q", "file://" + disk->file("sample.zip"), "-d", out.path()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    for (const char* name : {"README.txt", "docs/guide.txt", "data/random.bin"}) {
        auto unzip = mgtest::runCommand({"unzip", "-p", disk->file("sample.zip"), name});
        EXPECT_EQ(mgtest::readFile(out.file(name)), unzip.output) << name;
    }
    auto save = cli({"save", "-q", disk->file("sample.zip"), out.file("copy.zip")});
    ASSERT_EQ(save.exitCode, 0) << save.err;
    EXPECT_EQ(mgtest::readFile(out.file("copy.zip")), mgtest::readFile(disk->file("sample.zip")));
}

TEST_F(CliLocalFiles, WhatCannotBeOpenedIsNamedWithTheReason) {
    mgtest::writeFile(out.file("empty.zip"), "");
    mgtest::runCommand({"mkfifo", out.file("pipe.zip")});
    const struct {
        std::string where, reason;
    } cases[] = {{out.file("missing.zip"), "No such file or directory"},
                 {out.path(), "not a regular file"},
                 {out.file("pipe.zip"), "not a regular file"}, // must not wait for a writer
                 {out.file("empty.zip"), "the file is empty"},
                 {"file://elsewhere/a.zip", ""}};
    for (const auto& c : cases) {
        auto run = cli({"list", c.where});
        EXPECT_NE(run.exitCode, 0) << c.where;
        EXPECT_TRUE(contains(run.err, c.reason)) << c.where << ": " << run.err;
        EXPECT_FALSE(contains(run.err, "connected to the Internet")) << run.err;
    }
}

class CliSignIn : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        www = std::make_unique<mgtest::TempDir>("mgtest-cli-www");
        secrets = std::make_unique<mgtest::TempDir>("mgtest-cli-secrets");
        mgtest::runCommand({"mkdir", www->file("private")});
        mgtest::runCommand({mgtest::DebianPython, MG_SOURCE_DIR "/scripts/make-sample.py",
                            www->file("private/sample.zip")});
        mgtest::writeFile(secrets->file("users"), "joe:{PLAIN}s3cret-pw\n");
        server = std::make_unique<mgtest::NginxServer>(
            www->path(), "location /private/ { auth_basic \"tests\"; auth_basic_user_file " +
                             secrets->file("users") + "; }");
    }
    static void TearDownTestSuite() {
        server.reset();
        secrets.reset();
        www.reset();
    }
    static std::string url() { return server->httpUrl("/private/sample.zip"); }

    mgtest::TempDir home{"mgtest-cli-home"};
    static std::unique_ptr<mgtest::TempDir> www;
    static std::unique_ptr<mgtest::TempDir> secrets;
    static std::unique_ptr<mgtest::NginxServer> server;
};
std::unique_ptr<mgtest::TempDir> CliSignIn::www;
std::unique_ptr<mgtest::TempDir> CliSignIn::secrets;
std::unique_ptr<mgtest::NginxServer> CliSignIn::server;

TEST_F(CliSignIn, RightWrongAndMissingPasswords) {
    const std::string homeEnv = "HOME=" + home.path();
    auto right = cliWith({homeEnv}, {"test", "-u", "joe:s3cret-pw", url()}, {});
    EXPECT_EQ(right.exitCode, 0) << right.err;
    EXPECT_TRUE(contains(right.out, "data/random.bin  OK")) << right.out;

    // Written in the address, they are sent the same way (and never shown).
    auto inAddress = cliWith({homeEnv}, {"list", "http://joe:s3cret-pw@" + url().substr(7)}, {});
    EXPECT_EQ(inAddress.exitCode, 0) << inAddress.err;

    auto wrong = cliWith({homeEnv}, {"list", url(), "--user", "joe:wrong-pw"}, {});
    EXPECT_EQ(wrong.exitCode, 3);
    EXPECT_TRUE(contains(wrong.err, "refused the user name and password given with -u"))
        << wrong.err;
    EXPECT_FALSE(contains(wrong.err + wrong.out, "wrong-pw"));

    auto none = cliWith({homeEnv}, {"list", url()}, {});
    EXPECT_EQ(none.exitCode, 3);
    EXPECT_TRUE(contains(none.err, "give them with -u USER[:PASSWORD]")) << none.err;

    // Without a terminal the missing password cannot be asked for: no request is made.
    server->clearAccessLog();
    auto noTerminal = cliWith({homeEnv}, {"list", "-u", "joe", url()}, {});
    EXPECT_EQ(noTerminal.exitCode, 2);
    EXPECT_TRUE(contains(noTerminal.err, "-u USER:PASSWORD")) << noTerminal.err;
    EXPECT_TRUE(server->accessLog().empty());
}

TEST_F(CliSignIn, NetrcEntryForTheHostIsUsed) {
    mgtest::writeFile(home.file(".netrc"), "machine 127.0.0.1 login joe password s3cret-pw\n");
    auto run = cliWith({"HOME=" + home.path()}, {"list", "--tsv", url()}, {});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, clitest::pythonTsv(www->file("private/sample.zip")));
}

// On a terminal, -u USER asks for the password; what is typed is not echoed. The answer is
// typed the moment the prompt shows, which once raced with echo going off and was flushed.
TEST_F(CliSignIn, PasswordIsAskedOnTheTerminalWithoutEcho) {
    const char* script = R"PY(import os, pty, select, sys
pid, fd = pty.fork()
if pid == 0:
    os.execv(sys.argv[1], sys.argv[1:])
seen = b""
def pump(until, limit=20.0):
    global seen
    while until not in seen:
        ready, _, _ = select.select([fd], [], [], limit)
        if not ready: break
        try: chunk = os.read(fd, 4096)
        except OSError: break
        if not chunk: break
        seen += chunk
pump(b"':")
os.write(fd, b"s3cret-pw\n")
pump(b"\x00never")
import time
deadline = time.monotonic() + 30
while True:
    done, status = os.waitpid(pid, os.WNOHANG)
    if done: break
    if time.monotonic() > deadline:
        os.kill(pid, 9)
        _, status = os.waitpid(pid, 0)
        seen += b"\n(still waiting for the password: killed)"
        break
    time.sleep(0.05)
sys.stdout.write(seen.decode("utf-8", "replace"))
sys.stdout.write("\nEXIT %d\n" % os.waitstatus_to_exitcode(status))
)PY";
    auto run = mgtest::runCommand(
        {mgtest::DebianPython, "-c", script, MG_CLI_PATH, "test", "-q", "-u", "joe", url()});
    EXPECT_TRUE(contains(run.output, "Enter host password for user 'joe':")) << run.output;
    EXPECT_TRUE(contains(run.output, "data/random.bin  OK")) << run.output;
    EXPECT_TRUE(contains(run.output, "EXIT 0")) << run.output;
    EXPECT_FALSE(contains(run.output, "s3cret-pw")) << run.output;
}

} // namespace
