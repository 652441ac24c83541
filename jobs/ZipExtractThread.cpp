// The extract job: test, then write each chosen entry; afterwards optionally open what was
// written. Entries that fail are collected with their reason and reported at the end.
#include "jobs/JobView.h"
#include "jobs/PreviewSafety.h"
#include "jobs/ProgressScale.h"
#include "jobs/ZipDoc.h"
#include "platform/DesktopServices.h"
#include "remote/ArchiveSource.h"

#include <exception>
#include <filesystem>
#include <string>
#include <vector>

namespace {

// The failures shown at the end; a longer list is cut.
constexpr size_t maxFailuresShown = 20;

bool pathExists(const std::string& path) {
    std::error_code error;
    return std::filesystem::exists(std::filesystem::symlink_status(path, error));
}

// An entry that cannot be read here (its method, its encryption, its password) is no sign
// of a damaged archive.
bool isUnreadableEntry(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const CZipException& e) {
        return e.isEntryUnreadable();
    } catch (...) {
        return false;
    }
}

std::string reasonOf(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "unknown error";
    }
}

// The read plan handed to the source lasts as long as the run.
struct ReadPlanScope {
    ArchiveSource& source;
    ~ReadPlanScope() { source.setReadPlan({}); }
};

} // namespace

struct ZipExtractThread::Run {
    ZipExtractThread& job;
    ExtractRequest& request;
    CZipArchive& archive;
    IJobView& view;
    IProgress& bar;
    ProgressScale scale;
    uint64_t passBase = 0; // bytes of the passes before the current one
    uint64_t lastProgressBytes = 0;
    std::vector<int32_t> indices;
    std::vector<Failure> failures;
    std::vector<std::string> written;

    CZipArchive::ProgressCallback progressCallback() {
        return [this](void*, uint64_t done, void*) {
            lastProgressBytes = done;
            scale.advanceTo(bar, passBase + done);
            return true;
        };
    }
    void endPass() {
        passBase += lastProgressBytes;
        lastProgressBytes = 0;
    }
    void fail(const String& name, std::string reason) {
        failures.push_back({name, std::move(reason)});
    }

    void resolveNames();
    bool testEntry(size_t i);
    void extractToFile(size_t i);
    void extractToFolder(size_t i);
    bool replaceExisting(const String& name, const std::string& target);
    bool extract(size_t i, const std::string& folder, bool keepPath, const std::string& newName,
                 const std::string& target);
    void openWritten();
    void reportCompletion();
    int endCancelled();
};

bool ZipExtractThread::start(ExtractRequest request) {
    return Thread::start([this, request = std::move(request)]() mutable { return run(request); });
}

int ZipExtractThread::run(ExtractRequest& request) {
    outcome_ = {};
    doc_.source().resetCancel();
    Run state{*this, request, doc_.archive(), view(), progress(), {}, 0, 0, {}, {}, {}};
    state.bar.setPos(0);
    send(WM_JOB_STARTED);
    state.resolveNames();
    // Each entry is read twice (test pass, then extraction): the source may fetch them all
    // with a few requests ahead of the reads and keep them for the second pass.
    ReadPlanScope plan{doc_.source()};
    std::vector<ByteSpan> spans = state.archive.readSpans(state.indices);
    if (readplan::worthPlanning(spans))
        doc_.source().setReadPlan(std::move(spans), 2);

    for (size_t i = 0; i < state.indices.size(); ++i) {
        if (isStopRequested())
            return state.endCancelled();
        const int32_t index = state.indices[i];
        if (index < 0) {
            state.fail(request.names[i], "not found in the archive");
            continue;
        }
        if (state.archive.isDirectory(static_cast<uint32_t>(index)))
            continue;
        if (!state.testEntry(i))
            continue;
        if (request.destinationIsFile)
            state.extractToFile(i);
        else
            state.extractToFolder(i);
    }
    if (isStopRequested()) // "Cancel" answered for the last entry
        return state.endCancelled();
    outcome_.failures = state.failures.size();
    outcome_.written = state.written;
    if (request.openAfterExtract)
        state.openWritten();
    state.bar.setStep(1);
    send(WM_JOB_ENDED);
    state.reportCompletion();
    return 0;
}

void ZipExtractThread::Run::resolveNames() {
    uint64_t total = 0;
    for (const String& name : request.names) {
        int32_t index = -1;
        try {
            index = archive.findEntry(name.str(), false);
        } catch (...) {
            index = -1;
        }
        indices.push_back(index);
        CZipFileHeader header;
        if (index >= 0 && archive.getEntryInfo(header, static_cast<uint32_t>(index)))
            total += header.uncompressedSize;
    }
    // Each entry's bytes count twice: the test pass and the extraction pass.
    scale.begin(bar, 2 * total);
}

