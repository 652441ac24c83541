// marrowglen-cli through a proxy that asks for a user name and password (an nginx forward
// proxy answering 407), and the sign-in carried by every request of a large save, which
// travels in parallel parts.
#include "CliHarness.h"
#include "NginxServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

using clitest::cliWith;

namespace {

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// "pat:proxy-pw" in Base64: the only Proxy-Authorization the proxy lets through.
const char* proxyConfig = "location / {\n"
                          "  if ($http_proxy_authorization != \"Basic cGF0OnByb3h5LXB3\") {\n"
                          "    add_header Proxy-Authenticate 'Basic realm=\"p\"' always;\n"
                          "    return 407;\n"
                          "  }\n"
                          "  proxy_pass http://$http_host;\n"
                          "}";

class CliProxy : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        www = std::make_unique<mgtest::TempDir>("mgtest-cli-pwww");
        secrets = std::make_unique<mgtest::TempDir>("mgtest-cli-psecrets");
        mgtest::runCommand({"mkdir", www->file("private")});
        mgtest::runCommand({mgtest::DebianPython, MG_SOURCE_DIR "/scripts/make-sample.py",
                            www->file("sample.zip")});
        mgtest::runCommand({"cp", www->file("sample.zip"), www->file("private/sample.zip")});
        // Larger than one part: a save fetches it in parallel parts, each signed in.
        mgtest::runCommand({"truncate", "-s", "40M", www->file("zeros.bin")});
        mgtest::runCommand({"zip", "-q", "-0", "-X", "private/big.zip", "zeros.bin"}, www->path());
        mgtest::writeFile(secrets->file("users"), "joe:{PLAIN}s3cret-pw\n");
        origin = std::make_unique<mgtest::NginxServer>(
            www->path(), "location /private/ { auth_basic \"tests\"; auth_basic_user_file " +
                             secrets->file("users") + "; }");
        proxy = std::make_unique<mgtest::NginxServer>(www->path(), proxyConfig);
    }
    static void TearDownTestSuite() {
        proxy.reset();
        origin.reset();
        secrets.reset();
        www.reset();
    }
    static std::vector<std::string> throughProxy() {
        return {"HOME=" + www->path(), "http_proxy=" + proxy->httpUrl(""),
                "NO_PROXY=", "no_proxy="};
    }

    mgtest::TempDir out{"mgtest-cli-pout"};
    static std::unique_ptr<mgtest::TempDir> www;
    static std::unique_ptr<mgtest::TempDir> secrets;
    static std::unique_ptr<mgtest::NginxServer> origin;
    static std::unique_ptr<mgtest::NginxServer> proxy;
};
std::unique_ptr<mgtest::TempDir> CliProxy::www;
std::unique_ptr<mgtest::TempDir> CliProxy::secrets;
std::unique_ptr<mgtest::NginxServer> CliProxy::origin;
std::unique_ptr<mgtest::NginxServer> CliProxy::proxy;

TEST_F(CliProxy, TheProxysSignInComesFromDashUAndAMissingOneIsNamed) {
    const std::string url = origin->httpUrl("/sample.zip");
    auto none = cliWith(throughProxy(), {"list", url}, {});
    EXPECT_EQ(none.exitCode, 3);
    EXPECT_TRUE(contains(none.err, "give them with -U USER[:PASSWORD]")) << none.err;

    auto wrong = cliWith(throughProxy(), {"list", "-U", "pat:nope", url}, {});
    EXPECT_EQ(wrong.exitCode, 3);
    EXPECT_TRUE(contains(wrong.err, "The proxy refused")) << wrong.err;
    EXPECT_FALSE(contains(wrong.err + wrong.out, "nope"));

    auto right = cliWith(throughProxy(), {"test", "-q", "-U", "pat:proxy-pw", url}, {});
    EXPECT_EQ(right.exitCode, 0) << right.err;
    EXPECT_TRUE(contains(right.out, "data/random.bin  OK")) << right.out;
    EXPECT_FALSE(proxy->accessLog().empty()) << "the requests went through the proxy";
}

TEST_F(CliProxy, EveryPartOfALargeSaveIsSignedIn) {
    auto run = cliWith(
        {"HOME=" + www->path()},
        {"save", "-u", "joe:s3cret-pw", origin->httpUrl("/private/big.zip"), out.file("big.zip")},
        {});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(
        mgtest::runCommand({"cmp", www->file("private/big.zip"), out.file("big.zip")}).exitCode, 0);
}

// Basic is the only scheme nginx offers: once that is learnt, the name and password go with
// every later request instead of each request first being refused.
TEST_F(CliProxy, OnlyTheFirstRequestIsRefusedToLearnTheScheme) {
    origin->clearAccessLog();
    auto run =
        cliWith({"HOME=" + www->path()},
                {"test", "-q", "-u", "joe:s3cret-pw", origin->httpUrl("/private/sample.zip")}, {});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto log = origin->accessLog();
    const auto refused = std::count_if(log.begin(), log.end(),
                                       [](const auto& entry) { return entry.status == 401; });
    EXPECT_EQ(refused, 1);
    EXPECT_GE(log.size(), 3u) << "the tail, refused then signed in, and the entries";
}

} // namespace
