// Saves pictures of the viewer for a person to look at: the empty window, a listed archive
// in the Table and Large Icons display types, the list narrowed by the filter, the URL bar's
// history drop-down, and each dialog. Run by scripts/screenshots.
#include "UiTestSupport.h"

#include "ui/AboutDlg.h"
#include "ui/CommandIds.h"
#include "ui/Commands.h"
#include "ui/DamagedDlg.h"
#include "ui/EntryListModel.h"
#include "ui/MarrowglenApp.h"
#include "ui/MarrowglenView.h"
#include "ui/OpenUrlDlg.h"
#include "ui/OverwriteDlg.h"
#include "ui/PasswordDlg.h"
#include "ui/Prompts.h"
#include "ui/SettingsDlg.h"
#include "ui/SignInDlg.h"
#include "ui/UrlBar.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QScreen>
#include <QTest>

#include <cstdio>

namespace {

QString g_folder;

bool save(QWidget& widget, const char* name) {
    widget.show();
    QTest::qWait(150);
    const QString path = g_folder + "/" + name + ".png";
    const bool ok = widget.grab().save(path);
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
    return ok;
}

// A drop-down is a window of its own: the picture is taken from the screen, over the window.
bool saveFromScreen(QWidget& window, const char* name) {
    QTest::qWait(300);
    const QRect area = window.frameGeometry();
    const QPixmap picture =
        window.screen()->grabWindow(0, area.x(), area.y(), area.width(), area.height());
    const QString path = g_folder + "/" + name + ".png";
    const bool ok = picture.save(path);
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
    return ok;
}

bool saveHistoryDropDown(CMainFrame& frame) {
    CUrlBar& bar = frame.urlBar();
    bar.setHistory({"http://files.example/pub/sample.zip",
                    "https://downloads.example.org/releases/tool-2.4.1.zip",
                    "ftp://mirror.example.net/pub/data/survey-2023.zip",
                    "http://files.example/pub/older/sample-1.0.zip"});
    bar.edit()->setText("http://files.example/pub/sample.zip");
    frame.activateWindow();
    bar.combo()->showPopup();
    const bool ok = saveFromScreen(frame, "viewer-history");
    bar.combo()->hidePopup();
    return ok;
}

std::map<std::string, std::string> sampleFiles() {
    std::map<std::string, std::string> files = {
        {"README.txt", "Marrowglen sample\n"},       {"docs/guide.html", std::string(12000, 'h')},
        {"docs/notes.md", std::string(700, 'n')},    {"src/main.cpp", std::string(40000, 'c')},
        {"src/util.h", std::string(2500, 'u')},      {"images/logo.png", std::string(3000, '\x01')},
        {"data/table.csv", std::string(90000, '1')}, {"setup.exe", std::string(5000, '\x7f')},
    };
    return files;
}

} // namespace

int main(int argc, char** argv) {
    mgtest::prepareTestEnvironment();
    QApplication app(argc, argv);
    initMarrowglenResources();
    prompts::setAutomatic(true);
    g_folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::tempPath() + "/marrowglen-shots";
    QDir().mkpath(g_folder);
    bool ok = true;
    {
        uitest::Viewer viewer(uitest::makeZip(sampleFiles()));
        viewer.frame->resize(760, 460);
        ok &= save(*viewer.frame, "viewer-empty");
        ok &= viewer.openAndList("http://files.example/pub/sample.zip");
        viewer.frame->view().selection().select(viewer.frame->view().model().index(1, 0),
                                                QItemSelectionModel::Select |
                                                    QItemSelectionModel::Rows);
        ok &= save(*viewer.frame, "viewer-table");
        viewer.frame->commands().trigger(ID_VIEW_LARGE_ICONS);
        ok &= save(*viewer.frame, "viewer-large-icons");
        viewer.frame->commands().trigger(ID_VIEW_LIST);
        ok &= save(*viewer.frame, "viewer-list");
        viewer.frame->commands().trigger(ID_VIEW_TABLE);
        QLineEdit& filter = viewer.frame->view().filterField();
        filter.setFocus();
        QTest::keyClicks(&filter, "doc");
        ok &= save(*viewer.frame, "viewer-filter");
        filter.clear();
        ok &= saveHistoryDropDown(*viewer.frame);
    }
    QGuiApplication::clipboard()->setText("ftp://files.example/pub/sample.zip");
    COpenUrlDlg openUrl;
    ok &= save(openUrl, "dialog-open-url");
    COverwriteDlg overwrite("/home/user/Downloads/sample/docs/guide.html");
    ok &= save(overwrite, "dialog-confirm-overwrite");
    CSignInDlg signIn(CSignInDlg::Asker::Server, "downloads.example.org", "joe", false);
    ok &= save(signIn, "dialog-sign-in");
    CPasswordDlg password("docs/private/accounts.ods", false);
    ok &= save(password, "dialog-password");
    CDamagedDlg damaged;
    ok &= save(damaged, "dialog-damaged");
    uitest::SettingsScope scope;
    uitest::RecordingLauncher launcher;
    CSettingsDlg settings(scope.settings(), launcher);
    ok &= save(settings, "dialog-settings");
    CAboutDlg about;
    ok &= save(about, "dialog-about");
    return ok ? 0 : 1;
}
