#include "platform/HttpSignIn.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <memory>
#include <string_view>

void applyHttpCredentials(void* easyHandle, const std::string& url,
                          const HttpCredentials& credentials, bool useNetrc) {
    CURL* h = easyHandle;
    const bool forThisHost = credentials.host.empty() || httpHostOf(url) == credentials.host;
    if (credentials.hasServerLogin() && forThisHost) {
        curl_easy_setopt(h, CURLOPT_USERNAME, credentials.user.c_str());
        curl_easy_setopt(h, CURLOPT_PASSWORD, credentials.password.c_str());
    } else if (useNetrc) {
        curl_easy_setopt(h, CURLOPT_NETRC, static_cast<long>(CURL_NETRC_OPTIONAL));
    }
    // Any scheme both sides know: a Digest server must not be sent the password in clear,
    // and a server that asks for nothing is asked for nothing.
    curl_easy_setopt(h, CURLOPT_HTTPAUTH,
                     credentials.serverBasicOnly ? CURLAUTH_BASIC : CURLAUTH_ANY);
    if (credentials.hasProxyLogin()) {
        curl_easy_setopt(h, CURLOPT_PROXYUSERNAME, credentials.proxyUser.c_str());
        curl_easy_setopt(h, CURLOPT_PROXYPASSWORD, credentials.proxyPassword.c_str());
        curl_easy_setopt(h, CURLOPT_PROXYAUTH,
                         credentials.proxyBasicOnly ? CURLAUTH_BASIC : CURLAUTH_ANY);
    }
}

namespace {

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) ==
                      std::tolower(static_cast<unsigned char>(b));
           });
}

} // namespace

bool offersBasicOnly(const std::vector<std::string>& headerValues) {
    // One header may carry several challenges ("Basic realm=x, Digest ..."): any other
    // scheme's name in it counts as an offer of that scheme.
    auto basicAlone = [](const std::string& value) {
        if (!startsWithNoCase(value, "Basic"))
            return false;
        for (const char* other : {"Digest", "Negotiate", "NTLM", "Bearer"}) {
            for (std::size_t at = 0; at + 1 < value.size(); ++at) {
                if (startsWithNoCase(std::string_view(value).substr(at), other))
                    return false;
            }
        }
        return true;
    };
    return !headerValues.empty() &&
           std::all_of(headerValues.begin(), headerValues.end(), basicAlone);
}

std::string httpHostOf(const std::string& url) {
    struct UrlDeleter {
        void operator()(CURLU* u) const { curl_url_cleanup(u); }
    };
    std::unique_ptr<CURLU, UrlDeleter> parsed(curl_url());
    if (!parsed || curl_url_set(parsed.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK)
        return {};
    char* host = nullptr;
    if (curl_url_get(parsed.get(), CURLUPART_HOST, &host, 0) != CURLUE_OK || host == nullptr)
        return {};
    std::string text(host);
    curl_free(host);
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}
