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

#include <QLineEdit>
#include <gtest/gtest.h>

#include <cstdlib>

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
