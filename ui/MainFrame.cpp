#include "ui/MainFrame.h"

#include "app/settings/AddressHistory.h"
#include "app/settings/ProgramSettings.h"
#include "jobs/BlockingJobView.h"
#include "jobs/ZipDoc.h"
#include "ui/AboutDlg.h"
#include "ui/Addresses.h"
#include "ui/CommandIds.h"
#include "ui/Commands.h"
#include "ui/EntryDrag.h"
#include "ui/LinkDrop.h"
#include "ui/MarrowglenView.h"
#include "ui/MonitorLauncher.h"
#include "ui/OpenUrlDlg.h"
#include "ui/ProgressControl.h"
#include "ui/Prompts.h"
#include "ui/SettingsDlg.h"
#include "ui/TemporaryFolderCleaner.h"
#include "ui/UrlBar.h"
#include "ui/WebPages.h"
#include "ui/WindowPlacement.h"

#include <QCloseEvent>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>

namespace {

const QString kBlankTotal(24, ' ');
const QString kBlankSelected(26, ' ');
const QString kBlankLabel(16, ' ');

} // namespace

CMainFrame::CMainFrame(CZipDoc& doc, ProgramSettings& settings, MonitorLauncher& launcher)
    : doc_(doc), settings_(settings), launcher_(launcher), commands_(new Commands(this)) {
    setWindowIcon(QIcon(":/marrowglen/app.png"));
    setAcceptDrops(true);
    resize(initialWidth, initialHeight);
    view_ = new CMarrowglenView(doc_, settings_, *this, *commands_, this);
    setCentralWidget(view_);
    addCommands();
    buildMenus();
    buildToolBar();
    buildUrlBar();
    buildStatusBar();
    hideProgress();

    connect(&doc_, &CZipDoc::titleChanged, this, &CMainFrame::updateTitle);
    connect(&doc_, &CZipDoc::jobEnded, this, &CMainFrame::updateCommands);
    connect(&doc_, &CZipDoc::documentReset, this, [this] {
        setPaneText(ID_PANE_TOTAL, kBlankTotal);
        setPaneText(ID_PANE_SELECTED, kBlankSelected);
    });
    jobView_ = std::make_unique<BlockingJobView>(*view_, view_);
    jobProgress_ = std::make_unique<QueuedProgress>(*progress_, progress_);
    doc_.attachUi(jobView_.get(), jobProgress_.get());
    updateTitle(QString::fromUtf8(doc_.title().text()));
    updateCommands();
}

CMainFrame::~CMainFrame() {
    doc_.detachUi();
    EntryDrag::removeFolders();
}

// --- Commands ----------------------------------------------------------------------------

