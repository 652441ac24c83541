#include "platform/HttpClient.h"

#include "platform/CurlSupport.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

using namespace curlsupport;

// Headers are only a handful of lines; a server that sends more is not one we talk to.
constexpr std::size_t MaxHeaderBytes = 256 * 1024;
constexpr std::size_t MaxHeaderCount = 200;
// How long an idle wait lasts before the abort flag and the stall clock are looked at again
// (an abort also wakes the wait at once).
constexpr std::chrono::milliseconds PollSlice{250};

bool isFollowedRedirect(long status) {
    return status >= 300 && status < 400 && status != 304 && status != 305 && status != 306;
}

} // namespace

void initHttpGlobal() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct HttpClient::Handles {
    std::unique_ptr<CURLM, MultiDeleter> multi{curl_multi_init()};
    std::unique_ptr<CURL, EasyDeleter> easy{curl_easy_init()};
    std::unique_ptr<curl_slist, ListDeleter> headerList;
    char errorBuffer[CURL_ERROR_SIZE] = {};
};

HttpClient::HttpClient(HttpOptions options)
    : options_(std::move(options)), handles_((initHttpGlobal(), std::make_unique<Handles>())) {}

HttpClient::~HttpClient() {
    detach();
}

std::optional<std::string> HttpClient::header(std::string_view name) const {
    for (const auto& [key, value] : headers_) {
        if (equalsNoCase(key, name))
            return value;
    }
    return std::nullopt;
}

bool HttpClient::get(const std::string& url, const std::vector<std::string>& extraHeaders) {
    finish();
    headersReady_ = done_ = failed_ = paused_ = false;
    errorText_.clear();
    status_ = pendingStatus_ = 0;
    headers_.clear();
    headerBytes_ = bodyReceived_ = 0;
    effectiveUrl_ = url;
    if (abort_) {
        fail("Cancelled");
        return false;
    }
    if (!handles_->multi || !handles_->easy) {
        fail("The HTTP library could not be initialised");
        return false;
    }
    applyOptions(url, extraHeaders);
    if (curl_multi_add_handle(handles_->multi.get(), handles_->easy.get()) != CURLM_OK) {
        fail("The request could not be started");
        return false;
    }
    attached_ = true;
    pumpUntil(Wait::Headers, options_.stallTimeout);
    if (!headersReady_ && !failed_)
        fail("No response from the server");
    // A body cut off after the headers still counts as a response: its bytes are read,
    // then the failure shows as a short read.
    return headersReady_;
}

void HttpClient::applyOptions(const std::string& url,
                              const std::vector<std::string>& extraHeaders) {
    CURL* h = handles_->easy.get();
    // A reset keeps the connection cache (in the multi handle) and the TLS session cache.
    curl_easy_reset(h);
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    setCommonOptions(h, options_, handles_->errorBuffer);
    curl_easy_setopt(h, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &HttpClient::onHeader);
    curl_easy_setopt(h, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &HttpClient::onBody);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &HttpClient::onProgress);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, this);
    applyCredentials(url);
    curl_slist* list = nullptr;
    for (const auto& line : extraHeaders)
        list = curl_slist_append(list, line.c_str());
    handles_->headerList.reset(list);
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, list);
}

void HttpClient::setCredentials(std::string user, std::string password, std::string host) {
    credentials_.user = std::move(user);
    credentials_.password = std::move(password);
    credentials_.host = std::move(host);
    credentials_.serverBasicOnly = false;
}

void HttpClient::setProxyCredentials(std::string user, std::string password) {
    credentials_.proxyUser = std::move(user);
    credentials_.proxyPassword = std::move(password);
    credentials_.proxyBasicOnly = false;
}

void HttpClient::learnSchemes() {
    const bool proxy = pendingStatus_ == 407;
    std::vector<std::string> offers;
    for (const auto& [key, value] : headers_) {
        if (equalsNoCase(key, proxy ? "Proxy-Authenticate" : "WWW-Authenticate"))
            offers.push_back(value);
    }
    (proxy ? credentials_.proxyBasicOnly : credentials_.serverBasicOnly) = offersBasicOnly(offers);
}

