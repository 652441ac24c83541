// The main frame over a real document: URL bar, command enabling, status panes, Help pages,
// Settings, the temporary folder and the window placement.
#include "UiTestSupport.h"

#include "app/settings/RegistryKey.h"
#include "ui/CommandIds.h"
#include "ui/Commands.h"
#include "ui/MarrowglenView.h"
#include "ui/ProgressControl.h"
#include "ui/Prompts.h"
#include "ui/SettingsDlg.h"
#include "ui/UrlBar.h"
#include "ui/WindowPlacement.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QEnterEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>
#include <gtest/gtest.h>

#include <filesystem>

using namespace uitest;

namespace {

const std::map<std::string, std::string> kFiles = {
    {"readme.txt", "hello"}, {"docs/guide.txt", std::string(5000, 'g')}, {"img/a.bin", "xyz"}};

std::string storedFolder(const ProgramSettings& settings) {
    RegistryKey key;
    if (!key.open(settings.settingsPath.text(), false))
        return {};
    char buffer[1024] = {};
    uint32_t type = 0;
    uint32_t size = sizeof buffer - 1;
    const bool read = key.queryValue("tmpfolder", &type, buffer, &size);
    key.close();
    return read ? std::string(buffer, size) : std::string();
}

bool commandEnabled(CMainFrame& frame, int id) {
    return frame.commands().action(id)->isEnabled();
}

} // namespace

TEST(UrlBar, LayoutLeavesRoomForTheOpenButton) {
    const UrlBarGeometry geometry = urlBarLayout(800, 8);
    EXPECT_EQ(geometry.edit, QRect(0, 0, 754, 20));
    EXPECT_EQ(geometry.button, QRect(755, 0, 40, 20));
}

TEST(UrlBar, TypedAddressIsNormalisedAndTheArchiveListed) {
    Viewer viewer(makeZip(kFiles));
    ASSERT_TRUE(viewer.openAndList("127.0.0.1/archive.zip"));
    EXPECT_EQ(viewer.source.lastAddress(), "http://127.0.0.1/archive.zip");
    EXPECT_EQ(viewer.frame->urlBar().edit()->text(), "127.0.0.1/archive.zip");
    EXPECT_EQ(viewer.frame->view().itemCount(), 3);
    EXPECT_EQ(viewer.frame->paneText(ID_PANE_TOTAL), "Total files: 3");
    EXPECT_EQ(viewer.frame->paneText(ID_PANE_SELECTED), "Selected files: 0");
    EXPECT_EQ(viewer.frame->windowTitle(), "archive.zip - Marrowglen");
    EXPECT_FALSE(viewer.frame->progress().isVisible());
}

TEST(UrlBar, OtherSchemesBecomeHttpAndAPortSurvives) {
    Viewer viewer(makeZip(kFiles));
    ASSERT_TRUE(viewer.openAndList("gopher://127.0.0.1:8080/archive.zip"));
    EXPECT_EQ(viewer.source.lastAddress(), "http://127.0.0.1:8080/archive.zip");
}

TEST(UrlBar, InvalidAddressIsRefusedAndEmptyDoesNothing) {
    Viewer viewer(makeZip(kFiles));
    viewer.frame->urlBar().edit()->setText("");
    viewer.frame->openFromUrlBar();
    EXPECT_TRUE(prompts::shownMessages().empty());
    viewer.frame->urlBar().edit()->setText("http://");
    viewer.frame->openFromUrlBar();
    ASSERT_EQ(prompts::shownMessages().size(), 1u);
    EXPECT_EQ(prompts::shownMessages()[0].text, "The entered URL is not valid");
    EXPECT_EQ(prompts::shownMessages()[0].caption, "Can't open remote file");
    EXPECT_FALSE(viewer.doc.isOpen());
}

