#include "CoreTestSupport.h"

#include "TestSupport.h"

#include <QCoreApplication>

#include <fstream>
#include <iterator>
#include <thread>

namespace coretest {

const std::string& archivesDir() {
    static const std::string dir = MG_CORE_ARCHIVES;
    return dir;
}

std::vector<unsigned char> fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<unsigned char> archiveBytes(const std::string& name) {
    return fileBytes(archivesDir() + "/" + name + ".zip");
}

bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        MainThreadQueue::instance().drainWaiting(std::chrono::milliseconds(1));
    }
    return true;
}

std::string messageName(uint32_t id) {
    switch (id) {
    case WM_JOB_STARTED:
        return "JOB_STARTED";
    case WM_JOB_ENDED:
        return "JOB_ENDED";
    case WM_ASK_OVERWRITE:
        return "ASK_OVERWRITE";
    case WM_LIST_TOTALS:
        return "LIST_TOTALS";
    case WM_LIST_COMPLETE:
        return "LIST_COMPLETE";
    case WM_NETWORK_ACTIVITY:
        return "NETWORK_ACTIVITY";
    case WM_OPEN_FAILED:
        return "OPEN_FAILED";
    case WM_OPEN_SUCCEEDED:
        return "OPEN_SUCCEEDED";
    case WM_REMOTE_ERROR:
        return "REMOTE_ERROR";
    case WM_ARCHIVE_DAMAGED:
        return "ARCHIVE_DAMAGED";
    default:
        return "message " + std::to_string(id);
    }
}

// ---- RecordingView

void RecordingView::log(std::string event) {
    {
        std::lock_guard lock(mutex_);
        events_.push_back(event);
    }
    if (onEvent)
        onEvent(event);
}

int RecordingView::sendMessage(const JobMessage& message) {
    std::string event = messageName(message.id);
    if (!message.wText.isEmpty())
        event += " " + message.wText.str();
    if (!message.lText.isEmpty())
        event += " | " + message.lText.str();
    int answer = 0;
    if (message.id == WM_ASK_OVERWRITE) {
        std::lock_guard lock(mutex_);
        answer = OverwriteCancel;
        if (!overwriteAnswers.empty()) {
            answer = overwriteAnswers.front();
            overwriteAnswers.pop_front();
        }
    }
    log(event);
    // What the list view does with these (on the user-interface thread).
    if (doc != nullptr && message.id == WM_OPEN_FAILED)
        doc->closeArchive();
    if (doc != nullptr && message.id == WM_OPEN_SUCCEEDED)
        doc->setTitle(message.wText);
    return answer;
}

void RecordingView::postMessage(uint32_t id) {
    std::lock_guard lock(mutex_);
    if (id == WM_NETWORK_ACTIVITY)
        ++networkActivity_;
}

void RecordingView::addRow(const EntryRow& row) {
    {
        std::lock_guard lock(mutex_);
        rows_.push_back(row);
    }
    log("row " + row.path.str() + row.name.str());
}

void RecordingView::addRows(std::vector<EntryRow> rows) {
    {
        std::lock_guard lock(mutex_);
        batchSizes_.push_back(rows.size());
    }
    for (const EntryRow& row : rows)
        addRow(row);
}

std::vector<size_t> RecordingView::batchSizes() const {
    std::lock_guard lock(mutex_);
    return batchSizes_;
}

std::optional<CredentialAnswer> RecordingView::askCredentials(const CredentialRequest& request) {
    if (request.kind != CredentialRequest::Kind::EntryPassword)
        return std::nullopt;
    log("password " + request.subject);
    if (!entryPassword)
        return std::nullopt;
    return CredentialAnswer{{}, *entryPassword};
}

int RecordingView::messageBox(const MessageBoxRequest& request) {
    int answer = request.defaultAnswer;
    {
        std::lock_guard lock(mutex_);
        boxes_.push_back(request);
        if (!messageBoxAnswers.empty()) {
            answer = messageBoxAnswers.front();
            messageBoxAnswers.pop_front();
        }
    }
    log("box " + request.caption.str() + ": " + request.text.str());
    return answer;
}

