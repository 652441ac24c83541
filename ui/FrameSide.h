// What the list view asks of the main frame: the status bar, the progress control, the URL
// bar and the command table. The frame implements it; view tests use a small stand-in.
#pragma once

#include <QString>

class Commands;
class IProgress;
class QWidget;

class IFrameSide {
public:
    virtual ~IFrameSide() = default;
    virtual void showProgress() = 0;
    virtual void hideProgress() = 0;
    // The open job cannot be cancelled: it takes the Cancel button away again.
    virtual void hideCancelButton() = 0;
    virtual void setPaneText(int paneId, const QString& text) = 0;
    // Lives on the user-interface thread; jobs reach it through a queued wrapper.
    virtual IProgress& progressControl() = 0;
    // Owner of message boxes and dialogs.
    virtual QWidget* mainWindow() = 0;
    // Commands changed their enabled state or check marks.
    virtual void updateCommands() = 0;
};
