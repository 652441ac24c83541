#include "ClientTestHelpers.h"
#include "ScriptedFtpServer.h"

#include <gtest/gtest.h>

using namespace ftptest;
using Lines = std::vector<std::string>;

TEST(FtpLogon, PlainLogonWalksUserPassAndChangesToRoot) {
    ScriptedFtpServer server;
    auto client = makeClient();
    ASSERT_TRUE(client->logOn(logonTo(server.port())));
    EXPECT_TRUE(client->isConnected());
    EXPECT_EQ(server.transcript(), (Lines{"USER joe", "PASS secret", "CWD /"}));
}

TEST(FtpLogon, UserAcceptedAtOnceNeedsNoPassword) {
    ScriptedFtpServer server;
    server.reply("USER", "230 Welcome");
    auto client = makeClient();
    ASSERT_TRUE(client->logOn(logonTo(server.port())));
    EXPECT_EQ(server.transcript(), (Lines{"USER joe", "CWD /"}));
}

TEST(FtpLogon, RefusedPasswordFailsWithoutLogonFailedReport) {
    ScriptedFtpServer server;
    server.reply("PASS", "530 Login incorrect");
    RecordingObserver observer;
    auto client = makeClient();
    client->attachObserver(&observer);
    EXPECT_FALSE(client->logOn(logonTo(server.port())));
    EXPECT_FALSE(observer.sawError("Logon failed."));
}

TEST(FtpLogon, AccountAskedTwiceReportsLogonFailed) {
    ScriptedFtpServer server;
    server.reply("PASS", "332 Need account");
    server.reply("ACCT", "332 Need account");
    RecordingObserver observer;
    auto client = makeClient();
    client->attachObserver(&observer);
    auto parameters = logonTo(server.port());
    parameters.account = "acc";
    EXPECT_FALSE(client->logOn(parameters));
    EXPECT_TRUE(observer.sawError("Logon failed."));
    EXPECT_EQ(server.transcript(), (Lines{"USER joe", "PASS secret", "ACCT acc"}));
}

TEST(FtpLogon, GreetingMustBePositive) {
    ScriptedFtpServer server;
    server.setGreeting("421 Too many users");
    auto client = makeClient();
    EXPECT_FALSE(client->logOn(logonTo(server.port())));
    EXPECT_TRUE(server.transcript().empty());
}

TEST(FtpLogon, EmptyUserNameIsSentAsIs) {
    ScriptedFtpServer server;
    auto client = makeClient();
    ASSERT_TRUE(client->logOn(logonTo(server.port(), "", "")));
    EXPECT_EQ(server.transcript(), (Lines{"USER ", "PASS ", "CWD /"}));
}

TEST(FtpLogon, RootDirectoryMustBeReachable) {
    ScriptedFtpServer server;
    server.reply("CWD", "550 No such directory");
    auto client = makeClient();
    EXPECT_FALSE(client->logOn(logonTo(server.port())));
}

TEST(FtpLogon, ConnectionRefusedIsReported) {
    uint16_t port;
    {
        ScriptedFtpServer gone;
        port = gone.port();
    }
    RecordingObserver observer;
    auto client = makeClient();
    client->attachObserver(&observer);
    EXPECT_FALSE(client->logOn(logonTo(port)));
    EXPECT_TRUE(observer.sawError("Connect error 0x0000006f"));
    EXPECT_FALSE(client->isConnected());
}

struct FirewallCase {
    int kind;
    uint16_t hostPort;
    Lines expected;
};

// Shown in the test's listing instead of the structure's bytes.
void PrintTo(const FirewallCase& c, std::ostream* out) {
    *out << "kind " << c.kind << ", port " << c.hostPort;
}

class FtpFirewallLogon : public testing::TestWithParam<FirewallCase> {};

// The server answers USER with 331, PASS and ACCT with 230, SITE with 331 and OPEN with 220;
// the client connects to the firewall (the scripted server) and names the real host inside.
TEST_P(FtpFirewallLogon, SendsTheKindsCommandLines) {
    const FirewallCase& c = GetParam();
    ScriptedFtpServer server;
    server.reply("SITE", "331 Site accepted, send user");
    server.reply("OPEN", "220 Connected");
    server.reply("ACCT", "230 Account ok");
    nsFTP::LogonParameters parameters;
    parameters.host = "ftp.example";
    parameters.port = c.hostPort;
    parameters.user = "u";
    parameters.password = "p";
    parameters.firewallHost = "127.0.0.1";
    parameters.firewallPort = server.port();
    parameters.firewallUser = "fu";
    parameters.firewallPassword = "fp";
    parameters.firewallKind = c.kind;
    auto client = makeClient();
    ASSERT_TRUE(client->logOn(parameters));
    Lines expected = c.expected;
    expected.push_back("CWD /");
    EXPECT_EQ(server.transcript(), expected);
}

// Kind 0 connects to the host itself; the tests above cover it.
INSTANTIATE_TEST_SUITE_P(
    AllKinds, FtpFirewallLogon,
    testing::Values(
        FirewallCase{1, 21, {"USER fu", "PASS fp", "SITE ftp.example", "USER u", "PASS p"}},
        FirewallCase{2, 21, {"USER fu", "PASS fp", "USER u@ftp.example", "PASS p"}},
        FirewallCase{3, 21, {"OPEN ftp.example", "USER u", "PASS p"}},
        FirewallCase{4, 21, {"USER fu", "PASS fp", "USER u", "PASS p"}},
        FirewallCase{5, 21, {"USER u@ftp.example", "PASS p"}},
        FirewallCase{5, 2121, {"USER u@ftp.example:2121", "PASS p"}},
        FirewallCase{6, 21, {"USER fu@ftp.example", "PASS fp", "USER u", "PASS p"}},
        FirewallCase{7, 21, {"USER u@ftp.example fu", "PASS p"}},
        FirewallCase{8, 21, {"USER u@fu@ftp.example", "PASS p@fp"}}),
    [](const testing::TestParamInfo<FirewallCase>& info) {
        return "Kind" + std::to_string(info.param.kind) + "Port" +
               std::to_string(info.param.hostPort);
    });

TEST(FtpLogon, SiteAcceptedOutrightFailsKindOne) {
    ScriptedFtpServer server;
    server.reply("SITE", "200 Site ok");
    nsFTP::LogonParameters parameters = logonTo(server.port());
    parameters.host = "ftp.example";
    parameters.port = 21;
    parameters.firewallHost = "127.0.0.1";
    parameters.firewallPort = server.port();
    parameters.firewallKind = 1;
    RecordingObserver observer;
    auto client = makeClient();
    client->attachObserver(&observer);
    EXPECT_FALSE(client->logOn(parameters));
    EXPECT_TRUE(observer.sawError("Logon failed."));
}

TEST(FtpLogon, UnknownFirewallKindIsRefused) {
    auto client = makeClient();
    nsFTP::LogonParameters parameters = logonTo(21);
    parameters.firewallKind = 9;
    EXPECT_FALSE(client->logOn(parameters));
}