TEST(Commands, GreyedWhileAJobRunsAndBackAfterwards) {
    Viewer viewer(makeZip(kFiles));
    CMainFrame& frame = *viewer.frame;
    EXPECT_TRUE(commandEnabled(frame, ID_FILE_OPEN_URL));
    EXPECT_FALSE(commandEnabled(frame, ID_FILE_CLOSE));
    EXPECT_FALSE(commandEnabled(frame, ID_SAVE_ZIP));
    viewer.source.holdNextRange();
    frame.urlBar().edit()->setText("http://127.0.0.1/archive.zip");
    frame.openFromUrlBar();
    ASSERT_TRUE(waitFor([&] { return viewer.source.isHeld(); }));
    QTest::qWait(50);
    for (int id : {ID_FILE_OPEN_URL, ID_FILE_CLOSE, ID_SAVE_ZIP, ID_EXTRACT_ZIP, ID_PREVIEW,
                   ID_EXTRACT_SELECTED, ID_REFRESH, ID_FILE_NEW, ID_SETTINGS})
        EXPECT_FALSE(commandEnabled(frame, id)) << id;
    // Ctrl+N would list the directory the open job is still filling.
    QTest::keyClick(&frame, Qt::Key_N, Qt::ControlModifier);
    EXPECT_FALSE(viewer.doc.listJob().isRunning());
    EXPECT_TRUE(commandEnabled(frame, ID_VIEW_LIST));
    EXPECT_TRUE(frame.progress().isVisible());
    EXPECT_EQ(frame.paneText(ID_PANE_PROGRESS_LABEL), "Progress:");
    EXPECT_FALSE(frame.cancelButton().isVisible()); // an open cannot be cancelled
    viewer.source.release();
    ASSERT_TRUE(waitFor([&] { return viewer.jobsIdle() && frame.view().itemCount() == 3; }));
    QTest::qWait(50);
    for (int id : {ID_FILE_OPEN_URL, ID_FILE_CLOSE, ID_SAVE_ZIP, ID_EXTRACT_ZIP, ID_PREVIEW})
        EXPECT_TRUE(commandEnabled(frame, id)) << id;
    EXPECT_FALSE(frame.progress().isVisible());
    EXPECT_EQ(frame.paneText(ID_PANE_PROGRESS_LABEL), QString(16, ' '));
}

TEST(Commands, CloseEmptiesTheListAndBlanksTheCounts) {
    Viewer viewer(makeZip(kFiles));
    ASSERT_TRUE(viewer.openAndList());
    viewer.frame->commands().trigger(ID_FILE_CLOSE);
    ASSERT_TRUE(waitFor([&] { return !viewer.doc.isOpen(); }));
    EXPECT_EQ(viewer.frame->view().itemCount(), 0);
    EXPECT_EQ(viewer.frame->paneText(ID_PANE_TOTAL), QString(24, ' '));
    EXPECT_EQ(viewer.frame->windowTitle(), "no file - Marrowglen");
}

TEST(Commands, CtrlSSavesTheArchiveInsteadOfAnEmptyFile) {
    const auto archive = makeZip(kFiles);
    Viewer viewer(archive);
    ASSERT_TRUE(viewer.openAndList());
    const std::string target = viewer.scope.tmp().file("saved.zip");
    prompts::queueSaveFile(QString::fromStdString(target));
    QTest::keyClick(viewer.frame.get(), Qt::Key_S, Qt::ControlModifier);
    ASSERT_TRUE(waitFor([&] { return viewer.jobsIdle() && std::filesystem::exists(target); }));
    EXPECT_EQ(std::filesystem::file_size(target), archive.size());
}

TEST(Commands, HelpPagesOpenOnTheMakersServer) {
    Viewer viewer(makeZip(kFiles));
    viewer.frame->commands().trigger(ID_HELP_GUIDE);
    viewer.frame->commands().trigger(ID_HELP_BUG);
    ASSERT_EQ(prompts::openedUrls().size(), 2u);
    EXPECT_EQ(prompts::openedUrls()[0].toString(),
              "http://www.brindlecot.example/userGuide.asp?id=7");
    EXPECT_EQ(prompts::openedUrls()[1].toString(),
              "http://www.brindlecot.example/supportReportBug.asp");
}

