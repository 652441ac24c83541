// The one object that turns an http, https, ftp or file address into byte ranges for the zip
// engine. Call order: connect, openRemoteFile, then any number of requestRange, all from the
// worker thread of the job that runs; only cancel comes from another thread.
#pragma once

#include "app/String.h"
#include "platform/HttpClient.h"
#include "remote/ArchiveSource.h"
#include "remote/FtpPlanReader.h"
#include "remote/FtpRangeReader.h"
#include "remote/HttpArchiveReader.h"
#include "remote/HttpPlanReader.h"
#include "remote/HttpRangeStream.h"
#include "remote/KeptSpan.h"
#include "remote/LocalArchiveSource.h"
#include "remote/ParallelFetcher.h"
#include "remote/PlanRangeStream.h"
#include "remote/SourceError.h"
#include "remote/SwapFileSlice.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class RemoteArchiveSource : public ArchiveSource {
public:
    enum Protocol : int32_t { None = 0, Http = 1, Ftp = 2, Local = 3 };

    explicit RemoteArchiveSource(HttpOptions options = {});
    ~RemoteArchiveSource() override;

    bool connect(String& address) override;
    bool openRemoteFile(const String& address) override;
    void closeRemoteFile() override;
    bool reopen();
    // Over http the bytes come from the cache of recently fetched ranges or from ranged GETs
    // (see HttpArchiveReader). False when the range cannot be served; the slot then holds a
    // stream that serves nothing.
    bool requestRange(int64_t first, int64_t last, bool reopenFirst) override;
    void disconnect() override;

    int64_t length() const override { return length_; }
    void setStorageFileSlot(RangeStream** slot) override {
        storageFileSlot_ = slot;
        local_.setStorageFileSlot(slot);
    }
    void setNetworkActivityHandler(std::function<void()> handler) override {
        local_.setNetworkActivityHandler(handler);
        networkActivity_ = std::move(handler);
    }
    std::string remoteFileName() const override { return remoteFileName_; }

    // Also why the http piece being read came short (a server gone silent mid-body).
    std::string errorText() const override;
    SourceError lastError() const { return lastError_; }
    void cancel() override;
    void resetCancel() override;
    // http: the plan's requests stream ahead of the engine (HttpPlanReader).
    void setReadPlan(std::vector<ByteSpan> spans, int passes = 1) override;
    // http: in parallel segments (SegmentedDownload); ftp: not offered.
    std::optional<bool> copyWhole(int fd, const std::function<bool(int64_t)>& progress) override;

    int32_t protocol() const { return protocol_; }
    // http: the status of the last response (401, 407, ...); 0 when none came.
    long httpStatus() const { return client_->status(); }
    // http: whether `connect` found a user name (in the address or given by the caller).
    bool hasCredentials() const { return !user_.isEmpty(); }
    // http: the proxy's user name and password (proxies come from the environment).
    void setProxyCredentials(const std::string& user, const std::string& password) {
        client_->setProxyCredentials(user, password);
    }
    const String& address() const { return address_; }
    // ftp: the folder of the swap file (the temporary folder); $TMPDIR or /tmp when not set.
    // http: the folder of the range cache's spill file, too.
    void setSwapFolder(std::string folder) {
        http_.setSpillFolder(folder);
        plan_.setSpillFolder(folder);
        ftp_.setTempFolder(std::move(folder));
    }
    void setTemporaryFolder(const std::string& folder) override { setSwapFolder(folder); }
    void setSignInProvider(SignInProvider provider) override {
        signInProvider_ = std::move(provider);
    }
    // http: the reader behind the http branches (tests look at its cache).
    const HttpArchiveReader& httpReader() const { return http_; }
    const ParallelFetcher& planFetcher() const { return fetcher_; }
    // ftp: the reader behind the ftp branches (tests set its time-out).
    FtpRangeReader& ftpReader() { return ftp_; }

private:
    bool openHttpFile();
    // After a 401 or 407: asks the sign-in provider and takes its answer. False when there is
    // nothing to ask or the user gave up.
    struct SignInTries {
        int server = 0;
        int proxy = 0;
    };
    bool signInAgain(SignInTries& tries);
    void forgetAskedCredentials();
    bool requestHttpRange(int64_t first, int64_t last);
    void targetFetcher();
    void queryRemoteFileName();
    void setError(SourceError error, std::string text);
    void clearError() { setError(SourceError::None, {}); }
    void fillSlot(RangeStream* stream);

    // ftp: the branches below call into FtpRangeReader (remote/FtpRangeReader.h), which logs
    // the own FTP client on with user_ and password_ and downloads ranges into the swap file.
    // user_ and password_ are already percent-decoded (encodeCredential gives the address
    // form back).
    bool connectFtp();
    bool openFtpFile();
    bool requestFtpRange(int64_t first, int64_t last);
    void keepFtpGapBefore(int64_t first);
    // file: the branches below call into LocalArchiveSource (remote/RemoteLocalFile.cpp).
    bool connectLocal(String& address);
    bool openLocalFile();
    bool requestLocalRange(int64_t first, int64_t last);

    String address_;
    int32_t protocol_ = None;
    int64_t length_ = 0;
    RangeStream** storageFileSlot_ = nullptr;
    std::string remoteFileName_;
    String user_;
    String password_;
    std::unique_ptr<HttpClient> client_;
    HttpArchiveReader http_;
    HttpRangeStream httpStream_;
    ParallelFetcher fetcher_;
    HttpPlanReader plan_{fetcher_};
    PlanRangeStream planStream_{plan_, http_};
    bool keepPlanned_ = false;
    std::function<void()> networkActivity_;
    SignInProvider signInProvider_;
    bool proxyLoginAsked_ = false; // the proxy's login came from the provider, not the caller
    LocalArchiveSource local_;     // file: pread on the local file
    FtpRangeReader ftp_;           // ftp: logs on, learns the size once, downloads ranges
    FtpPlanReader ftpPlan_{ftp_};
    FtpPlanStream ftpPlanStream_{ftpPlan_, ftp_};
    KeptSpan ftpKept_; // with a plan of two passes: the entry read last
    // ftp: what the swap file holds: [first, end) of the file named by ftpHeldFor_.
    SwapFileSlice ftpSlice_;
    std::string ftpHeldFor_;
    int64_t ftpHeldFirst_ = 0;
    int64_t ftpHeldEnd_ = 0;
    SourceError lastError_ = SourceError::None;
    std::string errorText_;
};
