#include "platform/CurlSupport.h"

#include "platform/HttpClient.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace curlsupport {

void setCommonOptions(CURL* h, const HttpOptions& options, char* errorBuffer) {
    curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
    // HTTP/2 where a TLS server offers it (one multiplexed connection, compressed headers);
    // plain http stays HTTP/1.1 with keep-alive.
    curl_easy_setopt(h, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_2TLS));
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, options.maxRedirects);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS,
                     static_cast<long>(options.connectTimeout.count()));
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_TCP_KEEPALIVE, 1L);
    // Large receive pieces: a long body (a save) costs far fewer calls and wake-ups.
    curl_easy_setopt(h, CURLOPT_BUFFERSIZE, static_cast<long>(options.receiveBufferSize));
    curl_easy_setopt(h, CURLOPT_USERAGENT, "Marrowglen/" MARROWGLEN_VERSION);
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorBuffer);
    errorBuffer[0] = '\0';
    const std::string ca = options.caFile.empty() ? caBundleFromEnvironment() : options.caFile;
    if (!ca.empty())
        curl_easy_setopt(h, CURLOPT_CAINFO, ca.c_str());
}

std::string trimmed(std::string_view text) {
    const char* blanks = " \t\r\n";
    const auto first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos)
        return {};
    return std::string(text.substr(first, text.find_last_not_of(blanks) - first + 1));
}

bool equalsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::string caBundleFromEnvironment() {
    for (const char* name : {"CURL_CA_BUNDLE", "SSL_CERT_FILE"}) {
        const char* value = std::getenv(name);
        if (value && *value)
            return value;
    }
    return {};
}

} // namespace curlsupport
