#include "remote/RemoteArchiveSource.h"

#include "remote/Address.h"
#include "remote/ContentRange.h"
#include "remote/Netrc.h"
#include "remote/SegmentedDownload.h"

#include <sys/stat.h>

#include <algorithm>

RemoteArchiveSource::RemoteArchiveSource(HttpOptions options)
    : client_(std::make_unique<HttpClient>(options)), http_(*client_), httpStream_(http_),
      fetcher_(std::move(options)) {}

RemoteArchiveSource::~RemoteArchiveSource() = default;

bool RemoteArchiveSource::connect(String& address) {
    // ftp: the previous archive's swap file goes, whatever the scheme; a new one is made by
    // the ftp logon.
    ftpPlan_.clear();
    ftpKept_.clear();
    ftp_.close();
    ftpHeldFor_.clear();
    resetCancel();
    clearError();
    // Nothing learnt of the previous archive may speak for this one: a length left at
    // LengthUnknown would blame an unreachable server for not serving ranges.
    length_ = 0;
    remoteFileName_.clear();
    forgetAskedCredentials();
    splitCredentials(address, user_, password_);
    address_ = address; // never with credentials: it names the stream in error messages
    String scheme = serverPart(address).field("://", 1);
    if (scheme.equalsNoCase("http") || scheme.equalsNoCase("https")) {
        protocol_ = Http;
        // Given in the address or by the caller; empty leaves ~/.netrc to name them.
        client_->setCredentials(user_.str(), password_.str(), httpHostOf(address.str()));
        // No traffic yet: the first request opens the connection, which is then kept.
        if (isValidUrl(address.str()))
            return true;
        setError(SourceError::BadAddress, "The address is not a valid URL.");
        return false;
    }
    if (scheme.equalsNoCase("ftp")) {
        protocol_ = Ftp;
        return connectFtp();
    }
    if (scheme.equalsNoCase("file")) {
        protocol_ = Local;
        return connectLocal(address);
    }
    protocol_ = None;
    setError(SourceError::UnsupportedScheme,
             "Only http, https, ftp and file addresses can be opened.");
    return false;
}

bool RemoteArchiveSource::openRemoteFile(const String& address) {
    address_ = address;
    if (protocol_ == Http)
        return openHttpFile();
    if (protocol_ == Ftp)
        return openFtpFile();
    if (protocol_ == Local)
        return openLocalFile();
    return false;
}

bool RemoteArchiveSource::openHttpFile() {
    clearError();
    bool opened = http_.open(address_.str());
    SignInTries tries;
    while (!opened && signInAgain(tries))
        opened = http_.open(address_.str());
    length_ = http_.length();
    if (!opened) {
        setError(http_.error(), http_.errorText());
        return false;
    }
    queryRemoteFileName();
    fillSlot(&httpStream_);
    return true;
}

void RemoteArchiveSource::closeRemoteFile() {
    local_.closeRemoteFile();
    plan_.clear();
    planStream_.close();
    httpStream_.close();
    http_.close();
    if (storageFileSlot_ && *storageFileSlot_ && *storageFileSlot_ != &httpStream_) {
        (*storageFileSlot_)->close();
        *storageFileSlot_ = nullptr;
    }
}

bool RemoteArchiveSource::reopen() {
    closeRemoteFile();
    return openRemoteFile(address_);
}

// Over http the length and validator learnt at open stand for the whole archive: a piece
// needs no new probe, and each request is checked against them instead (HttpArchiveReader).
bool RemoteArchiveSource::requestRange(int64_t first, int64_t last, bool reopenFirst) {
    if (networkActivity_)
        networkActivity_();
    if (protocol_ == Http) {
        if (!http_.isOpen() && !reopen()) {
            // The server is gone, refuses the file or the job was cancelled.
            httpStream_.serveNothing(address_.str());
            fillSlot(&httpStream_);
            return false;
        }
        return requestHttpRange(first, last);
    }
    if (protocol_ == Local)
        return requestLocalRange(first, last);
    if (reopenFirst)
        reopen();
    if (protocol_ == Ftp)
        return requestFtpRange(first, last);
    return false;
}

bool RemoteArchiveSource::requestHttpRange(int64_t first, int64_t last) {
    clearError();
    // Until the piece can be served, the slot serves nothing: no stale or foreign bytes.
    httpStream_.serveNothing(address_.str());
    fillSlot(&httpStream_);
    if (first < 0 || last < first) {
        setError(SourceError::RangeRefused, "The requested range is empty.");
        return false;
    }
    const int64_t end = std::min<int64_t>(last + 1LL, http_.length());
    // A piece still to come from the plan is read from there; one read before (the second
    // pass over an entry) comes from the cache.
    if (plan_.covers(first) && !http_.cache().contains(first)) {
        planStream_.serve(first, end, address_.str(), keepPlanned_);
        fillSlot(&planStream_);
        return true;
    }
    if (!http_.beginPiece(first, last)) {
        setError(http_.error(), http_.errorText());
        return false;
    }
    httpStream_.serve(first, end, address_.str());
    return true;
}