void HttpClient::applyCredentials(const std::string& url) {
    applyHttpCredentials(handles_->easy.get(), url, credentials_, options_.useNetrc);
}

std::size_t HttpClient::read(void* buffer, std::size_t n) {
    auto* out = static_cast<char*>(buffer);
    std::size_t got = 0;
    while (got < n) {
        if (buffered() == 0) {
            if (!attached_ || done_ || failed_)
                break;
            pumpUntil(Wait::Body, options_.stallTimeout);
            if (buffered() == 0)
                break;
        }
        std::size_t take = std::min(n - got, buffered());
        std::memcpy(out + got, body_.data() + bodyStart_, take);
        bodyStart_ += take;
        got += take;
        if (bodyStart_ == body_.size()) {
            body_.clear();
            bodyStart_ = 0;
        }
    }
    return got;
}

void HttpClient::finish() {
    if (!attached_)
        return;
    // Reading a short remainder to its end is cheaper than a new connection (a new TLS
    // handshake, for https); the engine's ranges overshoot by one byte.
    auto contentLength = header("Content-Length");
    std::size_t left = options_.drainLimit + 1;
    if (contentLength) {
        unsigned long long total = std::strtoull(contentLength->c_str(), nullptr, 10);
        left = total > bodyReceived_ ? total - bodyReceived_ + buffered() : buffered();
    }
    std::size_t drained = 0;
    while (headersReady_ && !done_ && !failed_ && !abort_ && left <= options_.drainLimit &&
           drained <= options_.drainLimit) {
        drained += buffered();
        body_.clear();
        bodyStart_ = 0;
        pumpUntil(Wait::Body, std::min(options_.stallTimeout, std::chrono::milliseconds(2000)));
    }
    detach();
}

void HttpClient::abort() {
    abort_ = true;
    if (handles_->multi)
        curl_multi_wakeup(handles_->multi.get());
}

void HttpClient::clearAbort() {
    abort_ = false;
}

void HttpClient::pumpUntil(Wait what, std::chrono::milliseconds stallLimit) {
    lastByte_ = std::chrono::steady_clock::now();
    auto satisfied = [&] { return what == Wait::Headers ? headersReady_ : buffered() > 0; };
    while (attached_ && !satisfied() && !done_ && !failed_)
        pumpOnce(stallLimit);
}

void HttpClient::pumpOnce(std::chrono::milliseconds stallLimit) {
    if (abort_) {
        fail("Cancelled");
        detach();
        return;
    }
    std::size_t before = headerBytes_ + bodyReceived_;
    if (paused_ && buffered() < options_.bufferLimit) {
        paused_ = false;
        curl_easy_pause(handles_->easy.get(), CURLPAUSE_CONT); // may deliver body at once
    }
    int running = 0;
    curl_multi_perform(handles_->multi.get(), &running);
    collectFinished();
    // Something arrived: let the caller look before waiting again.
    if (done_ || failed_ || headerBytes_ + bodyReceived_ != before)
        return;
    auto idle = std::chrono::steady_clock::now() - lastByte_;
    if (idle >= stallLimit) {
        fail("The server sent nothing for " + std::to_string(stallLimit.count()) + " ms");
        detach();
        return;
    }
    auto wait = std::min<std::chrono::milliseconds>(
        PollSlice, std::chrono::duration_cast<std::chrono::milliseconds>(stallLimit - idle) +
                       std::chrono::milliseconds(1));
    curl_multi_poll(handles_->multi.get(), nullptr, 0, static_cast<int>(wait.count()), nullptr);
}

void HttpClient::collectFinished() {
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(handles_->multi.get(), &left)) {
        if (message->msg != CURLMSG_DONE)
            continue;
        done_ = true;
        CURLcode result = message->data.result;
        if (result == CURLE_ABORTED_BY_CALLBACK && abort_) {
            fail("Cancelled");
        } else if (result != CURLE_OK && proxyRefusedTunnel()) {
            // An https request through a proxy that wants a sign-in: the proxy's 407 to
            // CONNECT is the answer, as a 407 to a plain http request is.
            status_ = 407;
            headersReady_ = true;
        } else if (result != CURLE_OK) {
            const char* detail = handles_->errorBuffer;
            fail(*detail ? std::string(detail) : std::string(curl_easy_strerror(result)));
        } else if (!headersReady_) {
            // A response without a body and without a closing blank line seen by us.
            curl_easy_getinfo(handles_->easy.get(), CURLINFO_RESPONSE_CODE, &status_);
            headersReady_ = status_ != 0;
        }
    }
}

