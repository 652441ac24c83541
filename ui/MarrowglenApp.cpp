#include "ui/MarrowglenApp.h"

#include "app/settings/ProgramSettings.h"
#include "jobs/ZipDoc.h"
#include "monitor/Monitor.h"
#include "platform/HttpClient.h"
#include "platform/qt/QtDesktopOpener.h"
#include "platform/qt/QtFileTypes.h"
#include "remote/RemoteArchiveSource.h"
#include "ui/Addresses.h"
#include "ui/MainFrame.h"
#include "ui/MarrowglenView.h"
#include "ui/MonitorLauncher.h"
#include "ui/Prompts.h"
#include "ui/TerminationSignals.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTimer>

#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

void initMarrowglenResources() {
    Q_INIT_RESOURCE(marrowglen);
}

bool CMarrowglenApp::isMonitorCommandLine(const QStringList& arguments) {
    const QString commandLine = arguments.join(' ');
    return commandLine.endsWith("/m") && !commandLine.contains("://");
}

bool CMarrowglenApp::isSwitch(const QString& argument) {
    static const QRegularExpression slashSwitch(QStringLiteral("^/[A-Za-z]+\\s*$"));
    return argument.startsWith(QLatin1Char('-')) || slashSwitch.match(argument).hasMatch();
}

QString CMarrowglenApp::startAddress(const QStringList& arguments) {
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (!argument.trimmed().isEmpty() && !isSwitch(argument))
            return addresses::normalised(argument);
    }
    return {};
}

namespace {

// Cancels the dialogs open now, innermost first, as if the user had cancelled them.
void cancelModalDialogs() {
    constexpr int kMaxNestedDialogs = 16;
    for (int i = 0; i < kMaxNestedDialogs; ++i) {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
    }
}

// Open dialogs are cancelled and the event loop ends; the main window then closes the normal
// way, outside any event's handling, so that its wait for the jobs can serve their calls.
// From now on no question waits for an answer: a job may still ask one (an open that the
// ending cuts short reports its failure), and a question nobody answers would hold the exit.
void endViewerOnSignal(CMainFrame& frame) {
    constexpr int kDialogWatchMs = 50;
    auto* watch = new QTimer(&frame);
    QObject::connect(watch, &QTimer::timeout, watch, cancelModalDialogs);
    watch->start(kDialogWatchMs);
    cancelModalDialogs();
    QCoreApplication::exit(0);
}

} // namespace

void CMarrowglenApp::holdProcessLock() {
    // Held (shared) for the life of the process; nothing examines it.
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    const QByteArray path = (folder + "/Marrowglen1DemoMutex").toLocal8Bit();
    const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd >= 0)
        ::flock(fd, LOCK_SH | LOCK_NB); // the descriptor stays open until exit
}

int CMarrowglenApp::run(QApplication& app) {
    std::signal(SIGPIPE, SIG_IGN);
    initHttpGlobal();
    initMarrowglenResources();
    holdProcessLock();
    ProgramSettings& settings = programSettings();
    if (!settings.loadSettings())
        settings.setDefaults();
    settings.ensureTemporaryFolder();
    app.setWindowIcon(QIcon(":/marrowglen/app.png"));

    TerminationSignals endSignals;
    if (isMonitorCommandLine(app.arguments())) {
        // The monitor takes its icon down and lets go of its socket once the loop ends.
        QObject::connect(&endSignals, &TerminationSignals::received, &app, &QCoreApplication::quit);
        return monitor::runMonitor(app);
    }
    m_strStartUrl = startAddress(app.arguments());
    const int result = runViewer(app, endSignals);
    saveSettingsAtExit();
    return result;
}

int CMarrowglenApp::runViewer(QApplication& app, TerminationSignals& endSignals) {
    RemoteArchiveSource source;
    // The FTP swap file and the spilled range cache live in the temporary folder.
    source.setSwapFolder(programSettings().tmpFolder.str());
    CZipDoc doc(source);
    QtDesktopOpener opener;
    QtFileTypes fileTypes(":/marrowglen/file32.png");
    doc.setDesktopOpener(&opener);
    doc.setFileTypeLookup(&fileTypes);
    doc.onNewDocument();
    int result = 0;
    {
        CMainFrame frame(doc, programSettings(), MonitorLauncher::system());
        frame.view().setIconLookup(
            [&fileTypes](const std::string& key) { return fileTypes.icon(key); });
        frame.show();
        bool endedBySignal = false;
        QObject::connect(&endSignals, &TerminationSignals::received, &frame, [&] {
            endedBySignal = true;
            endViewerOnSignal(frame);
        });
        if (!m_strStartUrl.isEmpty()) {
            QTimer::singleShot(0, &frame, [this, &frame] {
                frame.openStartAddress(m_strStartUrl);
                m_strStartUrl.clear();
            });
        }
        result = app.exec();
        if (endedBySignal)
            frame.close();
        doc.finishJobsForExit();
    } // the view stores its display type and sort order as it goes
    return result;
}

bool CMarrowglenApp::saveSettingsAtExit() {
    if (programSettings().saveSettings())
        return true;
    prompts::messageBox(nullptr, QMessageBox::Warning, saveFailedCaption, saveFailedText);
    return false;
}
