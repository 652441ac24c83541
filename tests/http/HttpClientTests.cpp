#include "HttpTestData.h"
#include "NginxServer.h"
#include "ScriptedHttpServer.h"
#include "platform/HttpClient.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <thread>

using namespace mgtest;
using namespace std::chrono_literals;

namespace {

class HttpClientNginx : public testing::Test {
protected:
    static void SetUpTestSuite() {
        root_ = new TempDir("mgtest-www");
        content_ = new std::string(patternBytes(3 * 1024 * 1024 + 17));
        writeFile(root_->file("big.bin"), *content_);
        writeFile(root_->file("small.txt"), "hello");
        nginx_ = new NginxServer(root_->path());
    }
    static void TearDownTestSuite() {
        delete nginx_;
        delete content_;
        delete root_;
    }
    void SetUp() override { nginx_->clearAccessLog(); }

    HttpOptions trusting() const {
        HttpOptions options;
        options.caFile = nginx_->caFile();
        return options;
    }

    static TempDir* root_;
    static std::string* content_;
    static NginxServer* nginx_;
};
TempDir* HttpClientNginx::root_;
std::string* HttpClientNginx::content_;
NginxServer* HttpClientNginx::nginx_;

TEST_F(HttpClientNginx, HeadersComeBeforeTheBody) {
    HttpClient client(trusting());
    ASSERT_TRUE(client.get(nginx_->httpUrl("/big.bin"), {"Range: bytes=10-19"}));
    EXPECT_EQ(client.status(), 206);
    EXPECT_EQ(client.header("content-range").value_or(""), "bytes 10-19/3145745");
    EXPECT_EQ(client.header("Content-Length").value_or(""), "10");
    EXPECT_TRUE(client.header("ETag").has_value());
    EXPECT_TRUE(client.header("Last-Modified").has_value());
    EXPECT_EQ(readAll(client), content_->substr(10, 10));
    EXPECT_TRUE(client.bodyComplete());
}

TEST_F(HttpClientNginx, StreamsALargeBodyThroughASmallBuffer) {
    HttpOptions options = trusting();
    options.bufferLimit = 32 * 1024;
    HttpClient client(options);
    ASSERT_TRUE(client.get(nginx_->httpUrl("/big.bin")));
    EXPECT_EQ(client.status(), 200);
    EXPECT_BYTES(readAll(client, 1000), *content_);
    EXPECT_TRUE(client.bodyComplete());
    EXPECT_LE(client.peakBuffered(), options.bufferLimit);
}

TEST_F(HttpClientNginx, KeepsOneConnectionAcrossRequests) {
    HttpClient client(trusting());
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(client.get(nginx_->httpsUrl("/big.bin"), {"Range: bytes=0-99"}));
        EXPECT_EQ(readAll(client).size(), 100u);
    }
    // A range read only in part: the short rest is drained, the connection stays.
    ASSERT_TRUE(client.get(nginx_->httpsUrl("/big.bin"), {"Range: bytes=0-1000"}));
    char byte;
    EXPECT_EQ(client.read(&byte, 1), 1u);
    ASSERT_TRUE(client.get(nginx_->httpsUrl("/small.txt")));
    EXPECT_EQ(readAll(client), "hello");
    client.finish();
    auto log = nginx_->waitForAccessLog(6);
    ASSERT_EQ(log.size(), 6u);
    for (const auto& entry : log)
        EXPECT_EQ(entry.connection, log.front().connection);
    EXPECT_EQ(log.back().connectionRequests, 6);
}

TEST_F(HttpClientNginx, HttpsVerifiesAgainstTheGivenAuthority) {
    HttpClient trusted(trusting());
    ASSERT_TRUE(trusted.get(nginx_->httpsUrl("/small.txt")));
    EXPECT_EQ(readAll(trusted), "hello");

    // Without our authority the self-signed chain is refused: no bytes, an error text.
    HttpOptions system;
    system.caFile = "/etc/ssl/certs/ca-certificates.crt";
    HttpClient untrusted(system);
    EXPECT_FALSE(untrusted.get(nginx_->httpsUrl("/small.txt")));
    EXPECT_FALSE(untrusted.errorText().empty());
    char byte;
    EXPECT_EQ(untrusted.read(&byte, 1), 0u);
}

// Sets one variable for the scope and hides the other (CURL_CA_BUNDLE wins when both are set).
class CaVariables {
public:
    CaVariables(const char* name, const std::string& value) {
        for (const char* variable : Names) {
            const char* old = std::getenv(variable);
            saved_.emplace_back(variable, old ? std::optional<std::string>(old) : std::nullopt);
            unsetenv(variable);
        }
        setenv(name, value.c_str(), 1);
    }
    ~CaVariables() {
        for (const auto& [name, value] : saved_) {
            if (value)
                setenv(name, value->c_str(), 1);
            else
                unsetenv(name);
        }
    }

private:
    static constexpr const char* Names[] = {"CURL_CA_BUNDLE", "SSL_CERT_FILE"};
    std::vector<std::pair<const char*, std::optional<std::string>>> saved_;
};

