// A server that accepts only Digest sign-in (RFC 7616, MD5, qop=auth), checked here in full:
// the client must answer its challenge with the right digest, never send the password itself,
// and fail plainly with 401 on a wrong password.
#include "ScriptedHttpServer.h"
#include "platform/HttpClient.h"

#include <openssl/evp.h>

#include <gtest/gtest.h>

#include <map>
#include <string>

using namespace mgtest;

namespace {

const std::string Realm = "digest-tests";
const std::string Nonce = "5f2d0c8e1b7a4c3d9e6f";
const std::string Content = "0123456789abcdefghij";

std::string md5Hex(const std::string& text) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(text.data(), text.size(), digest, &length, EVP_md5(), nullptr);
    static const char* hex = "0123456789abcdef";
    std::string out;
    for (unsigned int i = 0; i < length; ++i) {
        out += hex[digest[i] >> 4];
        out += hex[digest[i] & 15];
    }
    return out;
}

// The name="value" (or name=value) pairs after "Digest ".
std::map<std::string, std::string> digestFields(const std::string& header) {
    std::map<std::string, std::string> fields;
    std::size_t at = header.find(' ');
    while (at != std::string::npos && at < header.size()) {
        const std::size_t nameStart = header.find_first_not_of(" ,", at);
        const std::size_t equals = header.find('=', nameStart);
        if (nameStart == std::string::npos || equals == std::string::npos)
            break;
        const std::string name = header.substr(nameStart, equals - nameStart);
        std::size_t valueEnd;
        std::string value;
        if (header[equals + 1] == '"') {
            valueEnd = header.find('"', equals + 2);
            value = header.substr(equals + 2, valueEnd - equals - 2);
            ++valueEnd;
        } else {
            valueEnd = header.find(',', equals);
            value =
                header.substr(equals + 1, valueEnd == std::string::npos ? std::string::npos
                                                                        : valueEnd - equals - 1);
        }
        fields[name] = value;
        at = valueEnd;
    }
    return fields;
}

bool validDigest(const SeenRequest& request, const std::string& password) {
    const auto header = request.header("Authorization");
    if (!header || header->rfind("Digest ", 0) != 0)
        return false;
    auto f = digestFields(*header);
    const std::string ha1 = md5Hex(f["username"] + ":" + Realm + ":" + password);
    const std::string ha2 = md5Hex(request.method + ":" + f["uri"]);
    const std::string expected =
        md5Hex(ha1 + ":" + Nonce + ":" + f["nc"] + ":" + f["cnonce"] + ":auth:" + ha2);
    return f["username"] == "joe" && f["realm"] == Realm && f["nonce"] == Nonce &&
           f["uri"] == request.target && f["qop"] == "auth" && f["response"] == expected;
}

ScriptedHttpServer::Handler digestServer() {
    return [](const SeenRequest& request) {
        if (validDigest(request, "s3cret-pw"))
            return ScriptedReply::file(Content, request);
        ScriptedReply refused = ScriptedReply::error(401, "<html>sign in</html>");
        refused.headers.push_back({"WWW-Authenticate", "Digest realm=\"" + Realm + "\", nonce=\"" +
                                                           Nonce + "\", qop=\"auth\""});
        return refused;
    };
}

TEST(DigestSignIn, TheRightPasswordAnswersTheChallengeWithoutEverSendingIt) {
    ScriptedHttpServer server(digestServer());
    HttpClient client;
    client.setCredentials("joe", "s3cret-pw");
    for (int i = 0; i < 2; ++i) { // the second request too, on a kept connection
        ASSERT_TRUE(client.get(server.url("/a.zip"), {"Range: bytes=2-5"}));
        EXPECT_EQ(client.status(), 206);
        char body[16] = {};
        EXPECT_EQ(client.read(body, sizeof body), 4u);
        EXPECT_EQ(std::string(body, 4), "2345");
    }
    for (const SeenRequest& seen : server.requests()) {
        for (const auto& [name, value] : seen.headers)
            EXPECT_EQ(value.find("s3cret"), std::string::npos) << name << ": " << value;
    }
}

TEST(DigestSignIn, AWrongPasswordEndsWithTheServersRefusal) {
    ScriptedHttpServer server(digestServer());
    HttpClient client;
    client.setCredentials("joe", "guess");
    ASSERT_TRUE(client.get(server.url("/a.zip"), {"Range: bytes=2-5"}));
    EXPECT_EQ(client.status(), 401);
    EXPECT_TRUE(client.header("WWW-Authenticate").has_value());
    // Tried once with the challenge, then left alone: no loop of refused requests.
    EXPECT_EQ(server.requests().size(), 2u);
}

} // namespace
