// The main window: menus, tool bar, URL bar, the archive list and a status bar with the file
// counts, a progress bar and a Cancel button while a job runs.
#pragma once

#include "ui/FrameSide.h"

#include <QMainWindow>

#include <map>
#include <memory>

class CMarrowglenView;
class CUrlBar;
class CZipDoc;
class Commands;
class MonitorLauncher;
class ProgramSettings;
class ProgressControl;
class QLabel;
class QPushButton;
class QToolBar;
class BlockingJobView;
class QueuedProgress;

class CMainFrame : public QMainWindow, public IFrameSide {
public:
    static constexpr int initialWidth = 630;
    static constexpr int initialHeight = 420;

    CMainFrame(CZipDoc& doc, ProgramSettings& settings, MonitorLauncher& launcher);
    ~CMainFrame() override;

    // IFrameSide
    void showProgress() override;
    void hideProgress() override;
    void hideCancelButton() override;
    void setPaneText(int paneId, const QString& text) override;
    IProgress& progressControl() override;
    QWidget* mainWindow() override { return this; }
    void updateCommands() override;

    QString paneText(int paneId) const;
    CMarrowglenView& view() { return *view_; }
    Commands& commands() { return *commands_; }
    CUrlBar& urlBar() { return *urlBar_; }
    ProgressControl& progress() { return *progress_; }
    QPushButton& cancelButton() { return *cancelButton_; }
    QToolBar& toolBar() { return *toolBar_; }

    // The URL bar's Open: normalise, check, open. The field keeps what was typed.
    void openFromUrlBar();
    // An address from the command line: into the URL bar and opened.
    void openStartAddress(const QString& address);
    // F5: the address opened last, opened again (the URL bar's text when none was opened).
    void reopenCurrent();
    const QString& currentAddress() const { return currentAddress_; }
    // File > Open Remote Zip File.
    void onFileOpenUrl();
    void clearTemporaryFolder();
    void onSettings();
    void onAbout();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    // A dropped link opens as if typed into the URL bar (ui/LinkDrop.h).
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void addCommands();
    void buildMenus();
    void buildToolBar();
    void buildUrlBar();
    void buildStatusBar();
    void openAddress(const QString& address);
    // Into the history (without credentials) and the URL bar's drop-down.
    void rememberAddress(const QString& address);
    void updateTitle(const QString& documentTitle);

    CZipDoc& doc_;
    ProgramSettings& settings_;
    MonitorLauncher& launcher_;
    Commands* commands_;
    CMarrowglenView* view_ = nullptr;
    CUrlBar* urlBar_ = nullptr;
    QToolBar* urlToolBar_ = nullptr;
    QToolBar* toolBar_ = nullptr;
    ProgressControl* progress_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
    std::map<int, QLabel*> panes_;
    std::unique_ptr<BlockingJobView> jobView_;
    std::unique_ptr<QueuedProgress> jobProgress_;
    QString currentAddress_; // as opened, credentials included; never stored
    bool placementRestored_ = false;
    bool closing_ = false;
};
