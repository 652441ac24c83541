#include "platform/HttpSignIn.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <memory>

void applyHttpCredentials(void* easyHandle, const HttpCredentials& credentials, bool useNetrc) {
    CURL* h = easyHandle;
    if (credentials.hasServerLogin()) {
        curl_easy_setopt(h, CURLOPT_USERNAME, credentials.user.c_str());
        curl_easy_setopt(h, CURLOPT_PASSWORD, credentials.password.c_str());
    } else if (useNetrc) {
        curl_easy_setopt(h, CURLOPT_NETRC, static_cast<long>(CURL_NETRC_OPTIONAL));
    }
    // Any scheme both sides know: a Digest server must not be sent the password in clear,
    // and a server that asks for nothing is asked for nothing.
    curl_easy_setopt(h, CURLOPT_HTTPAUTH, static_cast<unsigned long>(CURLAUTH_ANY));
    if (credentials.hasProxyLogin()) {
        curl_easy_setopt(h, CURLOPT_PROXYUSERNAME, credentials.proxyUser.c_str());
        curl_easy_setopt(h, CURLOPT_PROXYPASSWORD, credentials.proxyPassword.c_str());
        curl_easy_setopt(h, CURLOPT_PROXYAUTH, static_cast<unsigned long>(CURLAUTH_ANY));
    }
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
