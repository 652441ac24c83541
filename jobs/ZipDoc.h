// The document: the one archive the user looks at. It owns the archive, counts whether one is
// open, starts the jobs for the user interface and builds the list's rows.
//
// Threads: every operation runs on the user-interface thread except `describeEntry` (the list
// job's thread). The user-interface thread never waits for a job: a close or an open asked
// for while a job runs is carried out when the last job has ended, so the archive is never
// closed under a job that still reads it.
//
// Wiring by the viewer, on the user-interface thread:
//     BlockingJobView jobView(listView, &listView); // listView implements IJobView
//     QueuedProgress jobProgress(progressBar, &listView);
//     doc.attachUi(&jobView, &jobProgress);         // once the frame's progress bar exists
//     doc.setDesktopOpener(&opener);                // QtDesktopOpener
//     doc.setFileTypeLookup(&fileTypes);            // QtFileTypes
//     doc.onNewDocument();
// The entry passwords and sign-ins that the user gives are kept for the open archive only:
// closing it (a new document, another open) forgets them.
// The view answers WM_OPEN_FAILED with closeArchive(), WM_OPEN_SUCCEEDED with setTitle(text),
// and updateFromDocument() by emptying the list and, when isOpen(), calling startList(). A
// row's icon is iconCache().slot(row.iconIndex).iconKey (slot 0: the program's own icon).
#pragma once

#include "app/String.h"
#include "jobs/EntryRow.h"
#include "jobs/IconTypeCache.h"
#include "jobs/JobSettings.h"
#include "jobs/NullJobView.h"
#include "jobs/UiReadiness.h"
#include "jobs/ZipJobs.h"
#include "zip/ZipArchive.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <optional>
#include <vector>

class ArchiveSource;
class IDesktopOpener;
class IFileTypeLookup;

class CZipDoc : public QObject {
    Q_OBJECT

public:
    static constexpr const char* noFileTitle = "no file";

    explicit CZipDoc(ArchiveSource& source, QObject* parent = nullptr);
    ~CZipDoc() override;

    // Wiring by the user interface. `view` and `progress` are called from worker threads
    // (wrap the widgets in BlockingJobView / QueuedProgress). Attaching marks the user
    // interface ready for the jobs; detaching takes that back.
    void attachUi(IJobView* view, IProgress* progress);
    void detachUi();
    void setDesktopOpener(IDesktopOpener* opener) { opener_ = opener; }
    void setFileTypeLookup(IFileTypeLookup* lookup) { fileTypes_ = lookup; }
    void setSettingsProvider(JobSettingsProvider provider) { settings_ = std::move(provider); }

    // The open state: true from the moment an open is begun.
    bool isOpen() const { return openCount_ > 1; }
    int32_t openCount() const { return openCount_; }
    const String& title() const { return title_; }
    void setTitle(const String& title);

    // Framework hooks.
    bool onNewDocument();
    // Begins opening an archive; queued while a job runs. Always true.
    bool onOpenDocument(const String& address);

    bool startOpen(const String& address);
    // Closes the archive, or, while a job runs, as soon as the last job has ended.
    void closeArchive();
    bool closePending() const { return closePending_; }
    // `view` null: the attached view. Each start is refused while another job runs (two jobs
    // would read the one archive at once) or while a close or an open waits; the list that
    // the open job starts as it ends is the one exception.
    bool startList(IJobView* view = nullptr);
    bool startExtract(const std::vector<String>& names, const String& destination,
                      bool openAfterExtract, bool overwriteAll, bool destinationIsFile);
    bool startExtract(ExtractRequest request);
    bool startSave(const String& path);

    bool anyJobRunning() const;
    // Set by the open job around the views' update that lists what it has just opened.
    void setOpenHandingOver(bool on) { openHandingOver_ = on; }
    // No job runs and every job's end has been announced to this thread's event loop (the
    // deferred close or open runs when those announcements are handled).
    bool allJobsSettled() const;
    // The Cancel command: stops the list (and closes the archive once it has stopped), then
    // asks the open, extract and save jobs to stop.
    void cancelAllJobs();
    // For the end of the program, before the widgets behind the attached view go: asks every
    // job to stop and handles events until they have ended. Only for shutting down: it runs
    // the event loop on this thread meanwhile. The destructor calls it too.
    void finishJobsForExit();

    // Fills the row of entry `index`. Called by the list job.
    bool describeEntry(EntryRow& row, uint32_t index);

    CZipArchive& archive() { return archive_; }
    ArchiveSource& source() { return source_; }
    IconTypeCache& iconCache() { return iconCache_; }
    UiReadiness& readiness() { return readiness_; }
    // The attached view and progress, or stand-ins that drop everything.
    IJobView& view();
    IProgress& progress();
    IDesktopOpener* desktopOpener() const { return opener_; }

    ZipOpenThread& openJob() { return openJob_; }
    ZipListThread& listJob() { return listJob_; }
    ZipExtractThread& extractJob() { return extractJob_; }
    ZipSaveThread& saveJob() { return saveJob_; }

signals:
    void titleChanged(const QString& title);
    // The framework's "new document": the list is emptied and the totals are blanked.
    void documentReset();
    // A job has ended; command enabling may change.
    void jobEnded();

private:
    void jobFinished(); // on the user-interface thread
    void closeNow();
    void setOpenCount(int32_t count);
    void postNetworkActivity();
    bool mayStartJob() const;
    // The questions of the engine (an entry's password) and of the source (a sign-in), put
    // to the user through the attached view from the job's thread.
    void installCredentialQuestions();
    std::optional<CredentialAnswer> askUser(CredentialRequest request);
    bool anyJobToldToStop() const;

    ArchiveSource& source_;
    CZipArchive archive_;
    std::atomic<int32_t> openCount_{0};
    String title_;
    std::atomic<bool> closePending_{false};
    std::atomic<bool> openHandingOver_{false};
    std::optional<String> queuedOpen_;
    JobSettingsProvider settings_ = programJobSettings;
    JobSettings listSettings_;
    IconTypeCache iconCache_;
    UiReadiness readiness_;
    NullJobView nullView_;
    std::atomic<IJobView*> view_{nullptr};
    std::atomic<IProgress*> progress_{nullptr};
    IDesktopOpener* opener_ = nullptr;
    IFileTypeLookup* fileTypes_ = nullptr;
    // Declared last so that they are joined first, while the rest is whole.
    ZipOpenThread openJob_{*this};
    ZipListThread listJob_{*this};
    ZipExtractThread extractJob_{*this};
    ZipSaveThread saveJob_{*this};
};
