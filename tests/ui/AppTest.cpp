// Start-up: the mode decision, the command-line address, a quick re-open, saving at exit,
// and a command-line address opened against a real nginx.
#include "UiTestSupport.h"

#include "NginxServer.h"
#include "remote/RemoteArchiveSource.h"
#include "ui/CommandIds.h"
#include "ui/Commands.h"
#include "ui/MarrowglenApp.h"
#include "ui/MarrowglenView.h"
#include "ui/Prompts.h"
#include "ui/UrlBar.h"

#include "app/settings/ProgramSettings.h"
#include "monitor/MonitorControl.h"
#include "monitor/MonitorInstance.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <memory>

using namespace uitest;

TEST(ModeDecision, SlashMAtTheVeryEndStartsAMonitor) {
    EXPECT_TRUE(CMarrowglenApp::isMonitorCommandLine({"/usr/bin/marrowglen", "/m"}));
    EXPECT_FALSE(CMarrowglenApp::isMonitorCommandLine({"/usr/bin/marrowglen", "/M"}));
    EXPECT_FALSE(CMarrowglenApp::isMonitorCommandLine({"/usr/bin/marrowglen", "/m "}));
    EXPECT_FALSE(CMarrowglenApp::isMonitorCommandLine({"/usr/bin/marrowglen"}));
    EXPECT_TRUE(CMarrowglenApp::isMonitorCommandLine({"/usr/bin/marrowglen", "x", "/m"}));
}

TEST(ModeDecision, AnAddressEndingInSlashMOpensAViewerWhateverItsScheme) {
    for (const char* address : {"http://h/x/m", "ftp://h/x/m", "https://h/x/m", "HTTPS://h/x/m"})
        EXPECT_FALSE(CMarrowglenApp::isMonitorCommandLine({"/usr/bin/marrowglen", address}))
            << address;
}

TEST(StartAddress, TheFirstArgumentIsNormalised) {
    EXPECT_EQ(CMarrowglenApp::startAddress({"marrowglen", "host.example/a.zip"}),
              "http://host.example/a.zip");
    EXPECT_EQ(CMarrowglenApp::startAddress({"marrowglen", "https://h:8443/a.zip"}),
              "https://h:8443/a.zip");
    EXPECT_EQ(CMarrowglenApp::startAddress({"marrowglen"}), "");
}

// A local path is written as a file:// address once, its blanks encoded there: the "%20"
// that a pasted web address gets for a blank must not end up in a file's name.
TEST(StartAddress, ALocalPathWithBlanksNamesThatFile) {
    EXPECT_EQ(CMarrowglenApp::startAddress({"marrowglen", "/tmp/My Files/a b.zip"}),
              "file:///tmp/My%20Files/a%20b.zip");
    EXPECT_EQ(CMarrowglenApp::startAddress({"marrowglen", " h.example/a b.zip "}),
              "http://h.example/a%20b.zip");
}

TEST(UrlBar, ALocalPathWithBlanksTypedThereOpensThatFile) {
    uitest::Viewer viewer(uitest::makeZip({{"readme.txt", "hello"}}));
    ASSERT_TRUE(viewer.openAndList("/tmp/My Files/a b.zip"));
    EXPECT_EQ(viewer.source.lastAddress(), "file:///tmp/My%20Files/a%20b.zip");
}

// "/M", "/x" or "/m " start a viewer with no address, never one that is "not valid".
TEST(StartAddress, SwitchesAreNeverAddresses) {
    for (const char* argument : {"/M", "/x", "/m ", "/stop", "--stop-monitor", "-q"})
        EXPECT_EQ(CMarrowglenApp::startAddress({"marrowglen", argument}), "") << argument;
    EXPECT_EQ(CMarrowglenApp::startAddress({"marrowglen", "/M", "h.example/a.zip"}),
              "http://h.example/a.zip");
}

TEST(SettingsAtExit, AStoreThatCannotBeWrittenIsReported) {
    SettingsScope scope;
    EXPECT_TRUE(CMarrowglenApp::saveSettingsAtExit());
    EXPECT_TRUE(prompts::shownMessages().empty());
    mgtest::TempDir blocked("mgui-blocked");
    mgtest::writeFile(blocked.file("config"), "a file where a folder should be");
    const std::string saved = getenv("XDG_CONFIG_HOME");
    setenv("XDG_CONFIG_HOME", blocked.file("config").c_str(), 1);
    EXPECT_FALSE(CMarrowglenApp::saveSettingsAtExit());
    setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    ASSERT_EQ(prompts::shownMessages().size(), 1u);
    EXPECT_EQ(prompts::shownMessages()[0].caption, "Settings error");
    EXPECT_EQ(prompts::shownMessages()[0].icon, QMessageBox::Warning);
}

TEST(QuickReopen, RowsOfTwoListingsNeverMix) {
    Viewer viewer(makeZip({{"a.txt", "a"}, {"b/c.txt", "c"}, {"d.txt", "d"}}));
    viewer.frame->urlBar().edit()->setText("http://127.0.0.1/first.zip");
    viewer.frame->openFromUrlBar();
    viewer.frame->urlBar().edit()->setText("http://127.0.0.1/second.zip");
    viewer.frame->openFromUrlBar();
    ASSERT_TRUE(waitFor([&] {
        return viewer.jobsIdle() && viewer.source.lastAddress() == "http://127.0.0.1/second.zip" &&
               viewer.frame->commands().action(ID_FILE_CLOSE)->isEnabled();
    }));
    EXPECT_EQ(viewer.frame->view().itemCount(), 3);
    EXPECT_EQ(viewer.frame->paneText(ID_PANE_TOTAL), "Total files: 3");
}

