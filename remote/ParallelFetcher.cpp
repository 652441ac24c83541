#include "remote/ParallelFetcher.h"

#include "platform/CurlSupport.h"
#include "remote/ContentRange.h"

#include <curl/curl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <vector>

namespace {

using namespace curlsupport;

constexpr std::size_t MaxHeaderBytes = 256 * 1024;

// A header line "Name: value" of the given name, in any case.
bool startsNoCase(std::string_view line, std::string_view name) {
    return line.size() > name.size() && line[name.size()] == ':' &&
           equalsNoCase(line.substr(0, name.size()), name);
}

std::string rangeText(int64_t first, int64_t end) {
    return "Range: bytes=" + std::to_string(first) + "-" + std::to_string(end - 1);
}

} // namespace

struct ParallelFetcher::Handles {
    std::unique_ptr<CURLM, MultiDeleter> multi{curl_multi_init()};
};

struct ParallelFetcher::Transfer {
    ParallelFetcher* owner = nullptr;
    int id = 0;
    std::unique_ptr<CURL, EasyDeleter> easy{curl_easy_init()};
    std::unique_ptr<curl_slist, ListDeleter> headerList;
    char errorBuffer[CURL_ERROR_SIZE] = {};
    int64_t first = 0;
    int64_t end = 0;
    int64_t next = 0; // offset of the next body byte to come
    int fd = -1;
    int64_t fileOffset = 0;
    // Received pieces not yet taken; the first is taken from `frontTaken` on.
    std::deque<std::vector<char>> pieces;
    std::size_t frontTaken = 0;
    std::size_t heldBytes = 0;
    bool attached = false;
    bool paused = false;
    bool checked = false; // the final answer's headers were found sound
    bool done = false;
    bool failed = false;
    SourceError error = SourceError::None;
    std::string errorText;
    long pendingStatus = 0;
    std::size_t headerBytes = 0;
    std::string contentRange, etag, lastModified, contentLength;
    std::chrono::steady_clock::time_point lastByte = std::chrono::steady_clock::now();

    std::size_t held() const { return heldBytes; }
    bool fail(SourceError why, std::string text) {
        if (!failed) {
            error = why;
            errorText = std::move(text);
        }
        failed = true;
        return false;
    }
    bool checkAnswer();
    void takeHeaderLine(std::string_view line);
};

// The answer must be the part asked for of the version seen at open.
bool ParallelFetcher::Transfer::checkAnswer() {
    const FetchTarget& target = owner->target_;
    const bool otherVersion = (!etag.empty() && !target.etag.empty() && etag != target.etag) ||
                              (!lastModified.empty() && !target.lastModified.empty() &&
                               lastModified != target.lastModified);
    auto range = parseContentRange(contentRange);
    const long status = pendingStatus;
    const bool otherLength =
        (range && range->total != ContentRange::Unknown && range->total != target.length) ||
        (status == 200 && !contentLength.empty() && contentLength != std::to_string(target.length));
    if ((status == 200 || status == 206 || status == 416) && (otherVersion || otherLength))
        return fail(SourceError::FileChanged,
                    "The remote file has changed since it was opened. Open it again to see the "
                    "new version.");
    if (status == 200)
        return fail(SourceError::RangesNotServed,
                    "The server sends only the whole file, not parts of it.");
    if (status == 416)
        return fail(SourceError::RangeRefused,
                    "The server refused the range " + rangeText(first, end).substr(7) + ".");
    if (status != 206)
        return fail(SourceError::HttpStatus,
                    "The server answered with status " + std::to_string(status) + ".");
    if (!range || range->first != first || range->last == ContentRange::Unknown ||
        range->last + 1 < end)
        return fail(SourceError::BadContentRange,
                    "The server sent another part of the file than the one asked for.");
    return checked = true;
}