void CMainFrame::addCommands() {
    Commands& c = *commands_;
    c.add(ID_FILE_NEW, "&New", [this] {
         doc_.onNewDocument();
         view_->onUpdate();
     })->setShortcut(QKeySequence("Ctrl+N"));
    c.add(ID_FILE_OPEN_URL, "&Open Remote Zip File...", [this] {
         onFileOpenUrl();
     })->setShortcut(QKeySequence("Ctrl+O"));
    // The framework's Save would write an empty file; Ctrl+S saves the archive instead.
    c.add(ID_FILE_SAVE, "Save", [this] {
         commands_->trigger(ID_SAVE_ZIP);
     })->setShortcut(QKeySequence("Ctrl+S"));
    c.add(ID_FILE_CLOSE, "&Close Zip File", [this] { doc_.closeArchive(); });
    c.add(ID_APP_EXIT, "E&xit", [this] { close(); });
    c.add(ID_CLEAR_TMP, "&Clear Temporary Folder", [this] { clearTemporaryFolder(); });
    c.add(ID_SETTINGS, "&Settings", [this] { onSettings(); });
    c.add(ID_VIEW_TOOLBAR, "&Toolbar", [this] { toolBar_->setVisible(!toolBar_->isVisible()); });
    c.add(ID_VIEW_URLBAR, "&URL Bar",
          [this] { urlToolBar_->setVisible(!urlToolBar_->isVisible()); });
    c.add(ID_VIEW_STATUS_BAR, "&Status Bar",
          [this] { statusBar()->setVisible(!statusBar()->isVisible()); });
    const struct {
        int id;
        const char* text;
        QUrl (*page)();
    } pages[] = {{ID_HELP_GUIDE, "Marrowglen &Help", webpages::userGuide},
                 {ID_HELP_HOME, "Brindlecot Home&page", webpages::home},
                 {ID_HELP_SUPPORT, "Support", webpages::support},
                 {ID_HELP_SUGGEST, "Make a Suggestion", webpages::suggestion},
                 {ID_HELP_BUG, "Report a Bug", webpages::reportBug}};
    for (const auto& p : pages) {
        auto page = p.page;
        c.add(p.id, p.text, [page] { prompts::openWithDesktop(page()); });
    }
    c.add(ID_APP_ABOUT, "&About Marrowglen...", [this] { onAbout(); });
    c.add(ID_CANCEL_JOBS, "Cancel", [this] { doc_.cancelAllJobs(); });
    c.add(ID_FOCUS_URL, "Open &Location", [this] {
         if (urlToolBar_->isHidden())
             urlToolBar_->show();
         urlBar_->focusAndSelect();
     })->setShortcut(QKeySequence("Ctrl+L"));
    c.add(ID_RELOAD, "&Reload", [this] { reopenCurrent(); })->setShortcut(Qt::Key_F5);
    c.add(ID_NEXT_PANE, "Next Pane", [this] { focusNextChild(); })->setShortcut(Qt::Key_F6);
    c.add(ID_PREV_PANE, "Previous Pane", [this] {
         focusPreviousChild();
     })->setShortcut(QKeySequence("Shift+F6"));
    for (int id : {ID_FILE_NEW, ID_FILE_SAVE, ID_NEXT_PANE, ID_PREV_PANE, ID_FOCUS_URL, ID_RELOAD})
        addAction(c.action(id)); // accelerators without a menu entry

    const struct {
        int id;
        const char* tip;
        const char* icon;
    } tips[] = {{ID_FILE_OPEN_URL, "Open a remote zip file", "open"},
                {ID_SAVE_ZIP, "Download the whole Zip File", "save"},
                {ID_EXTRACT_ZIP, "Extract the whole zip file", "extract"},
                {ID_FILE_CLOSE, "Close the active zip file", "close"},
                {ID_SETTINGS, "Settings", "settings"},
                {ID_HELP_GUIDE, "Marrowglen Help", "help"},
                {ID_APP_ABOUT, "Display program information", "about"}};
    for (const auto& t : tips) {
        QAction* action = c.action(t.id);
        action->setToolTip(t.tip);
        action->setStatusTip(t.tip);
        action->setIcon(QIcon(QString(":/marrowglen/%1.png").arg(t.icon)));
    }
}

void CMainFrame::buildMenus() {
    const Commands& c = *commands_;
    QMenu* file = menuBar()->addMenu("&File");
    for (int id : {ID_FILE_OPEN_URL, ID_SAVE_ZIP, ID_EXTRACT_ZIP, ID_FILE_CLOSE})
        file->addAction(c.action(id));
    file->addSeparator();
    file->addAction(c.action(ID_APP_EXIT));
    QMenu* tools = menuBar()->addMenu("&Tools");
    tools->addAction(c.action(ID_CLEAR_TMP));
    tools->addAction(c.action(ID_SETTINGS));
    QMenu* view = menuBar()->addMenu("&View");
    for (int id : {ID_VIEW_TOOLBAR, ID_VIEW_URLBAR, ID_VIEW_STATUS_BAR}) {
        c.action(id)->setCheckable(true);
        view->addAction(c.action(id));
    }
    QMenu* help = menuBar()->addMenu("&Help");
    for (int id : {ID_HELP_GUIDE, ID_HELP_HOME, ID_HELP_SUPPORT, ID_HELP_SUGGEST, ID_HELP_BUG})
        help->addAction(c.action(id));
    help->addSeparator();
    help->addAction(c.action(ID_APP_ABOUT));
}

