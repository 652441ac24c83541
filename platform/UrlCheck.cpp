#include "platform/HttpClient.h"

#include <curl/curl.h>

#include <cctype>
#include <memory>
#include <strings.h>

namespace {

struct UrlDeleter {
    void operator()(CURLU* u) const { curl_url_cleanup(u); }
};

std::string trimmedCopy(const std::string& text) {
    const char* blanks = " \t\r\n\f\v";
    auto first = text.find_first_not_of(blanks);
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

bool isFileScheme(const std::string& text) {
    if (text.size() < 7)
        return false;
    for (std::size_t i = 0; i < 4; ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != "file"[i])
            return false;
    return text.compare(4, 3, "://") == 0;
}

// file:///path or file://localhost/path, with at least one character of path after "/".
bool isValidFileUrl(const std::string& text) {
    std::string rest = text.substr(7);
    if (rest.size() >= 10 && strncasecmp(rest.c_str(), "localhost/", 10) == 0)
        rest.erase(0, 9);
    return rest.size() > 1 && rest[0] == '/' && rest.find('\0') == std::string::npos;
}

} // namespace

bool isValidUrl(const std::string& url) {
    std::string text = trimmedCopy(url);
    if (isFileScheme(text))
        return isValidFileUrl(text);
    auto separator = text.find("://");
    // The parser forgives "http:///a.zip" (taking a.zip as the host); a user's typo it is.
    if (separator == std::string::npos || separator == 0 || text.size() == separator + 3 ||
        text[separator + 3] == '/')
        return false;
    std::unique_ptr<CURLU, UrlDeleter> parsed(curl_url());
    if (!parsed || curl_url_set(parsed.get(), CURLUPART_URL, text.c_str(),
                                CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK)
        return false;
    char* host = nullptr;
    if (curl_url_get(parsed.get(), CURLUPART_HOST, &host, 0) != CURLUE_OK || !host)
        return false;
    bool hasHost = *host != '\0';
    curl_free(host);
    // The parser has already refused ports that are not numbers or exceed 65535.
    char* port = nullptr;
    if (curl_url_get(parsed.get(), CURLUPART_PORT, &port, CURLU_NO_DEFAULT_PORT) == CURLUE_OK) {
        bool zero = std::string(port) == "0";
        curl_free(port);
        if (zero)
            return false;
    }
    return hasHost;
}
