// Recording stand-ins for the user interface and the desktop, and a harness that wires a
// document to them the way the viewer does (calls carried onto this test's main thread).
#pragma once

#include "RecordingOpener.h"

#include "PlainMarshal.h"
#include "jobs/BlockingJobView.h"
#include "jobs/JobView.h"
#include "jobs/ZipDoc.h"
#include "platform/DesktopServices.h"
#include "remote/ArchiveSource.h"

#include <QObject>

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace coretest {

// Folder of the archives that tests/support/make_archives.py makes (made once per process).
const std::string& archivesDir();
std::vector<unsigned char> archiveBytes(const std::string& name);
std::vector<unsigned char> fileBytes(const std::string& path);

// Handles events until `condition` holds; false after `timeout`.
bool waitFor(const std::function<bool()>& condition,
             std::chrono::milliseconds timeout = std::chrono::seconds(20));

// The message's name as the log shows it ("JOB_STARTED").
std::string messageName(uint32_t id);

class RecordingView : public IJobView {
public:
    int sendMessage(const JobMessage& message) override;
    void postMessage(uint32_t id) override;
    void addRow(const EntryRow& row) override;
    // Each row as addRow logs it; the batch's size goes to batchSizes().
    void addRows(std::vector<EntryRow> rows) override;
    void deleteAllItems() override { log("deleteAll"); }
    void invalidate() override { log("invalidate"); }
    void hideCancelButton() override { log("hideCancel"); }
    int messageBox(const MessageBoxRequest& request) override;
    void updateFromDocument() override;
    // Entry passwords: answered with `entryPassword` (logged as "password <entry>").
    std::optional<CredentialAnswer> askCredentials(const CredentialRequest& request) override;

    // What happened, in order: message names (with their texts), "row <name>", "box ...".
    std::vector<std::string> events() const;
    // Only the job messages, by name.
    std::vector<std::string> messages() const;
    std::vector<EntryRow> rows() const;
    std::vector<size_t> batchSizes() const;
    std::vector<MessageBoxRequest> boxes() const;
    int count(const std::string& event) const;
    int networkActivity() const;
    void clear();

    CZipDoc* doc = nullptr;
    std::deque<int> overwriteAnswers;  // answered in turn; empty: Cancel
    std::deque<int> messageBoxAnswers; // answered in turn; empty: the box's default
    std::function<void(const std::string& event)> onEvent; // runs after logging
    std::optional<std::string> entryPassword;

private:
    void log(std::string event);
    mutable std::mutex mutex_;
    std::vector<std::string> events_;
    std::vector<EntryRow> rows_;
    std::vector<size_t> batchSizes_;
    std::vector<MessageBoxRequest> boxes_;
    int networkActivity_ = 0;
};

class RecordingProgress : public IProgress {
public:
    void setPos(int32_t position) override { log("pos " + std::to_string(position)); }
    void setRange32(int32_t low, int32_t high) override;
    void setStep(int32_t step) override;
    void stepIt() override;
    std::vector<std::string> calls() const;
    int32_t rangeHigh() const;
    int64_t position() const; // as the control would show it, unclamped

private:
    void log(std::string call);
    mutable std::mutex mutex_;
    std::vector<std::string> calls_;
    int32_t high_ = 0;
    int64_t position_ = 0;
    int32_t step_ = 10;
};

using RecordingOpener = mgtest::RecordingOpener;

class RecordingFileTypes : public IFileTypeLookup {
public:
    FileTypeInfo lookup(const std::string& fileName) override;
    std::vector<std::string> asked() const;

private:
    mutable std::mutex mutex_;
    std::vector<std::string> asked_;
};

// A document wired to recording stand-ins, as the viewer wires it to its widgets.
class DocHarness {
public:
    explicit DocHarness(ArchiveSource& source);
    ~DocHarness();

    // The framework's open: waits until every job has ended. False on time-out.
    bool open(const std::string& address = "http://127.0.0.1/archive.zip");
    bool waitIdle(std::chrono::milliseconds timeout = std::chrono::seconds(30));

    JobSettings settings;
    QObject uiThread; // the calls' target thread: this test's main thread
    RecordingView view;
    RecordingProgress progress;
    RecordingOpener opener;
    RecordingFileTypes fileTypes;
    BlockingJobView viewAdapter{view, &uiThread};
    QueuedProgress progressAdapter{progress, &uiThread};
    PlainMarshalView plainView{view};
    PlainMarshalProgress plainProgress{progress};
    std::unique_ptr<CZipDoc> doc;
};

} // namespace coretest