bool ZipExtractThread::Run::testEntry(size_t i) {
    const auto index = static_cast<uint32_t>(indices[i]);
    lastProgressBytes = 0;
    bool sound = false;
    std::string reason = "the data does not match its checksum";
    try {
        sound = archive.testEntry(index, progressCallback(), nullptr, 65535);
        if (!sound && !archive.lastError().empty())
            reason = archive.lastError();
    } catch (...) {
        reason = reasonOf(std::current_exception());
        if (isUnreadableEntry(std::current_exception())) {
            endPass();
            fail(request.names[i], reason);
            return false;
        }
    }
    endPass();
    if (!sound && job.isStopRequested())
        return false; // the transfer was cancelled: the entry is not damaged
    if (const std::string transferFailure = job.doc_.source().errorText();
        !sound && !transferFailure.empty()) {
        fail(request.names[i], "the transfer failed: " + transferFailure);
        return false; // the bytes did not come: nothing says the entry is damaged
    }
    if (!sound) {
        job.send(WM_ARCHIVE_DAMAGED);
        fail(request.names[i], "test failed: " + reason);
    }
    return sound;
}

void ZipExtractThread::Run::extractToFile(size_t i) {
    const std::string destination = request.destination.str();
    const size_t slash = destination.find_last_of('/');
    std::string folder = slash == std::string::npos ? "." : destination.substr(0, slash);
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    if (folder.empty())
        folder = "/";
    const std::string fileName =
        slash == std::string::npos ? destination : destination.substr(slash + 1);
    if (pathExists(destination) && !deleteFileForced(request.destination)) {
        fail(request.names[i], "the existing file could not be replaced");
        return;
    }
    extract(i, folder, false, fileName, destination);
}

void ZipExtractThread::Run::extractToFolder(size_t i) {
    const auto index = static_cast<uint32_t>(indices[i]);
    std::string target;
    try {
        target = archive.destinationPath(index, request.destination.str(), true);
    } catch (...) {
        fail(request.names[i], "unsafe name: " + reasonOf(std::current_exception()));
        return;
    }
    if (pathExists(target) && !replaceExisting(request.names[i], target))
        return;
    extract(i, request.destination.str(), true, {}, target);
}

// Asks before an existing file is replaced (unless "Yes to all" was given) and deletes it.
// False when the entry is to be skipped.
bool ZipExtractThread::Run::replaceExisting(const String& name, const std::string& target) {
    if (!request.overwriteAll) {
        const int answer = view.sendMessage({WM_ASK_OVERWRITE, String(target), {}});
        if (answer == OverwriteYesToAll) {
            request.overwriteAll = true;
        } else if (answer == OverwriteCancel) {
            job.requestStop();
            return false;
        } else if (answer != OverwriteYes) {
            return false; // "No": the user keeps the file; not a failure
        }
    }
    if (!deleteFileForced(String(target))) {
        fail(name, "the existing file could not be replaced");
        return false;
    }
    return true;
}

bool ZipExtractThread::Run::extract(size_t i, const std::string& folder, bool keepPath,
                                    const std::string& newName, const std::string& target) {
    const auto index = static_cast<uint32_t>(indices[i]);
    lastProgressBytes = 0;
    bool done = false;
    std::string reason = "extraction failed";
    try {
        done = archive.extractEntry(index, folder, keepPath, newName, progressCallback(), nullptr,
                                    65535);
        if (!done && !archive.lastError().empty())
            reason = archive.lastError();
    } catch (...) {
        reason = reasonOf(std::current_exception());
        try {
            archive.closeEntry({}, true);
        } catch (...) {
        }
    }
    endPass();
    if (done)
        written.push_back(target);
    else
        fail(request.names[i], "extraction failed: " + reason);
    return done;
}

// Opens only what this run wrote: a name that failed must not open an older copy. A file the
// desktop might run instead of show is opened only when the user says so.
void ZipExtractThread::Run::openWritten() {
    IDesktopOpener* opener = job.doc_.desktopOpener();
    for (const std::string& path : written) {
        const bool mayRun = previewsafety::mayRunWhenOpened(path);
        previewsafety::removeExecutePermission(path);
        if (mayRun) {
            MessageBoxRequest question;
            question.text = String("\"" + std::filesystem::path(path).filename().string() +
                                   "\" is a program, a script or a desktop entry: opening it "
                                   "may run it.\n\nOpen it anyway?");
            question.caption = "Marrowglen";
            question.icon = MessageIcon::Warning;
            question.buttons = MessageButtons::YesNo;
            question.defaultAnswer = AnswerNo;
            if (view.messageBox(question) != AnswerYes)
                continue;
        }
        if (opener != nullptr)
            opener->openLocalFile(path);
    }
}

void ZipExtractThread::Run::reportCompletion() {
    MessageBoxRequest box;
    box.caption = "Marrowglen";
    if (failures.empty()) {
        if (!request.announceCompletion)
            return;
        box.text = completeText;
        view.messageBox(box);
        return;
    }
    std::string text = "Extraction complete, but " + std::to_string(failures.size()) +
                       (failures.size() == 1 ? " entry" : " entries") +
                       " could not be extracted:\n";
    for (size_t i = 0; i < failures.size() && i < maxFailuresShown; ++i)
        text += "\n" + failures[i].name.str() + ": " + failures[i].reason;
    if (failures.size() > maxFailuresShown)
        text += "\n... and " + std::to_string(failures.size() - maxFailuresShown) + " more";
    box.text = String(text);
    box.icon = MessageIcon::Warning;
    view.messageBox(box);
}

int ZipExtractThread::Run::endCancelled() {
    job.outcome_.cancelled = true;
    job.outcome_.written = written;
    job.send(WM_JOB_ENDED);
    job.requestStop(false);
    bar.setStep(1);
    return 0;
}