void ParallelFetcher::Transfer::takeHeaderLine(std::string_view line) {
    if (line.rfind("HTTP/", 0) == 0) {
        auto space = line.find(' ');
        pendingStatus =
            space == std::string_view::npos ? 0 : std::strtol(line.data() + space + 1, nullptr, 10);
        contentRange.clear();
        etag.clear();
        lastModified.clear();
        contentLength.clear();
        return;
    }
    const std::string text = trimmed(line);
    auto value = [&](std::string_view name) {
        return trimmed(std::string_view(text).substr(name.size() + 1));
    };
    if (startsNoCase(text, "Content-Range"))
        contentRange = value("Content-Range");
    else if (startsNoCase(text, "ETag"))
        etag = value("ETag");
    else if (startsNoCase(text, "Last-Modified"))
        lastModified = value("Last-Modified");
    else if (startsNoCase(text, "Content-Length"))
        contentLength = value("Content-Length");
}

ParallelFetcher::ParallelFetcher(HttpOptions options)
    : options_(std::move(options)), handles_((initHttpGlobal(), std::make_unique<Handles>())) {
    CURLM* multi = handles_->multi.get();
    curl_multi_setopt(multi, CURLMOPT_PIPELINING, static_cast<long>(CURLPIPE_MULTIPLEX));
    curl_multi_setopt(multi, CURLMOPT_MAX_HOST_CONNECTIONS, static_cast<long>(MaxTransfers));
}

ParallelFetcher::~ParallelFetcher() {
    stopAll();
}

ParallelFetcher::Transfer* ParallelFetcher::find(int id) const {
    auto it = transfers_.find(id);
    return it == transfers_.end() ? nullptr : it->second.get();
}

int ParallelFetcher::start(int64_t first, int64_t end, int fd, int64_t fileOffset) {
    auto t = std::make_unique<Transfer>();
    t->owner = this;
    t->id = nextId_++;
    t->first = t->next = first;
    t->end = end;
    t->fd = fd;
    t->fileOffset = fileOffset;
    const int id = t->id;
    Transfer& transfer = *t;
    transfers_[id] = std::move(t);
    if (abort_)
        transfer.fail(SourceError::Cancelled, "Cancelled");
    else if (!handles_->multi || !transfer.easy)
        transfer.fail(SourceError::NoResponse, "The HTTP library could not be initialised");
    else if (first >= end)
        transfer.done = true;
    if (transfer.failed || transfer.done)
        return id;
    configure(transfer);
    if (curl_multi_add_handle(handles_->multi.get(), transfer.easy.get()) != CURLM_OK)
        transfer.fail(SourceError::NoResponse, "The request could not be started");
    else
        transfer.attached = true;
    ++requestsSent_;
    return id;
}

void ParallelFetcher::configure(Transfer& t) {
    CURL* h = t.easy.get();
    curl_easy_setopt(h, CURLOPT_URL, target_.url.c_str());
    setCommonOptions(h, options_, t.errorBuffer);
    // Over TLS, wait for the connection in the making to tell whether it multiplexes rather
    // than opening one connection per request.
    if (target_.url.rfind("https:", 0) == 0)
        curl_easy_setopt(h, CURLOPT_PIPEWAIT, 1L);
    curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &ParallelFetcher::onHeader);
    curl_easy_setopt(h, CURLOPT_HEADERDATA, &t);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &ParallelFetcher::onBody);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &t);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &ParallelFetcher::onProgress);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, this);
    applyHttpCredentials(h, target_.url, credentials_, options_.useNetrc);
    curl_slist* list = curl_slist_append(nullptr, rangeText(t.first, t.end).c_str());
    // A changed file answers 200 with the new version instead of a part of it.
    if (!target_.etag.empty() && target_.etag.rfind("W/", 0) != 0)
        list = curl_slist_append(list, ("If-Range: " + target_.etag).c_str());
    else if (!target_.lastModified.empty())
        list = curl_slist_append(list, ("If-Range: " + target_.lastModified).c_str());
    t.headerList.reset(list);
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, list);
}