TEST(Commands, ToolBarHoldsItsButtonsAndTheBarsToggle) {
    Viewer viewer(makeZip(kFiles));
    QStringList tips;
    for (QAction* action : viewer.frame->toolBar().actions())
        if (!action->isSeparator())
            tips << action->toolTip();
    EXPECT_EQ(tips, (QStringList{"Open a remote zip file", "Download the whole Zip File",
                                 "Extract the whole zip file", "Close the active zip file",
                                 "Settings", "Marrowglen Help", "Display program information"}));
    EXPECT_TRUE(viewer.frame->commands().action(ID_VIEW_TOOLBAR)->isChecked());
    viewer.frame->commands().trigger(ID_VIEW_TOOLBAR);
    EXPECT_FALSE(viewer.frame->toolBar().isVisible());
    EXPECT_FALSE(viewer.frame->commands().action(ID_VIEW_TOOLBAR)->isChecked());
}

TEST(SettingsDialog, OnlyAModeChangeWritesTheStoreAndRestartsTheMonitor) {
    SettingsScope scope;
    ProgramSettings& settings = scope.settings();
    RecordingLauncher launcher;
    const std::string other = scope.tmp().file("other");
    {
        CSettingsDlg dialog(settings, launcher);
        dialog.folderField()->setText(QString::fromStdString(other));
        dialog.accept();
    }
    EXPECT_EQ(settings.tmpFolder.str(), other);
    EXPECT_TRUE(std::filesystem::is_directory(other));
    EXPECT_TRUE(launcher.calls.empty());
    RegistryKey key;
    EXPECT_NE(storedFolder(settings), other) << "a folder change waits for the viewer's exit";

    CSettingsDlg toOpen(settings, launcher);
    toOpen.monitorGroup()->button(1)->click(); // monitor and open immediately
    toOpen.accept();
    EXPECT_EQ(settings.monitorMode, 2);
    EXPECT_EQ(launcher.calls, (std::vector<std::string>{"stop", "start"}));
    ASSERT_TRUE(key.open(settings.settingsPath.text(), false));
    uint32_t type = 0;
    uint32_t mode = 0;
    uint32_t size = sizeof mode;
    EXPECT_TRUE(key.queryValue("monitor", &type, &mode, &size));
    EXPECT_EQ(mode, 2u);
    key.close();
    EXPECT_EQ(storedFolder(settings), other) << "a mode change writes every value";

    launcher.calls.clear();
    CSettingsDlg toOff(settings, launcher);
    toOff.monitorGroup()->button(0)->click();
    toOff.accept();
    EXPECT_EQ(launcher.calls, (std::vector<std::string>{"stop"}));
}

TEST(SettingsDialog, BrowseFillsTheFolderAndUnusableFoldersFallBack) {
    SettingsScope scope;
    RecordingLauncher launcher;
    CSettingsDlg dialog(scope.settings(), launcher);
    prompts::queueFolder("/chosen/folder");
    dialog.browseButton()->click();
    EXPECT_EQ(dialog.folderField()->text(), "/chosen/folder");
    dialog.folderField()->setText("/proc/no-such-folder/x");
    dialog.accept();
    EXPECT_EQ(scope.settings().tmpFolder.str(), defaultTemporaryFolder().str());
}

TEST(SettingsDialog, ChangingTheRateListsAgain) {
    Viewer viewer(makeZip(kFiles));
    ASSERT_TRUE(viewer.openAndList());
    const uint32_t before = CMarrowglenView::nextItemNumber();
    prompts::queueDialogAction([](QDialog& dialog) {
        auto& settings = static_cast<CSettingsDlg&>(dialog);
        settings.rateGroup()->button(0)->click();
        settings.accept();
        return int(QDialog::Accepted);
    });
    viewer.frame->commands().trigger(ID_SETTINGS);
    ASSERT_TRUE(
        waitFor([&] { return viewer.jobsIdle() && viewer.frame->view().itemCount() == 3; }));
    EXPECT_EQ(CMarrowglenView::nextItemNumber(), before + 3) << "item numbers continue";
}