void CMainFrame::buildToolBar() {
    toolBar_ = addToolBar("ToolBar");
    toolBar_->setObjectName("ToolBar");
    toolBar_->setIconSize(QSize(32, 32));
    toolBar_->setAllowedAreas(Qt::AllToolBarAreas);
    for (int id : {ID_FILE_OPEN_URL, ID_SAVE_ZIP, ID_EXTRACT_ZIP, ID_FILE_CLOSE, ID_SETTINGS})
        toolBar_->addAction(commands_->action(id));
    toolBar_->addSeparator();
    toolBar_->addAction(commands_->action(ID_HELP_GUIDE));
    toolBar_->addAction(commands_->action(ID_APP_ABOUT));
    connect(toolBar_, &QToolBar::visibilityChanged, this, &CMainFrame::updateCommands);
}

void CMainFrame::buildUrlBar() {
    addToolBarBreak();
    urlToolBar_ = addToolBar("URL Bar");
    urlToolBar_->setObjectName(QString::number(ID_URL_BAR));
    urlToolBar_->setAllowedAreas(Qt::AllToolBarAreas);
    urlBar_ = new CUrlBar(urlToolBar_);
    urlToolBar_->addWidget(urlBar_);
    connect(urlBar_, &CUrlBar::openRequested, this, &CMainFrame::openFromUrlBar);
    QStringList history;
    for (const std::string& address : AddressHistory::load())
        history << QString::fromStdString(address);
    urlBar_->setHistory(history);
    connect(urlToolBar_, &QToolBar::visibilityChanged, this, &CMainFrame::updateCommands);
}

// The panes, the progress bar and Cancel are permanent widgets: a status tip (a tool-bar
// button under the mouse) takes the bar's message area only and never hides them.
void CMainFrame::buildStatusBar() {
    QStatusBar* bar = statusBar();
    const struct {
        int id;
        const char* sizing;
        QString text;
    } panes[] = {{ID_PANE_TOTAL, "Total files: 000000", kBlankTotal},
                 {ID_PANE_SELECTED, "Selected files: 000000", kBlankSelected},
                 {ID_PANE_PROGRESS_LABEL, "Progress:", kBlankLabel}};
    for (const auto& p : panes) {
        auto* label = new QLabel(p.text, bar);
        label->setMinimumWidth(label->fontMetrics().horizontalAdvance(p.sizing) + 8);
        bar->addPermanentWidget(label);
        panes_[p.id] = label;
    }
    progress_ = new ProgressControl(bar);
    progress_->setMaximumHeight(16);
    bar->addPermanentWidget(progress_, 1); // the progress pane stretches
    cancelButton_ = new QPushButton("Cancel", bar);
    cancelButton_->setObjectName(QString::number(ID_CANCEL_JOBS));
    cancelButton_->setMaximumHeight(20);
    bar->addPermanentWidget(cancelButton_);
    connect(cancelButton_, &QPushButton::clicked, this,
            [this] { commands_->trigger(ID_CANCEL_JOBS); });
}

// --- Status bar and progress ---------------------------------------------------------------

void CMainFrame::showProgress() {
    progress_->show();
    setPaneText(ID_PANE_PROGRESS_LABEL, "Progress:");
    // Shown enabled: there is no idle pass that would enable it later.
    cancelButton_->setEnabled(true);
    cancelButton_->show();
}

void CMainFrame::hideProgress() {
    progress_->hide();
    setPaneText(ID_PANE_PROGRESS_LABEL, kBlankLabel);
    cancelButton_->hide();
}

void CMainFrame::hideCancelButton() {
    cancelButton_->hide();
}

void CMainFrame::setPaneText(int paneId, const QString& text) {
    const auto found = panes_.find(paneId);
    if (found != panes_.end())
        found->second->setText(text);
}

QString CMainFrame::paneText(int paneId) const {
    const auto found = panes_.find(paneId);
    return found == panes_.end() ? QString() : found->second->text();
}

IProgress& CMainFrame::progressControl() {
    return *progress_;
}

void CMainFrame::updateCommands() {
    if (view_ == nullptr || toolBar_ == nullptr || urlToolBar_ == nullptr)
        return; // still being built
    const bool running = doc_.anyJobRunning();
    view_->updateCommands(running);
    // Every command that starts a job waits for the running one: New and a rate change in
    // Settings list the archive again.
    for (int id : {ID_FILE_OPEN_URL, ID_FILE_NEW, ID_SETTINGS, ID_RELOAD})
        commands_->setEnabled(id, !running);
    commands_->setEnabled(ID_FILE_CLOSE, doc_.isOpen() && !running);
    commands_->setChecked(ID_VIEW_TOOLBAR, !toolBar_->isHidden());
    commands_->setChecked(ID_VIEW_URLBAR, !urlToolBar_->isHidden());
    commands_->setChecked(ID_VIEW_STATUS_BAR, !statusBar()->isHidden());
}

