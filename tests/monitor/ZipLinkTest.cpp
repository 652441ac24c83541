#include "monitor/ZipLink.h"
#include "MonitorTestSupport.h"
#include "NginxServer.h"
#include "ScriptedHttpServer.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>

using namespace std::chrono_literals;
using monitor::isZipLink;

namespace {

const std::string kZipBytes = std::string("PK\x03\x04", 4) + std::string(4096, 'z');

struct CountingProbe {
    bool answer = false;
    int calls = 0;
    monitor::SignatureProbe probe() {
        return [this](const String&, std::chrono::milliseconds) {
            ++calls;
            return answer;
        };
    }
};

// A dead link is not announced, whatever its name; only a host that is never contacted is
// judged by the name.
TEST(ZipLink, TheServerDecidesAlsoForZipNames) {
    CountingProbe server;
    const char* const zipNames[] = {"http://h.example/a.zip", "HTTPS://h.example/A.ZIP",
                                    "ftp://h.example/dir/b.Zip", "http://h.example/7zip"};
    for (const char* link : zipNames)
        EXPECT_FALSE(isZipLink(link, server.probe())) << link;
    EXPECT_EQ(server.calls, 4);
    server.answer = true;
    for (const char* link : zipNames)
        EXPECT_TRUE(isZipLink(link, server.probe())) << link;
    server.answer = false;
    EXPECT_TRUE(isZipLink("http://127.0.0.1/local.zip", server.probe()));
    EXPECT_EQ(server.calls, 8);
}

TEST(ZipLink, OtherTextsAreNotLinks) {
    CountingProbe server;
    server.answer = true;
    for (const char* text : {"just words", "mailto:someone@h.example.zip", "file:///tmp/a.zip",
                             "gopher://h.example/a.zip", "http://", "http:// /a.zip", ""})
        EXPECT_FALSE(isZipLink(text, server.probe())) << text;
    EXPECT_EQ(server.calls, 0);
}

TEST(ZipLink, OnlyTheFirstBytesTellWhenTheNameDoesNot) {
    CountingProbe server;
    EXPECT_FALSE(isZipLink("http://h.example/a.zip?x=1", server.probe()));
    EXPECT_FALSE(isZipLink("http://h.example/get/archive", server.probe()));
    EXPECT_EQ(server.calls, 2);
    server.answer = true;
    EXPECT_TRUE(isZipLink("http://h.example/get/archive", server.probe()));
    const monitor::SignatureProbe throwing = [](const String&, std::chrono::milliseconds) -> bool {
        throw std::runtime_error("read failed");
    };
    EXPECT_FALSE(isZipLink("http://h.example/get/archive", throwing));
}

TEST(ZipLink, PrivateHostsAreJudgedByNameAlone) {
    CountingProbe server;
    server.answer = true;
    for (const char* link :
         {"http://127.0.0.1/get", "http://localhost:8080/get", "http://LOCALHOST./get",
          "http://10.1.2.3/get", "http://172.16.5.4/get", "http://192.168.0.1/get",
          "http://169.254.169.254/latest/meta-data", "http://0x7f.1/get", "http://2130706433/get",
          "http://[::1]/get", "http://[fe80::1]/get", "http://[fd00::5]:81/get",
          "http://[::ffff:10.0.0.1]/get", "ftp://user:pw@10.0.0.9/get", "http://0.0.0.0/get"})
        EXPECT_FALSE(isZipLink(link, server.probe())) << link;
    EXPECT_EQ(server.calls, 0);
    EXPECT_TRUE(isZipLink("http://93.184.216.34/get", server.probe()));
    EXPECT_TRUE(isZipLink("http://127.0.0.1/get", server.probe(), 1s, true)); // tests only
}

TEST(ZipLink, HostOfAddressDropsCredentialsPortAndCase) {
    EXPECT_EQ(monitor::hostOfAddress("http://user:pw@Host.Example:8080/a"), "host.example");
    EXPECT_EQ(monitor::hostOfAddress("http://[::1]:80/x"), "::1");
    EXPECT_EQ(monitor::hostOfAddress("ftp://h.example/x"), "h.example");
    EXPECT_TRUE(monitor::resolvesToPrivateAddress("localhost"));
}

class ProbeAgainstNginx : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir = new mgtest::TempDir("mg-monitor-www");
        mgtest::writeFile(dir->file("archive"), kZipBytes);
        mgtest::writeFile(dir->file("page.html"), "<html>not a zip</html>");
        nginx = new mgtest::NginxServer(dir->path());
        // The probe trusts what the curl tool would: point both variables at the test CA.
        for (const char* name : {"CURL_CA_BUNDLE", "SSL_CERT_FILE"}) {
            if (const char* old = std::getenv(name))
                savedCa.emplace_back(name, old);
            setenv(name, nginx->caFile().c_str(), 1);
        }
    }
    static void TearDownTestSuite() {
        for (const char* name : {"CURL_CA_BUNDLE", "SSL_CERT_FILE"})
            unsetenv(name);
        for (const auto& [name, value] : savedCa)
            setenv(name.c_str(), value.c_str(), 1);
        savedCa.clear();
        delete nginx;
        delete dir;
    }
    static bool probe(const String& url, std::chrono::milliseconds bound = 3s) {
        return monitor::probeZipSignature(url, bound, true);
    }
    static mgtest::TempDir* dir;
    static mgtest::NginxServer* nginx;
    static std::vector<std::pair<std::string, std::string>> savedCa;
};