TEST(TemporaryFolder, ClearingKeepsTheFolderAndNeverFollowsLinks) {
    Viewer viewer(makeZip(kFiles));
    namespace fs = std::filesystem;
    const std::string tmp = viewer.scope.tmp().path();
    mgtest::TempDir outside("mgui-outside");
    mgtest::writeFile(outside.file("keep.txt"), "keep");
    fs::create_directories(tmp + "/sub/deeper");
    mgtest::writeFile(tmp + "/sub/deeper/x.txt", "x");
    mgtest::writeFile(tmp + "/a.txt", "a");
    fs::create_directory_symlink(outside.path(), tmp + "/link");

    prompts::queueMessageBoxAnswer(QMessageBox::No);
    viewer.frame->commands().trigger(ID_CLEAR_TMP);
    EXPECT_TRUE(fs::exists(tmp + "/a.txt"));
    ASSERT_FALSE(prompts::shownMessages().empty());
    EXPECT_EQ(prompts::shownMessages().back().caption, "Clear Temporary Folder");
    EXPECT_TRUE(prompts::shownMessages().back().text.contains(QString::fromStdString(tmp)));

    prompts::queueMessageBoxAnswer(QMessageBox::Yes);
    viewer.frame->commands().trigger(ID_CLEAR_TMP);
    EXPECT_TRUE(fs::is_directory(tmp));
    EXPECT_TRUE(fs::is_empty(tmp));
    EXPECT_TRUE(fs::exists(outside.file("keep.txt")));
}

TEST(WindowPlacementStore, RoundTripAndMalformedValues) {
    SettingsScope scope;
    WindowPlacement placement;
    placement.showState = WindowPlacement::Maximised;
    placement.normal = QRect(10, 20, 300, 200);
    const QByteArray record = placement.toRecord();
    ASSERT_EQ(record.size(), 44);
    const auto back = WindowPlacement::fromRecord(record);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->normal, placement.normal);
    EXPECT_EQ(back->showState, WindowPlacement::Maximised);
    EXPECT_FALSE(WindowPlacement::fromRecord(record.left(40)).has_value());

    QWidget window;
    window.setGeometry(40, 50, 500, 300);
    ASSERT_TRUE(WindowPlacement::save(window));
    QWidget restored;
    restored.setGeometry(0, 0, 100, 100);
    ASSERT_TRUE(WindowPlacement::restore(restored));
    EXPECT_EQ(restored.geometry(), QRect(40, 50, 500, 300));
}

TEST(Closing, TheWindowClosesTheArchiveFirstAndKeepsItsPlacement) {
    Viewer viewer(makeZip(kFiles));
    ASSERT_TRUE(viewer.openAndList());
    viewer.frame->setGeometry(30, 40, 640, 400);
    EXPECT_TRUE(viewer.frame->close());
    EXPECT_FALSE(viewer.doc.isOpen());
    EXPECT_EQ(viewer.doc.title().str(), "no file");
    QWidget restored;
    ASSERT_TRUE(WindowPlacement::restore(restored));
    EXPECT_EQ(restored.geometry().size(), QSize(640, 400));
}

TEST(Commands, CancelIsShownEnabledWhileASaveRunsAndStopsIt) {
    Viewer viewer(makeZip(kFiles));
    ASSERT_TRUE(viewer.openAndList());
    const std::string target = viewer.scope.tmp().file("partial.zip");
    prompts::queueSaveFile(QString::fromStdString(target));
    viewer.source.holdNextRange();
    viewer.frame->commands().trigger(ID_SAVE_ZIP);
    ASSERT_TRUE(waitFor([&] { return viewer.source.isHeld(); }));
    ASSERT_TRUE(waitFor([&] { return viewer.frame->cancelButton().isVisible(); }));
    EXPECT_TRUE(viewer.frame->cancelButton().isEnabled());
    viewer.frame->cancelButton().click();
    viewer.source.release();
    ASSERT_TRUE(waitFor([&] { return viewer.jobsIdle(); }));
    QTest::qWait(50);
    EXPECT_FALSE(viewer.frame->cancelButton().isVisible());
    EXPECT_FALSE(viewer.frame->progress().isVisible());
}

