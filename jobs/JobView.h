// What the jobs need of the user interface: the list view's side and the progress control.
// Every call but addRows is synchronous: a job waits until the user interface has handled it
// (the overwrite question relies on that). Calls are handled in the order they are made. The
// user interface implements these on its own thread; `BlockingJobView` carries calls from a
// worker onto that thread.
#pragma once

#include "jobs/EntryRow.h"
#include "jobs/JobMessages.h"

#include <optional>
#include <vector>

class IJobView {
public:
    virtual ~IJobView() = default;
    // Returns the receiver's answer: an OverwriteAnswer for WM_ASK_OVERWRITE, 0 otherwise.
    virtual int sendMessage(const JobMessage& message) = 0;
    // Returns at once; the message is handled later (WM_NETWORK_ACTIVITY).
    virtual void postMessage(uint32_t id) = 0;
    // The same message posted `times` times in a row, handled as those posts would be. A
    // reader of a large archive posts network activity hundreds of thousands of times while
    // the window is busy: a receiver can take them in one go.
    virtual void postRepeated(uint32_t id, int times) {
        for (int i = 0; i < times; ++i)
            postMessage(id);
    }
    virtual void addRow(const EntryRow& row) = 0;
    // Rows in list order, handed over together: a listing costs one call per batch instead
    // of one per row. The call may return before the rows are shown; later calls come after.
    virtual void addRows(std::vector<EntryRow> rows) {
        for (const EntryRow& row : rows)
            addRow(row);
    }
    virtual void deleteAllItems() = 0;
    // Redraws the whole list at once (so that the first row shows without waiting).
    virtual void invalidate() = 0;
    // The open cannot be cancelled: it hides the Cancel button that WM_JOB_STARTED showed.
    virtual void hideCancelButton() = 0;
    // Returns the MessageBoxAnswer of the button pressed.
    virtual int messageBox(const MessageBoxRequest& request) = 0;
    // The document asks its views to update (an open succeeded): empty the list and, when the
    // document is open, start the list job with this view.
    virtual void updateFromDocument() = 0;
    // Asks for a password or a sign-in; nothing when the user cancelled (or nobody can be
    // asked). The answer is never logged or shown.
    virtual std::optional<CredentialAnswer> askCredentials(const CredentialRequest& request) {
        (void)request;
        return std::nullopt;
    }
};

class IProgress {
public:
    virtual ~IProgress() = default;
    virtual void setPos(int32_t position) = 0;
    virtual void setRange32(int32_t low, int32_t high) = 0;
    virtual void setStep(int32_t step) = 0;
    virtual void stepIt() = 0;
    // `times` steps in a row, as many stepIt() calls would make them.
    virtual void stepBy(int times) {
        for (int i = 0; i < times; ++i)
            stepIt();
    }
};