void ParallelFetcher::stop(int id) {
    auto it = transfers_.find(id);
    if (it == transfers_.end())
        return;
    if (it->second->attached)
        curl_multi_remove_handle(handles_->multi.get(), it->second->easy.get());
    transfers_.erase(it);
}

void ParallelFetcher::stopAll() {
    while (!transfers_.empty())
        stop(transfers_.begin()->first);
}

std::size_t ParallelFetcher::take(int id, char* out, std::size_t n) {
    Transfer* t = find(id);
    if (!t)
        return 0;
    std::size_t count = 0;
    while (count < n && !t->pieces.empty()) {
        const std::vector<char>& front = t->pieces.front();
        const std::size_t step = std::min(n - count, front.size() - t->frontTaken);
        std::memcpy(out + count, front.data() + t->frontTaken, step);
        count += step;
        t->frontTaken += step;
        if (t->frontTaken == front.size()) {
            t->pieces.pop_front();
            t->frontTaken = 0;
        }
    }
    t->heldBytes -= count;
    return count;
}

std::size_t ParallelFetcher::buffered(int id) const {
    const Transfer* t = find(id);
    return t ? t->held() : 0;
}

int64_t ParallelFetcher::reached(int id) const {
    const Transfer* t = find(id);
    return t ? t->next : 0;
}

bool ParallelFetcher::finished(int id) const {
    const Transfer* t = find(id);
    return t && t->done && !t->failed;
}

bool ParallelFetcher::failed(int id) const {
    const Transfer* t = find(id);
    return !t || t->failed;
}

SourceError ParallelFetcher::error(int id) const {
    const Transfer* t = find(id);
    return t ? t->error : SourceError::NoResponse;
}

std::string ParallelFetcher::errorText(int id) const {
    const Transfer* t = find(id);
    return t ? t->errorText : std::string("no such transfer");
}

int ParallelFetcher::inFlight() const {
    return static_cast<int>(std::count_if(transfers_.begin(), transfers_.end(),
                                          [](const auto& t) { return t.second->attached; }));
}

void ParallelFetcher::abort() {
    abort_ = true;
    if (handles_->multi)
        curl_multi_wakeup(handles_->multi.get());
}

void ParallelFetcher::pump(std::chrono::milliseconds wait) {
    if (abort_) {
        failAll(SourceError::Cancelled, "Cancelled");
        return;
    }
    resumePaused();
    int running = 0;
    curl_multi_perform(handles_->multi.get(), &running);
    collectFinished();
    checkStalls();
    if (running > 0 && wait.count() > 0)
        curl_multi_poll(handles_->multi.get(), nullptr, 0, static_cast<int>(wait.count()), nullptr);
    if (abort_)
        failAll(SourceError::Cancelled, "Cancelled");
}

void ParallelFetcher::resumePaused() {
    for (auto& [id, t] : transfers_) {
        if (t->paused && t->held() < BufferLimit && !t->failed) {
            t->paused = false;
            t->lastByte = std::chrono::steady_clock::now();
            curl_easy_pause(t->easy.get(), CURLPAUSE_CONT); // may deliver body at once
        }
    }
}

void ParallelFetcher::collectFinished() {
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(handles_->multi.get(), &left)) {
        if (message->msg != CURLMSG_DONE)
            continue;
        Transfer* t = nullptr;
        for (auto& [id, candidate] : transfers_)
            if (candidate->easy.get() == message->easy_handle)
                t = candidate.get();
        if (!t)
            continue;
        const CURLcode result = message->data.result;
        t->done = true;
        curl_multi_remove_handle(handles_->multi.get(), t->easy.get());
        t->attached = false;
        if (t->failed)
            continue;
        if (result != CURLE_OK)
            t->fail(SourceError::NoResponse,
                    *t->errorBuffer ? t->errorBuffer : curl_easy_strerror(result));
        else if (!t->checked)
            t->checkAnswer();
        if (!t->failed && t->next < t->end)
            t->fail(SourceError::NoResponse, "The server's answer ended early.");
    }
}