bool RemoteArchiveSource::signInAgain(SignInTries& tries) {
    const long status = client_->status();
    if (!signInProvider_ || http_.error() != SourceError::HttpStatus || !isSignInChallenge(status))
        return false;
    const HttpCredentials& sent = client_->credentials();
    SignInRequest request;
    request.proxy = status == 407;
    request.host = httpHostOf(address_.str());
    request.user = request.proxy ? sent.proxyUser : sent.user;
    // A user name alone in the address was no password that could be refused.
    const bool passwordSent = request.proxy ? sent.hasProxyLogin() && !sent.proxyPassword.empty()
                                            : sent.hasServerLogin() && !sent.password.empty();
    int& asked = request.proxy ? tries.proxy : tries.server;
    request.afterRefusal = asked++ > 0 || passwordSent;
    std::optional<SignInAnswer> answer = signInProvider_(request);
    if (!answer || answer->user.empty())
        return false;
    if (request.proxy) {
        client_->setProxyCredentials(answer->user, answer->password);
        proxyLoginAsked_ = true;
    } else {
        user_ = String(answer->user);
        password_ = String(answer->password);
        client_->setCredentials(answer->user, answer->password, httpHostOf(address_.str()));
    }
    return true;
}

void RemoteArchiveSource::forgetAskedCredentials() {
    user_ = String();
    password_ = String();
    client_->setCredentials({}, {});
    if (proxyLoginAsked_)
        client_->setProxyCredentials({}, {});
    proxyLoginAsked_ = false;
}

void RemoteArchiveSource::targetFetcher() {
    const std::string& effective = http_.effectiveUrl();
    const std::string url = effective.empty() ? address_.str() : effective;
    fetcher_.setTarget({url, http_.length(), http_.etag(), http_.lastModified()});
    // They name the host they are for: a mirror that the open was redirected to gets none.
    fetcher_.setCredentials(client_->credentials());
}

void RemoteArchiveSource::setReadPlan(std::vector<ByteSpan> spans, int passes) {
    plan_.clear();
    ftpPlan_.clear();
    keepPlanned_ = passes > 1;
    ftpKept_.clear();
    if (protocol_ == Ftp && !spans.empty()) {
        ftpPlan_.start(spans, length_);
        if (keepPlanned_)
            ftpKept_.start(ftp_.swapFilePath() + "-kept", spans);
    }
    if (protocol_ != Http || spans.empty() || (!http_.isOpen() && !reopen()))
        return;
    targetFetcher();
    plan_.start(readplan::coalesce(spans, http_.length()));
}

std::optional<bool> RemoteArchiveSource::copyWhole(int fd,
                                                   const std::function<bool(int64_t)>& progress) {
    // One stream gains nothing over the ordinary copy.
    if (protocol_ != Http || readplan::segmentCount(length_) < 2)
        return std::nullopt;
    clearError();
    if (!http_.isOpen() && !reopen())
        return false;
    plan_.clear();
    targetFetcher();
    const int64_t length = http_.length();
    SegmentedResult result =
        downloadSegments(fetcher_, 0, length, fd, 0, readplan::segmentCount(length), progress);
    if (!result.complete)
        setError(result.error, result.errorText);
    return result.complete;
}

void RemoteArchiveSource::disconnect() {
    closeRemoteFile();
    // ftp: the swap file is removed; the FTP client stays logged on until the next connect.
    ftpPlan_.clear();
    ftpKept_.clear();
    ftp_.close();
    ftpHeldFor_.clear();
    local_.disconnect();
    forgetAskedCredentials();
    protocol_ = None;
}

void RemoteArchiveSource::queryRemoteFileName() {
    remoteFileName_ = fileNameFromUrl(http_.effectiveUrl());
}

void RemoteArchiveSource::cancel() {
    client_->abort();
    fetcher_.abort();
    // ftp: the running range download stops after its next piece.
    ftp_.cancel();
    local_.cancel();
    ftpPlan_.cancel();
}

void RemoteArchiveSource::resetCancel() {
    client_->clearAbort();
    ftp_.resetCancel();
    local_.resetCancel();
    ftpPlan_.resetCancel();
    fetcher_.clearAbort();
}

std::string RemoteArchiveSource::errorText() const {
    if (!errorText_.empty())
        return errorText_;
    if (storageFileSlot_ && *storageFileSlot_ == &httpStream_)
        return httpStream_.failure();
    return {};
}

void RemoteArchiveSource::setError(SourceError error, std::string text) {
    lastError_ = error;
    errorText_ = std::move(text);
}

void RemoteArchiveSource::fillSlot(RangeStream* stream) {
    if (storageFileSlot_)
        *storageFileSlot_ = stream;
}

// ftp: calls into FtpRangeReader, which logs the own FTP client on, asks the size once per
// archive and downloads each range into its private swap file.
namespace {

SourceError ftpSourceError(FtpRangeReader::Failure failure) {
    switch (failure) {
    case FtpRangeReader::Failure::EmptyFile:
        return SourceError::EmptyFile;
    case FtpRangeReader::Failure::TooLarge:
        return SourceError::TooLarge;
    case FtpRangeReader::Failure::Cancelled:
        return SourceError::Cancelled;
    default:
        return SourceError::NoResponse;
    }
}

} // namespace