TEST_F(HttpClientNginx, TakesTheAuthorityFromTheEnvironment) {
    for (const char* variable : {"SSL_CERT_FILE", "CURL_CA_BUNDLE"}) {
        CaVariables scope(variable, nginx_->caFile());
        HttpClient client;
        EXPECT_TRUE(client.get(nginx_->httpsUrl("/small.txt"))) << variable << client.errorText();
    }
    CaVariables scope("SSL_CERT_FILE", "/etc/ssl/certs/ca-certificates.crt");
    HttpClient client;
    EXPECT_FALSE(client.get(nginx_->httpsUrl("/small.txt")));
}

TEST_F(HttpClientNginx, ReportsErrorStatusesWithoutFailing) {
    HttpClient client(trusting());
    ASSERT_TRUE(client.get(nginx_->httpUrl("/missing.zip")));
    EXPECT_EQ(client.status(), 404);
    ASSERT_TRUE(client.get(nginx_->httpUrl("/big.bin"), {"Range: bytes=999999999-"}));
    EXPECT_EQ(client.status(), 416);
}

TEST(HttpClientScripted, FollowsRedirectChainsAndTellsTheFinalAddress) {
    ScriptedHttpServer server([](const SeenRequest& request) {
        if (request.target == "/one")
            return ScriptedReply::redirect(301, "/two");
        if (request.target == "/two")
            return ScriptedReply::redirect(302, "/three?x=1");
        if (request.target == "/loop")
            return ScriptedReply::redirect(307, "/loop");
        if (request.target == "/to-ftp")
            return ScriptedReply::redirect(302, "ftp://127.0.0.1/a.zip");
        return ScriptedReply::file("payload", request);
    });
    HttpClient client;
    ASSERT_TRUE(client.get(server.url("/one"), {"Range: bytes=0-2"}));
    EXPECT_EQ(client.status(), 206);
    EXPECT_EQ(client.effectiveUrl(), server.url("/three?x=1"));
    EXPECT_EQ(readAll(client), "pay");
    // Redirect bodies are not body bytes of the final response, and the chain kept one
    // connection.
    EXPECT_EQ(server.connectionCount(), 1);

    EXPECT_FALSE(client.get(server.url("/loop")));
    EXPECT_FALSE(client.get(server.url("/to-ftp")));
}

TEST(HttpClientScripted, GoesThroughTheProxyNamedInTheEnvironment) {
    ScriptedHttpServer proxy([](const SeenRequest&) { return ScriptedReply::whole("via proxy"); });
    setenv("http_proxy", proxy.url("").c_str(), 1);
    HttpClient client;
    bool answered = client.get("http://archive.example.invalid/a.zip");
    unsetenv("http_proxy");
    ASSERT_TRUE(answered) << client.errorText();
    EXPECT_EQ(readAll(client), "via proxy");
    ASSERT_EQ(proxy.requests().size(), 1u);
    EXPECT_EQ(proxy.requests()[0].target, "http://archive.example.invalid/a.zip");
}

TEST(HttpClientScripted, ACutOffBodyIsAFailureNotAnEnd) {
    ScriptedHttpServer server([](const SeenRequest&) {
        ScriptedReply reply = ScriptedReply::whole(patternBytes(100000));
        reply.cutAfter = 40000;
        return reply;
    });
    HttpClient client;
    ASSERT_TRUE(client.get(server.url("/a.zip")));
    EXPECT_EQ(readAll(client).size(), 40000u);
    EXPECT_TRUE(client.failed());
    EXPECT_FALSE(client.bodyComplete());
}

TEST(HttpClientScripted, ASilentServerTimesOut) {
    ScriptedHttpServer server([](const SeenRequest&) {
        ScriptedReply reply;
        reply.noAnswer = true;
        return reply;
    });
    HttpOptions options;
    options.stallTimeout = 700ms;
    HttpClient client(options);
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(client.get(server.url("/a.zip")));
    auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, 600ms);
    EXPECT_LT(took, 5s);
    EXPECT_FALSE(client.errorText().empty());
}

TEST(HttpClientScripted, AbortFromAnotherThreadEndsAStalledWaitAtOnce) {
    ScriptedHttpServer server([](const SeenRequest& request) {
        if (request.target == "/ok")
            return ScriptedReply::whole("fine");
        ScriptedReply reply;
        reply.noAnswer = true;
        return reply;
    });
    HttpClient client; // the default stall time-out of 20 s must not be waited for
    std::thread canceller([&] {
        std::this_thread::sleep_for(300ms);
        client.abort();
    });
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(client.get(server.url("/stall")));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
    canceller.join();
    EXPECT_EQ(client.errorText(), "Cancelled");

    EXPECT_FALSE(client.get(server.url("/ok"))); // sticky until cleared
    client.clearAbort();
    ASSERT_TRUE(client.get(server.url("/ok")));
    EXPECT_EQ(readAll(client), "fine");
}

TEST(HttpClientScripted, RefusesConnectionsAndBadAddressesWithAText) {
    HttpOptions options;
    options.connectTimeout = 2s;
    HttpClient client(options);
    EXPECT_FALSE(client.get("http://127.0.0.1:" + std::to_string(freePort()) + "/a.zip"));
    EXPECT_FALSE(client.errorText().empty());
    EXPECT_FALSE(client.get("gopher://127.0.0.1/a.zip"));
}

} // namespace