TEST(CommandLine, AnAddressWithoutSchemeIsOpenedFromNginxAndListed) {
    mgtest::TempDir served("mgui-served");
    const auto archive = makeZip({{"one.txt", "1"}, {"sub/two.txt", "22"}});
    mgtest::writeFile(served.file("sample.zip"), std::string(archive.begin(), archive.end()));
    mgtest::NginxServer nginx(served.path());
    SettingsScope scope;
    RemoteArchiveSource source;
    CZipDoc doc(source);
    RecordingLauncher launcher;
    doc.onNewDocument();
    CMainFrame frame(doc, programSettings(), launcher);
    frame.show();
    const QString typed = QString("127.0.0.1:%1/sample.zip").arg(nginx.httpPort());
    const QString address = CMarrowglenApp::startAddress({"marrowglen", typed});
    frame.openStartAddress(address);
    ASSERT_TRUE(waitFor([&] {
        return !doc.anyJobRunning() && frame.view().itemCount() == 2 &&
               frame.commands().action(ID_FILE_CLOSE)->isEnabled();
    }));
    EXPECT_EQ(frame.urlBar().edit()->text(), address);
    EXPECT_EQ(frame.windowTitle(), "sample.zip - Marrowglen");
    EXPECT_EQ(frame.paneText(ID_PANE_TOTAL), "Total files: 2");
    doc.finishJobsForExit();
}

// The programs as the user runs them: the real executable, ended by a signal.
namespace {

QString settingsFile() {
    return qEnvironmentVariable("XDG_CONFIG_HOME") + "/marrowglen/HKEY_CURRENT_USER.ini";
}

std::unique_ptr<QProcess> startProgram(const QStringList& arguments) {
    auto process = std::make_unique<QProcess>();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    process->setProcessEnvironment(environment);
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process->start(MG_VIEWER_PATH, arguments);
    process->waitForStarted(5000);
    return process;
}

bool endsCleanlyOn(QProcess& process, int signalNumber) {
    ::kill(static_cast<pid_t>(process.processId()), signalNumber);
    return process.waitForFinished(15000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

} // namespace

TEST(EndingBySignal, TheViewerSavesItsSettingsAndLeavesNoSwapFile) {
    mgtest::TempDir served("mgui-ftp");
    const auto archive = makeZip({{"one.txt", "1"}, {"sub/two.txt", "22"}});
    mgtest::writeFile(served.file("a.zip"), std::string(archive.begin(), archive.end()));
    const int port = mgtest::freePort();
    mgtest::ChildProcess ftp({mgtest::DebianPython, "-m", "pyftpdlib", "-i", "127.0.0.1", "-p",
                              std::to_string(port), "-d", served.path()});
    ASSERT_TRUE(mgtest::waitForPort(port, std::chrono::seconds(5)));
    mgtest::TempDir tmp("mgui-signal-tmp");
    const QDir tmpFolder(QString::fromStdString(tmp.path()));
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
        ProgramSettings settings;
        settings.setDefaults();
        settings.tmpFolder = String(tmp.path().c_str());
        ASSERT_TRUE(settings.saveSettings());
        auto viewer = startProgram({QString("ftp://127.0.0.1:%1/a.zip").arg(port)});
        // The ftp reads keep the archive in a swap file while it is open.
        ASSERT_TRUE(waitFor([&] { return !tmpFolder.isEmpty(QDir::Files); }, 15000))
            << signalNumber;
        QFile::remove(settingsFile());
        EXPECT_TRUE(endsCleanlyOn(*viewer, signalNumber)) << signalNumber;
        EXPECT_TRUE(QFile::exists(settingsFile())) << signalNumber;
        EXPECT_EQ(tmpFolder.entryList(QDir::Files | QDir::Hidden), QStringList{}) << signalNumber;
    }
}

TEST(EndingBySignal, TheMonitorEndsOnASignalOrOnStopMonitor) {
    auto monitor = startProgram({"/m"});
    ASSERT_TRUE(waitFor([] { return monitor::isMonitorRunning(); }, 10000));
    EXPECT_TRUE(endsCleanlyOn(*monitor, SIGTERM));
    EXPECT_FALSE(QFile::exists(monitor::MonitorInstance::socketPath()));

    monitor = startProgram({"/m"});
    ASSERT_TRUE(waitFor([] { return monitor::isMonitorRunning(); }, 10000));
    auto stop = startProgram({"--stop-monitor"});
    ASSERT_TRUE(stop->waitForFinished(10000));
    EXPECT_EQ(stop->exitCode(), 0);
    EXPECT_EQ(stop->readAllStandardOutput(), "The clipboard monitor has ended.\n");
    EXPECT_TRUE(monitor->waitForFinished(10000));
    EXPECT_EQ(monitor->exitCode(), 0);
}