TEST(UrlBar, PastedBlanksGoAndSpacesAreEncoded) {
    Viewer viewer(makeZip(kFiles));
    ASSERT_TRUE(viewer.openAndList(" \t127.0.0.1/my archive.zip  "));
    EXPECT_TRUE(prompts::shownMessages().empty());
    EXPECT_EQ(viewer.source.lastAddress(), "http://127.0.0.1/my%20archive.zip");
}

TEST(StatusBar, StatusTipsLeaveTheCountsProgressAndCancel) {
    Viewer viewer(makeZip(kFiles));
    ASSERT_TRUE(viewer.openAndList());
    CMainFrame& frame = *viewer.frame;
    prompts::queueSaveFile(QString::fromStdString(viewer.scope.tmp().file("copy.zip")));
    viewer.source.holdNextRange();
    frame.commands().trigger(ID_SAVE_ZIP);
    ASSERT_TRUE(
        waitFor([&] { return viewer.source.isHeld() && frame.cancelButton().isVisible(); }));
    // The mouse comes over a tool-bar button.
    QWidget* button = frame.toolBar().widgetForAction(frame.commands().action(ID_FILE_OPEN_URL));
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QCoreApplication::sendEvent(button, &enter);
    EXPECT_EQ(frame.statusBar()->currentMessage(), "Open a remote zip file");
    auto* total = frame.statusBar()->findChildren<QLabel*>().value(0);
    ASSERT_NE(total, nullptr);
    EXPECT_TRUE(total->isVisible());
    EXPECT_TRUE(frame.progress().isVisible());
    EXPECT_TRUE(frame.cancelButton().isVisible());
    viewer.source.release();
    ASSERT_TRUE(waitFor([&] { return viewer.jobsIdle(); }));
}

TEST(SettingsDialog, ANewTemporaryFolderHoldsTheNextArchivesFiles) {
    Viewer viewer(makeZip(kFiles));
    const std::string other = viewer.scope.tmp().file("other");
    prompts::queueDialogAction([&](QDialog& dialog) {
        auto& settings = static_cast<CSettingsDlg&>(dialog);
        settings.folderField()->setText(QString::fromStdString(other));
        settings.accept();
        return int(QDialog::Accepted);
    });
    viewer.frame->commands().trigger(ID_SETTINGS);
    ASSERT_TRUE(viewer.openAndList());
    EXPECT_EQ(viewer.source.temporaryFolder(), other);
}

// Many steps taken at once (a busy window catching up on a listing) leave the bar where as
// many single steps would, passing the end and starting again included, and show it.
TEST(ProgressBar, ManyStepsAtOnceEndWhereSingleStepsWould) {
    struct Case {
        int32_t low, high, step, start;
        int times;
    };
    const Case cases[] = {{0, 100, 1, 0, 50},  {0, 100, 7, 90, 20},         {0, 10, 3, 0, 1000},
                          {5, 20, -2, 15, 10}, {0, 1000000, 1, 0, 1000000}, {0, 100, 0, 40, 1000},
                          {10, 10, 1, 10, 5}};
    for (const Case& c : cases) {
        ProgressControl single;
        ProgressControl many;
        for (ProgressControl* bar : {&single, &many}) {
            bar->setRange32(c.low, c.high);
            bar->setStep(c.step);
            bar->setPos(c.start);
        }
        for (int i = 0; i < c.times; ++i)
            single.stepIt();
        many.stepBy(c.times);
        EXPECT_EQ(many.position(), single.position())
            << c.low << ".." << c.high << " step " << c.step << " x" << c.times;
        EXPECT_TRUE(waitFor([&] { return many.value() == single.position(); }, 2000));
    }
}
