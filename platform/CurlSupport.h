// What the libcurl users share: owning handles, the CA bundle the curl tool would use, and
// the small text helpers their header parsers need.
#pragma once

#include <curl/curl.h>

#include <memory>
#include <string>
#include <string_view>

struct HttpOptions;

namespace curlsupport {

struct EasyDeleter {
    void operator()(CURL* h) const { curl_easy_cleanup(h); }
};
struct MultiDeleter {
    void operator()(CURLM* h) const { curl_multi_cleanup(h); }
};
struct ListDeleter {
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};
using Easy = std::unique_ptr<CURL, EasyDeleter>;
using Multi = std::unique_ptr<CURLM, MultiDeleter>;
using List = std::unique_ptr<curl_slist, ListDeleter>;

// The options every transfer of ours takes: GET over http or https only, HTTP/2 where a TLS
// server offers it, redirects followed within the options' limit, time-outs, the receive
// buffer, the user agent, the CA bundle and the buffer that libcurl's error text goes to.
void setCommonOptions(CURL* h, const HttpOptions& options, char* errorBuffer);

// Without blanks (space, tab, CR, LF) at either end.
std::string trimmed(std::string_view text);
bool equalsNoCase(std::string_view a, std::string_view b);
// The CA bundle named by CURL_CA_BUNDLE or SSL_CERT_FILE, as the curl tool reads them:
// libcurl itself does not look at these variables. Empty when neither is set.
std::string caBundleFromEnvironment();

} // namespace curlsupport