bool RemoteArchiveSource::connectFtp() {
    // The reader decodes user name and password itself; splitCredentials has decoded them
    // already, so they go back in their address form.
    String hostText = serverPart(address_).field("://", 2);
    std::string user = user_.str();
    std::string password = password_.str();
    // Without a password in the address, ~/.netrc may have one for the host (and for the
    // user, when the address names one); without either the logon is anonymous.
    std::string host;
    uint16_t port = 0;
    if (password.empty() && FtpRangeReader::splitHostPort(hostText.str(), host, port)) {
        if (const std::optional<NetrcLogin> login = netrcLoginFor(host, user)) {
            user = login->login;
            password = login->password;
        }
    }
    if (ftp_.connect(hostText.str(), encodeCredential(user), encodeCredential(password)))
        return true;
    setError(ftpSourceError(ftp_.lastFailure()), ftp_.errorText());
    return false;
}

bool RemoteArchiveSource::openFtpFile() {
    clearError();
    remoteFileName_ = fileNameFromUrl(address_.str());
    if (ftp_.open(pathPart(address_).str(), length_))
        return true;
    setError(ftpSourceError(ftp_.lastFailure()), ftp_.errorText());
    return false;
}

// The bytes between the pieces of one entry (its name, a skipped extra field) go into the
// kept copy too, so that it holds the entry whole for the second reading.
void RemoteArchiveSource::keepFtpGapBefore(int64_t first) {
    const int64_t from = ftpKept_.missingBefore(first);
    if (from >= first)
        return;
    ftpPlanStream_.serve(from, first, ftp_.swapFilePath());
    ftpKept_.follow(&ftpPlanStream_, from);
    char skipped[4096];
    while (ftpKept_.read(skipped, sizeof skipped) > 0) {
    }
}

bool RemoteArchiveSource::requestFtpRange(int64_t first, int64_t last) {
    clearError();
    if (ftp_.isCancelled()) {
        httpStream_.serveNothing(address_.str());
        fillSlot(&httpStream_);
        setError(SourceError::Cancelled, "The transfer was cancelled.");
        return false;
    }
    // A piece of the entry the plan served last, read again, comes from the kept copy.
    const int64_t pieceEnd = std::min<int64_t>(last + 1, length_);
    // An empty piece (the data of an empty entry) reads nothing: it must not move the plan
    // or the kept copy on to the next entry, whose record begins there.
    if (std::min(last, length_) <= first) {
        ftpPlanStream_.serve(first, first, ftp_.swapFilePath());
        fillSlot(&ftpPlanStream_);
        return true;
    }
    // The engine names one byte more than it reads: the kept copy need not hold that one.
    if (ftpKept_.holds(first, std::min(last, length_)) &&
        ftpSlice_.open(ftpKept_.filePath(), first - ftpKept_.heldFirst(),
                       std::min(pieceEnd, ftpKept_.heldEnd()) - first)) {
        fillSlot(&ftpSlice_);
        return true;
    }
    // A piece still to come from the plan's transfer is read from there.
    if (ftpPlan_.covers(first)) {
        if (ftpKept_.active())
            keepFtpGapBefore(first);
        ftpPlanStream_.serve(first, pieceEnd, ftp_.swapFilePath());
        if (ftpKept_.active()) {
            ftpKept_.follow(&ftpPlanStream_, first);
            fillSlot(&ftpKept_);
        } else {
            fillSlot(&ftpPlanStream_);
        }
        return true;
    }
    // The ordinary path needs the FTP client.
    ftpPlan_.stopTransfer();
    // A range inside the one the swap file holds (the end record inside the tail block) is
    // served from there, not downloaded again.
    const std::string heldFor = ftp_.swapFilePath() + '\n' + ftp_.remotePath();
    // The engine's pieces name one byte more than they read; none exists past the end.
    const int64_t end = std::min<int64_t>(last + 1, length_);
    if (heldFor == ftpHeldFor_ && first >= ftpHeldFirst_ && end <= ftpHeldEnd_ &&
        ftpSlice_.open(ftp_.swapFilePath(), first - ftpHeldFirst_, end - first)) {
        fillSlot(&ftpSlice_);
        return true;
    }
    ftpHeldFor_.clear();
    RangeStream* stream = ftp_.requestRange(first, last);
    if (stream != nullptr) {
        struct stat held {};
        if (::stat(ftp_.swapFilePath().c_str(), &held) == 0) {
            ftpHeldFor_ = heldFor;
            ftpHeldFirst_ = first;
            ftpHeldEnd_ = first + int64_t(held.st_size);
        }
        fillSlot(stream);
        return true;
    }
    // The slot must not keep the previous range's stream, which the reader has dropped.
    httpStream_.serveNothing(address_.str());
    fillSlot(&httpStream_);
    setError(ftpSourceError(ftp_.lastFailure()), ftp_.errorText());
    return false;
}
