// An https address through a proxy that wants a sign-in: the proxy refuses the CONNECT with
// 407, and that refusal must come back as the status (so that the user is asked, or the
// command line names -U) rather than as a connection failure.
#include "ScriptedHttpServer.h"
#include "platform/HttpClient.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

using namespace mgtest;

namespace {

class EnvironmentScope {
public:
    EnvironmentScope(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name))
            saved_ = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~EnvironmentScope() {
        if (saved_)
            ::setenv(name_, saved_->c_str(), 1);
        else
            ::unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> saved_;
};

TEST(ProxyTunnelSignIn, TheProxysRefusalOfTheTunnelIsStatus407) {
    ScriptedHttpServer proxy([](const SeenRequest&) {
        ScriptedReply refused = ScriptedReply::error(407, "<html>sign in first</html>");
        refused.headers.push_back({"Proxy-Authenticate", "Basic realm=\"p\""});
        return refused;
    });
    EnvironmentScope viaProxy("https_proxy", proxy.url(""));
    EnvironmentScope noBypass("NO_PROXY", "");
    EnvironmentScope noBypassLower("no_proxy", "");

    HttpClient client;
    ASSERT_TRUE(client.get("https://127.0.0.1:9/a.zip", {"Range: bytes=0-0"}))
        << client.errorText();
    EXPECT_EQ(client.status(), 407);
    ASSERT_FALSE(proxy.requests().empty());
    EXPECT_EQ(proxy.requests().front().method, "CONNECT");

    // A refused name and password end the same way, after they were offered.
    client.setProxyCredentials("pat", "guess");
    ASSERT_TRUE(client.get("https://127.0.0.1:9/a.zip", {"Range: bytes=0-0"}))
        << client.errorText();
    EXPECT_EQ(client.status(), 407);
    EXPECT_TRUE(proxy.requests().back().header("Proxy-Authorization").has_value());
}

} // namespace
