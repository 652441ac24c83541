// Saves pictures of the viewer for a person to look at: the empty window, a listed archive
// in the Table and Large Icons display types, and each dialog. Run by scripts/screenshots.
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

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QItemSelectionModel>
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
