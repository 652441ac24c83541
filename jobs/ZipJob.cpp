// The job base, and the two jobs that show an archive: open and list.
#include "jobs/JobView.h"
#include "jobs/ZipDoc.h"
#include "remote/ArchiveSource.h"
#include "remote/LocalAddress.h"

#include <chrono>
#include <string>
#include <utility>
#include <vector>

bool ZipJob::waitUntilUiReady() {
    doc_.source().resetCancel();
    return doc_.readiness().waitUntil([this] { return doc_.isOpen(); },
                                      [this] { return isStopRequested(); });
}

IJobView& ZipJob::view() {
    return doc_.view();
}

IProgress& ZipJob::progress() {
    return doc_.progress();
}

void ZipJob::send(uint32_t id, String wText, String lText) {
    view().sendMessage(JobMessage{id, std::move(wText), std::move(lText)});
}

bool ZipOpenThread::start(String address) {
    return Thread::start([this, address = std::move(address)] { return run(address); });
}

int ZipOpenThread::run(const String& address) {
    if (!waitUntilUiReady()) {
        // Stopped before it began: the document still counts as open and must be told, or
        // it would stay "open" on a closed archive.
        send(WM_OPEN_FAILED);
        return 0;
    }
    progress().setPos(0);
    progress().setRange32(0, 10);
    send(WM_JOB_STARTED);
    view().hideCancelButton();

    CZipArchive& archive = doc_.archive();
    try {
        archive.open(address, 0);
    } catch (...) {
        // The source names a failed transfer (a refusal, a time-out, a cut connection): only
        // bytes that arrived and are wrong make the archive damaged.
        const std::string transferFailure = doc_.source().errorText();
        if (!transferFailure.empty()) {
            send(WM_OPEN_FAILED);
            send(WM_REMOTE_ERROR, std::string(unavailableText) + "\n(" + transferFailure + ")");
            send(WM_JOB_ENDED);
            return 0;
        }
        reportFailure(true);
        return 0;
    }
    if (archive.isClosed()) {
        reportFailure(false, isFileAddress(address.str()));
        return 0;
    }
    send(WM_OPEN_SUCCEEDED, String(doc_.source().remoteFileName()));
    send(WM_JOB_ENDED);
    doc_.setOpenHandingOver(true);
    view().updateFromDocument();
    doc_.setOpenHandingOver(false);
    return 0;
}

void ZipOpenThread::reportFailure(bool damaged, bool localFile) {
    send(WM_OPEN_FAILED);
    if (damaged) {
        send(WM_ARCHIVE_DAMAGED);
    } else {
        const bool unsupported = doc_.source().length() == ArchiveSource::LengthUnknown;
        if (localFile) // no server and no Internet to blame: the file's own reason
            send(WM_REMOTE_ERROR,
                 String(std::string(localFileText) + "\n" + doc_.source().errorText()));
        else
            send(WM_REMOTE_ERROR, unsupported ? unsupportedServerText : unavailableText);
    }
    send(WM_JOB_ENDED);
}

bool ZipListThread::start(IJobView& view) {
    return Thread::start([this, &view] { return run(view); });
}

int ZipListThread::run(IJobView& view) {
    if (!waitUntilUiReady())
        return 0;
    IProgress& bar = progress();
    bar.setPos(0);
    view.sendMessage({WM_JOB_STARTED, {}, {}});

    CZipArchive& archive = doc_.archive();
    const uint32_t count = archive.entryCount();
    bar.setRange32(0, count);
    bar.setPos(0);
    bar.setStep(1);
    view.deleteAllItems();

    // Rows go to the view in batches: the first row alone (so that it shows at once), then
    // up to rowBatch rows or what rowDelay gathered, whichever comes first.
    auto stopped = [&] {
        view.sendMessage({WM_JOB_ENDED, {}, {}});
        requestStop(false);
        view.deleteAllItems();
        return 0;
    };
    std::vector<EntryRow> batch;
    auto batchStarted = std::chrono::steady_clock::now();
    int32_t shown = 0;
    for (uint32_t i = 0; i < count; ++i) {
        if (isStopRequested())
            return stopped();
        if (archive.isDirectory(i))
            continue; // folders are neither listed nor counted
        if (batch.empty())
            batchStarted = std::chrono::steady_clock::now();
        batch.emplace_back();
        doc_.describeEntry(batch.back(), i);
        ++shown;
        bar.stepIt();
        if (shown == 1 || batch.size() >= rowBatch ||
            std::chrono::steady_clock::now() - batchStarted >= rowDelay) {
            view.addRows(std::exchange(batch, {}));
            if (shown == 1)
                view.invalidate(); // so that the first row shows at once
        }
    }
    if (!batch.empty())
        view.addRows(std::move(batch));
    // A Cancel while the last rows were going in still counts: this call is handled after
    // them, so the stop is seen here.
    view.invalidate();
    if (isStopRequested())
        return stopped();
    view.sendMessage({WM_LIST_TOTALS, String("Total files: " + std::to_string(shown)),
                      String("Selected files: 0")});
    view.sendMessage({WM_JOB_ENDED, {}, {}});
    view.sendMessage({WM_LIST_COMPLETE, {}, {}});
    return 0;
}