bool HttpClient::proxyRefusedTunnel() const {
    long connectCode = 0;
    curl_easy_getinfo(handles_->easy.get(), CURLINFO_HTTP_CONNECTCODE, &connectCode);
    return connectCode == 407 && !headersReady_;
}

void HttpClient::fail(std::string text) {
    if (!failed_)
        errorText_ = std::move(text);
    failed_ = true;
}

void HttpClient::detach() {
    if (attached_)
        curl_multi_remove_handle(handles_->multi.get(), handles_->easy.get());
    attached_ = false;
    paused_ = false;
    body_.clear();
    bodyStart_ = 0;
}

std::size_t HttpClient::onHeader(char* data, std::size_t size, std::size_t count, void* self) {
    auto* client = static_cast<HttpClient*>(self);
    std::size_t length = size * count;
    client->headerBytes_ += length;
    if (client->headerBytes_ > MaxHeaderBytes) {
        client->fail("The server's response headers are too long");
        return 0;
    }
    client->lastByte_ = std::chrono::steady_clock::now();
    client->takeHeaderLine(std::string_view(data, length));
    return length;
}

void HttpClient::takeHeaderLine(std::string_view line) {
    if (line.rfind("HTTP/", 0) == 0) {
        // A new response begins (after an interim 1xx or a redirect that is followed).
        headers_.clear();
        auto space = line.find(' ');
        pendingStatus_ =
            space == std::string_view::npos ? 0 : std::strtol(line.data() + space + 1, nullptr, 10);
        return;
    }
    std::string text = trimmed(line);
    if (text.empty()) {
        bool interim = pendingStatus_ >= 100 && pendingStatus_ < 200;
        bool redirected = isFollowedRedirect(pendingStatus_) && header("Location").has_value();
        if (!interim && !redirected) {
            // libcurl may answer a sign-in challenge with a second request on its own: the
            // challenge is the response only when its body comes or the transfer ends.
            headersReady_ = !isSignInChallenge(pendingStatus_);
            if (!headersReady_)
                learnSchemes();
            status_ = pendingStatus_;
            char* url = nullptr;
            if (curl_easy_getinfo(handles_->easy.get(), CURLINFO_EFFECTIVE_URL, &url) == CURLE_OK &&
                url)
                effectiveUrl_ = url;
        }
        return;
    }
    auto colon = text.find(':');
    if (colon == std::string::npos || headers_.size() >= MaxHeaderCount)
        return;
    headers_.emplace_back(trimmed(std::string_view(text).substr(0, colon)),
                          trimmed(std::string_view(text).substr(colon + 1)));
}

std::size_t HttpClient::onBody(char* data, std::size_t size, std::size_t count, void* self) {
    auto* client = static_cast<HttpClient*>(self);
    std::size_t length = size * count;
    if (client->abort_)
        return 0;
    if (client->buffered() > 0 && client->buffered() + length > client->options_.bufferLimit) {
        client->paused_ = true;
        return CURL_WRITEFUNC_PAUSE;
    }
    if (client->bodyStart_ > 0) {
        client->body_.erase(client->body_.begin(),
                            client->body_.begin() + static_cast<long>(client->bodyStart_));
        client->bodyStart_ = 0;
    }
    client->headersReady_ = true;
    client->body_.insert(client->body_.end(), data, data + length);
    client->bodyReceived_ += length;
    client->peakBuffered_ = std::max(client->peakBuffered_, client->buffered());
    client->lastByte_ = std::chrono::steady_clock::now();
    return length;
}

int HttpClient::onProgress(void* self, long long, long long, long long, long long) {
    return static_cast<HttpClient*>(self)->abort_ ? 1 : 0;
}
