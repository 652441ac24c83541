// Lists an archive end to end through the document's open and list jobs into a recording
// view: the time from the open to WM_LIST_COMPLETE, and the peak memory of the process.
//
// Usage: list_bench URL               over HTTP(S) or FTP with the real remote source
//        list_bench --memory FILE     from a copy of FILE held in memory (no network)
// Each run is made twice: with the view called on the job's thread, and with the calls
// carried onto the main thread (BlockingJobView), as the viewer's widgets receive them.
#include "jobs/BlockingJobView.h"
#include "jobs/ZipDoc.h"
#include "platform/qt/QtFileTypes.h"
#include "remote/RemoteArchiveSource.h"

#include "MemorySource.h"

#include <QCoreApplication>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <sys/resource.h>

namespace {

using Clock = std::chrono::steady_clock;

// Counts what arrives; safe to call from any thread.
class CountingView : public IJobView, public IProgress {
public:
    int sendMessage(const JobMessage& message) override {
        if (message.id == WM_OPEN_SUCCEEDED)
            opened = true;
        if (message.id == WM_OPEN_FAILED)
            failed = true;
        if (message.id == WM_LIST_COMPLETE) {
            completeAt = Clock::now();
            complete = true;
        }
        return 0;
    }
    void postMessage(uint32_t) override {}
    void addRow(const EntryRow&) override { ++rows; }
    void deleteAllItems() override {}
    void invalidate() override {}
    void hideCancelButton() override {}
    int messageBox(const MessageBoxRequest&) override { return AnswerOk; }
    void updateFromDocument() override {
        if (doc != nullptr && doc->isOpen())
            doc->startList();
    }
    void setPos(int32_t) override {}
    void setRange32(int32_t, int32_t) override {}
    void setStep(int32_t) override {}
    void stepIt() override {}

    CZipDoc* doc = nullptr;
    std::atomic<long> rows{0};
    std::atomic<bool> opened{false}, failed{false}, complete{false};
    Clock::time_point completeAt;
};

long peakKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

bool listOnce(ArchiveSource& source, const std::string& address, bool viaUiThread) {
    CountingView view;
    QObject uiThread;
    BlockingJobView blockingView(view, &uiThread);
    QueuedProgress queuedProgress(view, &uiThread);
    QtFileTypes fileTypes;
    CZipDoc doc(source);
    view.doc = &doc;
    doc.setFileTypeLookup(&fileTypes);
    doc.setSettingsProvider([] { return JobSettings{"/tmp", false, true}; });
    if (viaUiThread)
        doc.attachUi(&blockingView, &queuedProgress);
    else
        doc.attachUi(&view, &view);
    doc.onNewDocument();

    const Clock::time_point start = Clock::now();
    doc.onOpenDocument(String(address));
    while (!view.complete && !view.failed)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    while (doc.anyJobRunning())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    if (view.failed) {
        std::fprintf(stderr, "the open failed\n");
        return false;
    }
    const double seconds = std::chrono::duration<double>(view.completeAt - start).count();
    std::printf("%-34s | %7ld rows | %8.3f s | peak %7.1f MiB\n",
                viaUiThread ? "via the main thread (BlockingJobView)" : "direct (job's thread)",
                view.rows.load(), seconds, static_cast<double>(peakKiB()) / 1024.0);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const bool fromMemory = argc == 3 && std::string(argv[1]) == "--memory";
    if (argc != 2 && !fromMemory) {
        std::fprintf(stderr, "usage: list_bench URL | list_bench --memory FILE\n");
        return 2;
    }
    std::printf("peak before listing: %.1f MiB\n", static_cast<double>(peakKiB()) / 1024.0);
    for (bool viaUiThread : {false, true}) {
        std::unique_ptr<ArchiveSource> source;
        std::string address = argv[1];
        if (fromMemory) {
            std::ifstream in(argv[2], std::ios::binary);
            std::vector<unsigned char> bytes{std::istreambuf_iterator<char>(in),
                                             std::istreambuf_iterator<char>()};
            source = std::make_unique<mgtest::MemorySource>(std::move(bytes));
            address = "http://127.0.0.1/archive.zip";
        } else {
            source = std::make_unique<RemoteArchiveSource>();
        }
        if (!listOnce(*source, address, viaUiThread))
            return 1;
    }
    return 0;
}