void CMainFrame::updateTitle(const QString& documentTitle) {
    setWindowTitle(documentTitle.isEmpty() ? QString("Marrowglen")
                                           : documentTitle + " - Marrowglen");
}

// --- Opening -----------------------------------------------------------------------------

void CMainFrame::openFromUrlBar() {
    const QString typed = urlBar_->edit()->text();
    if (typed.isEmpty())
        return;
    openAddress(addresses::normalised(typed));
}

void CMainFrame::openStartAddress(const QString& address) {
    urlBar_->edit()->setText(address);
    openFromUrlBar();
}

void CMainFrame::openAddress(const QString& address) {
    if (!addresses::isValid(address)) {
        prompts::messageBox(this, QMessageBox::Information, "Can't open remote file",
                            "The entered URL is not valid");
        return;
    }
    rememberAddress(address);
    doc_.onOpenDocument(String(address.toUtf8().toStdString()));
    updateCommands();
}

void CMainFrame::rememberAddress(const QString& address) {
    currentAddress_ = address;
    QStringList history;
    for (const std::string& entry : AddressHistory::remember(address.toStdString()))
        history << QString::fromStdString(entry);
    urlBar_->setHistory(history);
}

void CMainFrame::reopenCurrent() {
    if (currentAddress_.isEmpty())
        openFromUrlBar();
    else
        openAddress(currentAddress_);
}

void CMainFrame::onFileOpenUrl() {
    COpenUrlDlg dialog(this);
    if (prompts::runModal(dialog) != QDialog::Accepted || dialog.urlText.isEmpty())
        return;
    const QString address = addresses::normalised(dialog.urlText);
    if (!addresses::isValid(address)) {
        prompts::messageBox(this, QMessageBox::Information, "Can't open remote file",
                            "The entered URL is not valid");
        return;
    }
    rememberAddress(address);
    doc_.onOpenDocument(String(address.toUtf8().toStdString()));
    urlBar_->edit()->setText(address);
    updateCommands();
}

// --- Tools and Help ------------------------------------------------------------------------

void CMainFrame::clearTemporaryFolder() {
    const QString folder = QString::fromUtf8(settings_.tmpFolder.text());
    const QString question = "Warning! ALL files and folders in the temporary folder, which is "
                             "located at:\r\n" +
                             folder + "\r\nwill be permanently DELETED! Proceed?";
    if (prompts::messageBox(this, QMessageBox::Warning, "Clear Temporary Folder", question,
                            QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes)
        clearFolderContents(settings_.tmpFolder.str());
}

void CMainFrame::onSettings() {
    const bool oldRate = settings_.winzipRate;
    CSettingsDlg dialog(settings_, launcher_, this);
    if (prompts::runModal(dialog) == QDialog::Accepted && settings_.winzipRate != oldRate)
        view_->onUpdate(); // lists again so that the Rate column is recomputed
}

void CMainFrame::onAbout() {
    CAboutDlg dialog(this);
    prompts::runModal(dialog);
}

// --- Window events -------------------------------------------------------------------------

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (doc_.isOpen())
        doc_.closeArchive();
    // The jobs call into this window; let them finish before it goes.
    doc_.finishJobsForExit();
    WindowPlacement::save(*this);
    event->accept();
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event) {
    linkdrop::acceptIfLink(*event);
}

void CMainFrame::dragMoveEvent(QDragMoveEvent* event) {
    linkdrop::acceptIfLink(*event);
}

void CMainFrame::dropEvent(QDropEvent* event) {
    const QString address = linkdrop::acceptIfLink(*event);
    if (address.isEmpty())
        return;
    // Opened once the drop has been answered: the source waits for that answer, and the
    // open may show a message box.
    QTimer::singleShot(0, this, [this, address] {
        urlBar_->edit()->setText(address);
        openFromUrlBar();
    });
}

void CMainFrame::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!placementRestored_) {
        placementRestored_ = true;
        WindowPlacement::restore(*this);
    }
}