void ParallelFetcher::checkStalls() {
    const auto now = std::chrono::steady_clock::now();
    for (auto& [id, t] : transfers_) {
        if (!t->attached || t->paused || t->failed || now - t->lastByte < options_.stallTimeout)
            continue;
        t->fail(SourceError::NoResponse, "The server sent nothing for " +
                                             std::to_string(options_.stallTimeout.count()) + " ms");
        curl_multi_remove_handle(handles_->multi.get(), t->easy.get());
        t->attached = false;
    }
}

void ParallelFetcher::failAll(SourceError error, const std::string& text) {
    for (auto& [id, t] : transfers_) {
        if (t->attached)
            curl_multi_remove_handle(handles_->multi.get(), t->easy.get());
        t->attached = false;
        if (!t->done)
            t->fail(error, text);
    }
}

std::size_t ParallelFetcher::memoryHeld() const {
    std::size_t held = 0;
    for (const auto& [id, t] : transfers_)
        held += t->heldBytes;
    return held;
}

std::size_t ParallelFetcher::onHeader(char* data, std::size_t size, std::size_t count, void* self) {
    auto* t = static_cast<Transfer*>(self);
    const std::size_t length = size * count;
    t->headerBytes += length;
    t->lastByte = std::chrono::steady_clock::now();
    if (t->headerBytes > MaxHeaderBytes) {
        t->fail(SourceError::NoResponse, "The server's response headers are too long");
        return 0;
    }
    const std::string_view line(data, length);
    if (trimmed(line).empty()) {
        const long status = t->pendingStatus;
        const bool interim = status >= 100 && status < 200;
        const bool redirect = status >= 300 && status < 400 && status != 304;
        // A sign-in challenge may be answered by libcurl with a second request: it is judged
        // when its body comes or the transfer ends.
        if (!interim && !redirect && !isSignInChallenge(status) && !t->checkAnswer())
            return 0;
        return length;
    }
    t->takeHeaderLine(line);
    return length;
}

std::size_t ParallelFetcher::onBody(char* data, std::size_t size, std::size_t count, void* self) {
    auto* t = static_cast<Transfer*>(self);
    ParallelFetcher& owner = *t->owner;
    const std::size_t length = size * count;
    if (!t->checked && !t->failed && isSignInChallenge(t->pendingStatus))
        t->checkAnswer(); // the challenge was final: the sign-in failed
    if (owner.abort_ || t->failed || !t->checked)
        return 0;
    if (t->next + static_cast<int64_t>(length) > t->end) {
        t->fail(SourceError::BadContentRange, "The server sent more than the part asked for.");
        return 0;
    }
    t->lastByte = std::chrono::steady_clock::now();
    if (t->fd >= 0) {
        const char* from = data;
        std::size_t left = length;
        int64_t at = t->next - t->first + t->fileOffset;
        while (left > 0) {
            const ssize_t wrote = ::pwrite(t->fd, from, left, at);
            if (wrote <= 0) {
                t->fail(SourceError::NoResponse, std::string("The received bytes could not be "
                                                             "written: ") +
                                                     std::strerror(errno));
                return 0;
            }
            from += wrote;
            left -= static_cast<std::size_t>(wrote);
            at += wrote;
        }
        t->next += static_cast<int64_t>(length);
        return length;
    }
    if (t->held() > 0 && t->held() + length > BufferLimit) {
        t->paused = true;
        return CURL_WRITEFUNC_PAUSE;
    }
    t->pieces.emplace_back(data, data + length);
    t->heldBytes += length;
    t->next += static_cast<int64_t>(length);
    owner.peakMemory_ = std::max(owner.peakMemory_, owner.memoryHeld());
    return length;
}

int ParallelFetcher::onProgress(void* self, long long, long long, long long, long long) {
    return static_cast<ParallelFetcher*>(self)->abort_ ? 1 : 0;
}