void RecordingView::updateFromDocument() {
    log("update");
    deleteAllItems();
    if (doc != nullptr && doc->isOpen())
        doc->startList();
}

std::vector<std::string> RecordingView::events() const {
    std::lock_guard lock(mutex_);
    return events_;
}

std::vector<std::string> RecordingView::messages() const {
    std::vector<std::string> names;
    for (const std::string& event : events()) {
        if (!event.empty() && std::isupper(static_cast<unsigned char>(event[0])))
            names.push_back(event.substr(0, event.find(' ')));
    }
    return names;
}

std::vector<EntryRow> RecordingView::rows() const {
    std::lock_guard lock(mutex_);
    return rows_;
}

std::vector<MessageBoxRequest> RecordingView::boxes() const {
    std::lock_guard lock(mutex_);
    return boxes_;
}

int RecordingView::count(const std::string& event) const {
    int n = 0;
    for (const std::string& e : events())
        n += e == event ? 1 : 0;
    return n;
}

int RecordingView::networkActivity() const {
    std::lock_guard lock(mutex_);
    return networkActivity_;
}

void RecordingView::clear() {
    std::lock_guard lock(mutex_);
    events_.clear();
    rows_.clear();
    batchSizes_.clear();
    boxes_.clear();
    networkActivity_ = 0;
}

// ---- RecordingProgress

void RecordingProgress::log(std::string call) {
    std::lock_guard lock(mutex_);
    calls_.push_back(std::move(call));
}

void RecordingProgress::setRange32(int32_t low, int32_t high) {
    log("range " + std::to_string(low) + ".." + std::to_string(high));
    std::lock_guard lock(mutex_);
    high_ = high;
    position_ = 0;
}

void RecordingProgress::setStep(int32_t step) {
    log("step " + std::to_string(step));
    std::lock_guard lock(mutex_);
    step_ = step;
}

void RecordingProgress::stepIt() {
    log("stepit");
    std::lock_guard lock(mutex_);
    position_ += step_;
}

std::vector<std::string> RecordingProgress::calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
}

int32_t RecordingProgress::rangeHigh() const {
    std::lock_guard lock(mutex_);
    return high_;
}

int64_t RecordingProgress::position() const {
    std::lock_guard lock(mutex_);
    return position_;
}

// ---- RecordingFileTypes

FileTypeInfo RecordingFileTypes::lookup(const std::string& fileName) {
    std::lock_guard lock(mutex_);
    asked_.push_back(fileName);
    const std::string ext = fileName.substr(fileName.find_last_of('.') + 1);
    return {ext.empty() ? std::string() : ext + " type", "type/" + ext};
}

std::vector<std::string> RecordingFileTypes::asked() const {
    std::lock_guard lock(mutex_);
    return asked_;
}

// ---- DocHarness

DocHarness::DocHarness(ArchiveSource& source) : doc(std::make_unique<CZipDoc>(source)) {
    settings.tmpFolder = "/tmp";
    settings.winzipRate = false;
    view.doc = doc.get();
    if (MainThreadQueue::enabled())
        doc->attachUi(&plainView, &plainProgress);
    else
        doc->attachUi(&viewAdapter, &progressAdapter);
    doc->setDesktopOpener(&opener);
    doc->setFileTypeLookup(&fileTypes);
    doc->setSettingsProvider([this] { return settings; });
    doc->onNewDocument();
}

DocHarness::~DocHarness() {
    waitIdle();
    doc.reset();
    MainThreadQueue::instance().drain(); // posted calls still aimed at this harness
}

bool DocHarness::open(const std::string& address) {
    doc->onOpenDocument(String(address));
    return waitIdle();
}

bool DocHarness::waitIdle(std::chrono::milliseconds timeout) {
    // The deferred close or open runs from an event posted when the last job ended, and may
    // start another job.
    for (int round = 0; round < 3; ++round) {
        if (!waitFor([this] { return doc->allJobsSettled(); }, timeout))
            return false;
        QCoreApplication::processEvents();
        MainThreadQueue::instance().drain();
    }
    return doc->allJobsSettled();
}

} // namespace coretest
