// ~/.netrc for ftp addresses without a password: the parser's rules, and a logon with what
// the file names against pyftpdlib.
#include "remote/Netrc.h"
#include "FtpTestSupport.h"
#include "app/String.h"
#include "remote/RemoteArchiveSource.h"
#include "zip/ZipArchive.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace ftptest;

namespace {

std::string loginOf(const std::optional<NetrcLogin>& found) {
    return found ? found->login + "/" + found->password : "none";
}

TEST(Netrc, MachinesDefaultsMacrosAndQuotes) {
    const std::string text = "# comments are not special, but this one is harmless\n"
                             "machine files.example login joe password one\n"
                             "macdef init\n"
                             "machine evil.example login x password y\n"
                             "\n"
                             "machine other.example\n  login \"ann lee\"\n  password \"p w\\\"d\"\n"
                             "machine files.example login sue password two\n"
                             "default login anonymous password guest@\n";
    EXPECT_EQ(loginOf(findNetrcLogin(text, "files.example")), "joe/one");
    EXPECT_EQ(loginOf(findNetrcLogin(text, "files.example", "sue")), "sue/two");
    EXPECT_EQ(loginOf(findNetrcLogin(text, "other.example")), "ann lee/p w\"d");
    // A macro's body is not read as entries.
    EXPECT_EQ(loginOf(findNetrcLogin(text, "evil.example")), "anonymous/guest@");
    EXPECT_EQ(loginOf(findNetrcLogin(text, "unknown.example")), "anonymous/guest@");
    EXPECT_EQ(loginOf(findNetrcLogin(text, "files.example", "nobody")), "none");
    EXPECT_EQ(loginOf(findNetrcLogin("machine a login b password", "a")), "b/");
    EXPECT_EQ(loginOf(findNetrcLogin("", "a")), "none");
}

TEST(Netrc, AnFtpAddressWithoutPasswordLogsOnWithTheEntry) {
    RealFtpServer server;
    ASSERT_TRUE(server.started());
    writeFile(server.root() + "/a.zip", "not a zip, but it has a size");
    TempFolder home;
    writeFile(home.path() + "/.netrc", std::string("machine 127.0.0.1 login ") +
                                           RealFtpServer::User + " password " +
                                           RealFtpServer::Password + "\n");
    const char* saved = std::getenv("HOME");
    const std::string previous = saved ? saved : "";
    setenv("HOME", home.path().c_str(), 1);
    RemoteArchiveSource source;
    TempFolder swap;
    source.setSwapFolder(swap.path());
    String address(("ftp://127.0.0.1:" + std::to_string(server.port()) + "/a.zip").c_str());
    const bool opened = source.connect(address) && source.openRemoteFile(address);
    setenv("HOME", previous.c_str(), 1);
    EXPECT_TRUE(opened) << source.errorText();
    const auto transcript = server.transcript();
    EXPECT_NE(
        std::find(transcript.begin(), transcript.end(), std::string("USER ") + RealFtpServer::User),
        transcript.end());
    EXPECT_EQ(std::find(transcript.begin(), transcript.end(), "USER anonymous"), transcript.end());
}

} // namespace