std::vector<std::pair<std::string, std::string>> ProbeAgainstNginx::savedCa;
mgtest::TempDir* ProbeAgainstNginx::dir = nullptr;
mgtest::NginxServer* ProbeAgainstNginx::nginx = nullptr;

TEST_F(ProbeAgainstNginx, RecognisesAZipWithoutItsNameAndReadsOnlyFourBytes) {
    nginx->clearAccessLog();
    EXPECT_TRUE(probe(nginx->httpUrl("/archive")));
    const auto log = nginx->waitForAccessLog(1);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].range, "bytes=0-3");
    EXPECT_LE(log[0].bytesSent, 4);
    EXPECT_TRUE(probe(nginx->httpsUrl("/archive")));
}

TEST_F(ProbeAgainstNginx, OtherFilesAndMissingOnesAreNotZips) {
    EXPECT_FALSE(probe(nginx->httpUrl("/page.html")));
    EXPECT_FALSE(probe(nginx->httpUrl("/missing")));
    EXPECT_FALSE(isZipLink(nginx->httpUrl("/missing.zip"), probe, 3s, true)); // a dead link
    EXPECT_FALSE(probe(nginx->httpsUrl("/page.html")));
    // Without the allowance a loopback server is never contacted. nginx writes a request's
    // log line before it reads the next request, so once the marker probe that follows is
    // logged, a request of the refused probe would be logged too.
    EXPECT_FALSE(monitor::probeZipSignature(String(nginx->httpUrl("/archive?private")), 3s, false));
    EXPECT_TRUE(probe(nginx->httpUrl("/archive?marker")));
    const auto logged = [](const std::vector<mgtest::AccessLogEntry>& log, const char* target) {
        return std::any_of(log.begin(), log.end(),
                           [target](const auto& e) { return e.target == target; });
    };
    std::vector<mgtest::AccessLogEntry> log;
    EXPECT_TRUE(mgtest::waitUntil([&] {
        log = nginx->accessLog();
        return logged(log, "/archive?marker");
    }));
    EXPECT_FALSE(logged(log, "/archive?private"));
}

TEST(ProbeAgainstScriptedServer, GivesUpOnASilentServerWithinItsBound) {
    mgtest::ScriptedHttpServer silent([](const mgtest::SeenRequest&) {
        mgtest::ScriptedReply reply;
        reply.noAnswer = true;
        return reply;
    });
    const auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(monitor::probeZipSignature(String(silent.url("/get")), 1s, true));
    EXPECT_LT(std::chrono::steady_clock::now() - started, 3s);
}

TEST(ProbeAgainstScriptedServer, StopsAfterTheSignatureWhenRangesAreIgnored) {
    const std::string big = std::string("PK\x03\x04", 4) + std::string(4 << 20, 'z');
    mgtest::ScriptedHttpServer server(
        [&big](const mgtest::SeenRequest&) { return mgtest::ScriptedReply::whole(big); });
    const auto started = std::chrono::steady_clock::now();
    EXPECT_TRUE(monitor::probeZipSignature(String(server.url("/get")), 3s, true));
    EXPECT_LT(std::chrono::steady_clock::now() - started, 2s);
}

TEST(ProbeAgainstScriptedServer, DoesNotFollowRedirects) {
    mgtest::ScriptedHttpServer server([](const mgtest::SeenRequest& request) {
        if (request.target == "/moved")
            return mgtest::ScriptedReply::redirect(302, "/archive");
        return mgtest::ScriptedReply::file(kZipBytes, request);
    });
    EXPECT_FALSE(monitor::probeZipSignature(String(server.url("/moved")), 3s, true));
    EXPECT_EQ(server.requests().size(), 1u);
}

TEST(ProbeAgainstScriptedServer, LeavesTheLinksCredentialsAtHome) {
    mgtest::ScriptedHttpServer server([](const mgtest::SeenRequest& request) {
        return mgtest::ScriptedReply::file(kZipBytes, request);
    });
    std::string url = server.url("/get");
    url.insert(url.find("://") + 3, "user:secret@");
    EXPECT_TRUE(monitor::probeZipSignature(String(url), 3s, true));
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_FALSE(server.requests()[0].header("Authorization").has_value());
    EXPECT_EQ(server.requests()[0].header("Range"), "bytes=0-3");
}

TEST(ProbeOverFtp, ReadsTheSignatureAnonymously) {
    mgtest::TempDir root("mg-monitor-ftp");
    mgtest::writeFile(root.file("archive"), kZipBytes);
    mgtest::writeFile(root.file("notes.txt"), "plain text");
    const int port = mgtest::freePort();
    mgtest::ChildProcess server({mgtest::DebianPython, "-m", "pyftpdlib", "-i", "127.0.0.1", "-p",
                                 std::to_string(port), "-d", root.path()});
    ASSERT_TRUE(mgtest::waitForPort(port, 5s));
    const std::string base = "ftp://127.0.0.1:" + std::to_string(port);
    EXPECT_TRUE(monitor::probeZipSignature(String(base + "/archive"), 3s, true));
    EXPECT_FALSE(monitor::probeZipSignature(String(base + "/notes.txt"), 3s, true));
    EXPECT_FALSE(monitor::probeZipSignature(String(base + "/missing"), 3s, true));
}

} // namespace
