#include "jobs/ZipDoc.h"

#include "platform/DesktopServices.h"
#include "remote/ArchiveSource.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <chrono>
#include <thread>

CZipDoc::CZipDoc(ArchiveSource& source, QObject* parent)
    : QObject(parent), source_(source), archive_(source), title_(noFileTitle) {
    for (Thread* job :
         std::initializer_list<Thread*>{&openJob_, &listJob_, &extractJob_, &saveJob_}) {
        job->setFinishedHandler([this] {
            QMetaObject::invokeMethod(
                this, [this] { jobFinished(); }, Qt::QueuedConnection);
        });
    }
    source_.setNetworkActivityHandler([this] { postNetworkActivity(); });
    archive_.setEntryReadHandler([this] { postNetworkActivity(); });
    installCredentialQuestions();
}

CZipDoc::~CZipDoc() {
    finishJobsForExit();
    source_.setNetworkActivityHandler({});
    source_.setSignInProvider({});
}

void CZipDoc::installCredentialQuestions() {
    archive_.setPasswordProvider([this](const CZipArchive::PasswordRequest& request) {
        CredentialRequest question;
        question.kind = CredentialRequest::Kind::EntryPassword;
        question.subject = request.entryName;
        question.afterRefusal = request.afterWrongPassword;
        std::optional<CredentialAnswer> answer = askUser(std::move(question));
        return answer ? std::optional<std::string>(std::move(answer->password)) : std::nullopt;
    });
    source_.setSignInProvider([this](const SignInRequest& request) -> std::optional<SignInAnswer> {
        CredentialRequest question;
        question.kind = request.proxy ? CredentialRequest::Kind::ProxySignIn
                                      : CredentialRequest::Kind::ServerSignIn;
        question.subject = request.host;
        question.user = request.user;
        question.afterRefusal = request.afterRefusal;
        std::optional<CredentialAnswer> answer = askUser(std::move(question));
        if (!answer)
            return std::nullopt;
        return SignInAnswer{std::move(answer->user), std::move(answer->password)};
    });
}

std::optional<CredentialAnswer> CZipDoc::askUser(CredentialRequest request) {
    if (anyJobToldToStop())
        return std::nullopt;
    request.stillWanted = [this] { return !anyJobToldToStop(); };
    return view().askCredentials(request);
}

bool CZipDoc::anyJobToldToStop() const {
    for (const Thread* job :
         std::initializer_list<const Thread*>{&openJob_, &listJob_, &extractJob_, &saveJob_}) {
        if (job->isRunning() && job->isStopRequested())
            return true;
    }
    return false;
}

void CZipDoc::attachUi(IJobView* view, IProgress* progress) {
    view_ = view;
    progress_ = progress;
    readiness_.setUiReady(view != nullptr && progress != nullptr);
}

void CZipDoc::detachUi() {
    readiness_.setUiReady(false);
    view_ = nullptr;
    progress_ = nullptr;
}

IJobView& CZipDoc::view() {
    IJobView* view = view_;
    return view != nullptr ? *view : nullView_;
}

IProgress& CZipDoc::progress() {
    IProgress* progress = progress_;
    return progress != nullptr ? *progress : nullView_;
}

void CZipDoc::setTitle(const String& title) {
    title_ = title;
    emit titleChanged(QString::fromUtf8(title.text()));
}

void CZipDoc::setOpenCount(int32_t count) {
    openCount_ = count;
    readiness_.notify();
}

bool CZipDoc::onNewDocument() {
    setOpenCount(openCount_ + 1);
    emit documentReset();
    return true;
}

bool CZipDoc::onOpenDocument(const String& address) {
    if (anyJobRunning()) {
        // Opening now would close the archive under a running job: wait for it to end.
        queuedOpen_ = address;
        return true;
    }
    if (isOpen())
        closeArchive();
    // A temporary folder changed in Settings holds this archive's swap and spill files.
    if (const JobSettings settings = settings_(); !settings.tmpFolder.isEmpty())
        source_.setTemporaryFolder(settings.tmpFolder.str());
    setOpenCount(openCount_ + 2);
    startOpen(address);
    return true;
}

bool CZipDoc::startOpen(const String& address) {
    return openJob_.start(address);
}

void CZipDoc::closeArchive() {
    if (anyJobRunning()) {
        closePending_ = true;
        return;
    }
    closeNow();
}

void CZipDoc::closeNow() {
    closePending_ = false;
    try {
        archive_.close(false);
    } catch (...) {
        // The document always ends closed.
    }
    setOpenCount(0);
    onNewDocument();
    setTitle(noFileTitle);
}

bool CZipDoc::mayStartJob() const {
    return !closePending_ && !queuedOpen_ && !anyJobRunning();
}

bool CZipDoc::startList(IJobView* view) {
    const bool handOver = openHandingOver_ && !listJob_.isRunning() && !extractJob_.isRunning() &&
                          !saveJob_.isRunning();
    if (!handOver && !mayStartJob())
        return false;
    listSettings_ = settings_();
    return listJob_.start(view != nullptr ? *view : this->view());
}

bool CZipDoc::startExtract(const std::vector<String>& names, const String& destination,
                           bool openAfterExtract, bool overwriteAll, bool destinationIsFile) {
    if (!mayStartJob())
        return false;
    ExtractRequest request;
    request.names = names;
    request.destination = destination;
    request.openAfterExtract = openAfterExtract;
    request.overwriteAll = overwriteAll;
    request.destinationIsFile = destinationIsFile;
    return startExtract(std::move(request));
}

bool CZipDoc::startExtract(ExtractRequest request) {
    if (!mayStartJob())
        return false;
    return extractJob_.start(std::move(request));
}

bool CZipDoc::startSave(const String& path) {
    if (!mayStartJob())
        return false;
    return saveJob_.start(path, settings_());
}

bool CZipDoc::anyJobRunning() const {
    return openJob_.isRunning() || listJob_.isRunning() || extractJob_.isRunning() ||
           saveJob_.isRunning();
}

bool CZipDoc::allJobsSettled() const {
    return openJob_.isSettled() && listJob_.isSettled() && extractJob_.isSettled() &&
           saveJob_.isSettled();
}

void CZipDoc::cancelAllJobs() {
    if (listJob_.isRunning()) {
        listJob_.requestStop();
        closeArchive();
    }
    for (Thread* job : std::initializer_list<Thread*>{&openJob_, &extractJob_, &saveJob_}) {
        if (job->isRunning())
            job->requestStop();
    }
    // A transfer in flight would otherwise hold the stop until a whole entry or chunk has
    // arrived. The open cannot be cancelled, so its transfers are left alone.
    if (extractJob_.isRunning() || saveJob_.isRunning())
        source_.cancel();
    readiness_.notify();
}

void CZipDoc::finishJobsForExit() {
    if (!anyJobRunning())
        return;
    for (Thread* job :
         std::initializer_list<Thread*>{&openJob_, &listJob_, &extractJob_, &saveJob_})
        job->requestStop();
    source_.cancel();
    readiness_.notify();
    // The jobs' synchronous calls are carried by this thread's event loop: keep it turning.
    while (!allJobsSettled()) {
        if (QCoreApplication::instance() != nullptr)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

void CZipDoc::jobFinished() {
    emit jobEnded();
    if (anyJobRunning())
        return;
    if (closePending_)
        closeNow();
    if (queuedOpen_) {
        const String address = *queuedOpen_;
        queuedOpen_.reset();
        onOpenDocument(address);
    }
}

void CZipDoc::postNetworkActivity() {
    if (openJob_.isRunning())
        view().postMessage(WM_NETWORK_ACTIVITY);
}
