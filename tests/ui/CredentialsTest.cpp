// Secrets the viewer asks for, through its real dialogs driven as a person would: the password
// of encrypted entries (Info-ZIP's traditional encryption and 7-Zip's AES), and the user name
// and password of a server that answers 401 (nginx with auth_basic).
#include "UiTestSupport.h"

#include "NginxServer.h"
#include "app/settings/AddressHistory.h"
#include "app/settings/RegistryKey.h"
#include "remote/RemoteArchiveSource.h"
#include "ui/CommandIds.h"
#include "ui/Commands.h"
#include "ui/EntryListModel.h"
#include "ui/MarrowglenView.h"
#include "ui/PasswordDlg.h"
#include "ui/Prompts.h"
#include "ui/SignInDlg.h"
#include "ui/UrlBar.h"

#include <QApplication>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <memory>

using namespace uitest;

namespace {

// What the person types into the next password or sign-in dialog; `cancel` presses Cancel.
struct Typed {
    QString password;
    QString user;
    bool cancel = false;
};
Typed password(const QString& text) {
    return Typed{text, QString(), false};
}
Typed signIn(const QString& user, const QString& text) {
    return Typed{text, user, false};
}
Typed cancel() {
    return Typed{QString(), QString(), true};
}

void press(QDialog& dialog, const QString& text) {
    for (QPushButton* button : dialog.findChildren<QPushButton*>()) {
        if (button->text() == text) {
            QTest::mouseClick(button, Qt::LeftButton);
            return;
        }
    }
    ADD_FAILURE() << "no button " << text.toStdString();
}

// Answers the credential dialogs in order and presses OK on every message box.
class Person {
public:
    explicit Person(std::vector<Typed> answers)
        : answers_(std::move(answers)), driver_([this](QWidget& modal) { act(modal); }) {}

    QStringList notes;     // the note of each credential dialog shown, in order
    QStringList subjects;  // the entry name or host each one named
    QStringList prefilled; // sign-in: the user name filled in
    QStringList messages;  // message boxes

private:
    void act(QWidget& modal) {
        if (auto* box = qobject_cast<QMessageBox*>(&modal)) {
            messages << box->text();
            box->accept();
            return;
        }
        auto* dialog = qobject_cast<QDialog*>(&modal);
        auto* note = modal.findChild<QLabel*>();
        if (dialog == nullptr || modal.findChild<QLineEdit*>("password") == nullptr)
            return;
        if (auto* password = dynamic_cast<CPasswordDlg*>(dialog)) {
            notes << password->note()->text();
            subjects << modal.findChild<QLineEdit*>("entryName")->text();
        } else if (auto* signIn = dynamic_cast<CSignInDlg*>(dialog)) {
            notes << signIn->note()->text();
            subjects << modal.findChild<QLineEdit*>("host")->text();
            prefilled << signIn->userField()->text();
        } else {
            notes << (note ? note->text() : QString());
        }
        const Typed typed = next_ < answers_.size() ? answers_[next_++] : cancel();
        if (typed.cancel) {
            press(*dialog, "Cancel");
            return;
        }
        if (auto* user = modal.findChild<QLineEdit*>("user"); user && !typed.user.isNull()) {
            user->clear();
            QTest::keyClicks(user, typed.user);
        }
        QTest::keyClicks(modal.findChild<QLineEdit*>("password"), typed.password);
        press(*dialog, "OK");
    }

    std::vector<Typed> answers_;
    size_t next_ = 0;
    ModalDriver driver_;
};

// --- Encrypted entries -----------------------------------------------------------------------

// Two encrypted entries and a plain one; `tool` is "zip" (traditional encryption) or "7zz"
// (AES-256), both with the password SECRET.
std::vector<unsigned char> encryptedZip(const std::string& tool) {
    mgtest::TempDir dir("mgui-crypt");
    mgtest::writeFile(dir.file("secret.txt"), "the secret text");
    mgtest::writeFile(dir.file("more.txt"), std::string(3000, 'm'));
    mgtest::writeFile(dir.file("plain.txt"), "open to all");
    if (tool == "zip") {
        // The check byte lets one wrong password in 256 through, and the header is random:
        // made again until the wrong passwords these tests type are refused at once.
        const char* refuses = "import sys, zipfile\n"
                              "z = zipfile.ZipFile(sys.argv[1])\n"
                              "for name in ('secret.txt', 'more.txt'):\n"
                              "    for pwd in (b'not-it', b'wrong-guess'):\n"
                              "        try:\n"
                              "            z.open(name, pwd=pwd).close(); sys.exit(1)\n"
                              "        except RuntimeError:\n"
                              "            pass\n";
        for (int attempt = 0; attempt < 50; ++attempt) {
            ::unlink(dir.file("a.zip").c_str());
            mgtest::runCommand(
                {"zip", "-q", "-X", "-P", "SECRET", "a.zip", "secret.txt", "more.txt"}, dir.path());
            mgtest::runCommand({"zip", "-q", "-X", "a.zip", "plain.txt"}, dir.path());
            if (mgtest::runCommand({mgtest::DebianPython, "-c", refuses, dir.file("a.zip")})
                    .exitCode == 0)
                break;
        }
    } else {
        mgtest::runCommand({"7zz", "a", "-tzip", "-bd", "-mem=AES256", "-pSECRET", "a.zip",
                            "secret.txt", "more.txt"},
                           dir.path());
        mgtest::runCommand({"7zz", "a", "-tzip", "-bd", "a.zip", "plain.txt"}, dir.path());
    }
    const std::string bytes = mgtest::readFile(dir.file("a.zip"));
    return {bytes.begin(), bytes.end()};
}

class EntryPasswords : public ::testing::TestWithParam<const char*> {
protected:
    // Extracts the whole archive into `destination` and waits for the job to end.
    static bool extractAll(Viewer& viewer, const mgtest::TempDir& destination, Person& person) {
        prompts::queueFolder(QString::fromStdString(destination.path()));
        viewer.frame->commands().trigger(ID_EXTRACT_ZIP);
        return waitFor([&] { return viewer.jobsIdle() && !person.messages.isEmpty(); });
    }
};

TEST_P(EntryPasswords, TheRightPasswordIsAskedOnceAndExtracts) {
    Viewer viewer(encryptedZip(GetParam()));
    ASSERT_TRUE(viewer.openAndList());
    mgtest::TempDir destination("mgui-crypt-out");
    Person person({password("SECRET")});
    ASSERT_TRUE(extractAll(viewer, destination, person));
    EXPECT_EQ(person.notes, QStringList({CPasswordDlg::askText}));
    EXPECT_EQ(person.messages, QStringList({"Extraction complete!"}));
    EXPECT_EQ(mgtest::readFile(destination.file("secret.txt")), "the secret text");
    EXPECT_EQ(mgtest::readFile(destination.file("more.txt")), std::string(3000, 'm'));
    EXPECT_EQ(mgtest::readFile(destination.file("plain.txt")), "open to all");
}

TEST_P(EntryPasswords, AWrongPasswordAsksAgainAndIsNamedAsWrong) {
    Viewer viewer(encryptedZip(GetParam()));
    ASSERT_TRUE(viewer.openAndList());
    mgtest::TempDir destination("mgui-crypt-out");
    Person person({password("not-it"), password("SECRET")});
    ASSERT_TRUE(extractAll(viewer, destination, person));
    ASSERT_EQ(person.notes.size(), 2);
    EXPECT_EQ(person.notes[1], CPasswordDlg::wrongText);
    EXPECT_EQ(person.subjects[0], person.subjects[1]);
    EXPECT_EQ(person.messages, QStringList({"Extraction complete!"}));
    EXPECT_EQ(mgtest::readFile(destination.file("secret.txt")), "the secret text");
    EXPECT_EQ(mgtest::readFile(destination.file("more.txt")), std::string(3000, 'm'));
}

TEST_P(EntryPasswords, CancelSkipsTheEntryLeavesNoFileAndNeverShowsThePassword) {
    Viewer viewer(encryptedZip(GetParam()));
    ASSERT_TRUE(viewer.openAndList());
    mgtest::TempDir destination("mgui-crypt-out");
    // A wrong password, then Cancel, for each of the two encrypted entries.
    Person person({password("wrong-guess"), cancel(), password("wrong-guess"), cancel()});
    ASSERT_TRUE(extractAll(viewer, destination, person));
    EXPECT_EQ(mgtest::readFile(destination.file("plain.txt")), "open to all");
    EXPECT_FALSE(std::filesystem::exists(destination.file("secret.txt")));
    EXPECT_FALSE(std::filesystem::exists(destination.file("more.txt")));
    ASSERT_EQ(person.messages.size(), 1);
    const QString report = person.messages[0];
    EXPECT_TRUE(report.startsWith("Extraction complete, but 2 entries")) << report.toStdString();
    EXPECT_TRUE(report.contains("secret.txt") && report.contains("more.txt"));
    EXPECT_FALSE(report.contains("wrong-guess"));
}

TEST_P(EntryPasswords, ThePasswordIsForgottenWhenTheArchiveIsOpenedAgain) {
    Viewer viewer(encryptedZip(GetParam()));
    ASSERT_TRUE(viewer.openAndList());
    mgtest::TempDir first("mgui-crypt-out");
    Person person({password("SECRET"), password("SECRET")});
    ASSERT_TRUE(extractAll(viewer, first, person));
    viewer.frame->urlBar().edit()->setText("127.0.0.1/again.zip");
    viewer.frame->openFromUrlBar();
    ASSERT_TRUE(waitFor([&] {
        return viewer.jobsIdle() && viewer.source.lastAddress() == "http://127.0.0.1/again.zip" &&
               viewer.frame->view().itemCount() == 3 &&
               viewer.frame->commands().action(ID_EXTRACT_ZIP)->isEnabled();
    }));
    person.messages.clear();
    mgtest::TempDir second("mgui-crypt-out");
    ASSERT_TRUE(extractAll(viewer, second, person));
    EXPECT_EQ(person.notes.size(), 2) << "the second open asks again";
    EXPECT_EQ(mgtest::readFile(second.file("secret.txt")), "the secret text");
}

// The window closing while the question shows (the program ending) must not wait for an
// answer that the closing itself prevents: the question goes, the job stops.
TEST(EntryPasswordQuestion, ClosingTheWindowWhileItShowsEndsTheJob) {
    Viewer viewer(encryptedZip("zip"));
    ASSERT_TRUE(viewer.openAndList());
    mgtest::TempDir destination("mgui-crypt-out");
    bool closing = false;
    ModalDriver person([&](QWidget& modal) {
        if (auto* box = qobject_cast<QMessageBox*>(&modal)) {
            box->accept();
        } else if (dynamic_cast<CPasswordDlg*>(&modal) != nullptr && !closing) {
            closing = true;
            viewer.frame->close();
        }
    });
    prompts::queueFolder(QString::fromStdString(destination.path()));
    viewer.frame->commands().trigger(ID_EXTRACT_ZIP);
    ASSERT_TRUE(waitFor(
        [&] {
            return closing && viewer.doc.allJobsSettled() &&
                   QApplication::activeModalWidget() == nullptr;
        },
        10000));
    EXPECT_FALSE(viewer.frame->isVisible());
    EXPECT_FALSE(std::filesystem::exists(destination.file("secret.txt")));
}

INSTANTIATE_TEST_SUITE_P(ZipCryptoAndAes, EntryPasswords, ::testing::Values("zip", "7zz"));

// --- Sign-in -----------------------------------------------------------------------------------

// A viewer over the real remote source, as the program wires it.
struct RemoteViewer {
    RemoteViewer() {
        doc.setDesktopOpener(&opener);
        doc.onNewDocument();
        frame = std::make_unique<CMainFrame>(doc, programSettings(), launcher);
        frame->show();
    }
    ~RemoteViewer() {
        doc.finishJobsForExit();
        frame.reset();
    }
    void open(const std::string& address) {
        frame->urlBar().edit()->setText(QString::fromStdString(address));
        frame->openFromUrlBar();
    }
    bool settled() {
        return !doc.anyJobRunning() && doc.allJobsSettled() &&
               frame->commands().action(ID_FILE_OPEN_URL)->isEnabled();
    }

    SettingsScope scope;
    RemoteArchiveSource source;
    CZipDoc doc{source};
    RecordingLauncher launcher;
    RecordingOpener opener;
    std::unique_ptr<CMainFrame> frame;
};

class SignIn : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        www = std::make_unique<mgtest::TempDir>("mgui-www");
        secrets = std::make_unique<mgtest::TempDir>("mgui-secrets");
        std::filesystem::create_directories(www->file("private"));
        const auto archive = makeZip({{"one.txt", "first file"}, {"sub/two.txt", "second"}});
        mgtest::writeFile(www->file("private/sample.zip"),
                          std::string(archive.begin(), archive.end()));
        mgtest::writeFile(secrets->file("users"), "joe:{PLAIN}s3cret-pw\n");
        server = std::make_unique<mgtest::NginxServer>(
            www->path(), "location /private/ { auth_basic \"tests\"; auth_basic_user_file " +
                             secrets->file("users") + "; }");
    }
    static void TearDownTestSuite() {
        server.reset();
        secrets.reset();
        www.reset();
    }
    void SetUp() override {
        savedHome_ = qgetenv("HOME");
        qputenv("HOME", QByteArray::fromStdString(home.path()));
        AddressHistory::clear();
    }
    void TearDown() override {
        qputenv("HOME", savedHome_);
        AddressHistory::clear();
    }
    static std::string url() { return server->httpUrl("/private/sample.zip"); }
    static bool listed(RemoteViewer& viewer) {
        return waitFor([&] { return viewer.settled() && viewer.frame->view().itemCount() == 2; });
    }

    mgtest::TempDir home{"mgui-home"};
    static std::unique_ptr<mgtest::TempDir> www;
    static std::unique_ptr<mgtest::TempDir> secrets;
    static std::unique_ptr<mgtest::NginxServer> server;

private:
    QByteArray savedHome_;
};
std::unique_ptr<mgtest::TempDir> SignIn::www;
std::unique_ptr<mgtest::TempDir> SignIn::secrets;
std::unique_ptr<mgtest::NginxServer> SignIn::server;

TEST_F(SignIn, TheRightPasswordListsAndPreviewsAndIsKeptNowhere) {
    RemoteViewer viewer;
    Person person({signIn("joe", "s3cret-pw")});
    viewer.open(url());
    ASSERT_TRUE(listed(viewer));
    EXPECT_EQ(person.notes, QStringList({CSignInDlg::serverText}));
    EXPECT_EQ(person.subjects, QStringList({"127.0.0.1"}));

    // The later requests of a preview are signed in with the same name and password.
    CMarrowglenView& view = viewer.frame->view();
    view.selection().select(view.model().index(0, 0),
                            QItemSelectionModel::Select | QItemSelectionModel::Rows);
    view.preview();
    ASSERT_TRUE(waitFor([&] { return viewer.settled() && !viewer.opener.opened().empty(); }));
    const std::string previewed = viewer.opener.opened().at(0);
    EXPECT_TRUE(mgtest::readFile(previewed) == "first file" ||
                mgtest::readFile(previewed) == "second");
    EXPECT_EQ(person.notes.size(), 1) << "asked once for the archive";

    EXPECT_FALSE(viewer.frame->urlBar().edit()->text().contains("s3cret"));
    EXPECT_FALSE(viewer.frame->windowTitle().contains("s3cret"));
    EXPECT_FALSE(viewer.frame->urlBar().history().join(" ").contains("s3cret"));
    EXPECT_FALSE(viewer.frame->urlBar().history().join(" ").contains("joe"));
    programSettings().saveSettings();
    const std::string stored =
        mgtest::readFile(RegistryKey::storeFileFor(RegistryRoot::CurrentUser));
    EXPECT_EQ(stored.find("s3cret"), std::string::npos) << stored;
}

TEST_F(SignIn, AWrongPasswordAsksAgainSayingItWasRefused) {
    RemoteViewer viewer;
    Person person({signIn("joe", "guess"), signIn("joe", "s3cret-pw")});
    viewer.open(url());
    ASSERT_TRUE(listed(viewer));
    ASSERT_EQ(person.notes.size(), 2);
    EXPECT_EQ(person.notes[0], CSignInDlg::serverText);
    EXPECT_EQ(person.notes[1], CSignInDlg::serverRefusedText);
    EXPECT_EQ(person.prefilled[1], "joe") << "the name typed before stays";
}

TEST_F(SignIn, TheUserNameOfTheAddressIsFilledInAndCancelEndsTheOpen) {
    RemoteViewer viewer;
    Person person({cancel()});
    viewer.open("http://joe@" + url().substr(7));
    ASSERT_TRUE(waitFor([&] { return viewer.settled() && !person.messages.isEmpty(); }));
    EXPECT_EQ(person.prefilled, QStringList({"joe"}));
    EXPECT_EQ(person.notes, QStringList({CSignInDlg::serverText})) << "no password was refused";
    ASSERT_EQ(person.messages.size(), 1);
    EXPECT_EQ(person.messages[0], ZipOpenThread::unavailableText);
    EXPECT_EQ(viewer.frame->view().itemCount(), 0);
    EXPECT_FALSE(viewer.doc.isOpen());
}

TEST_F(SignIn, ANetrcEntryForTheHostSignsInWithoutAsking) {
    mgtest::writeFile(home.file(".netrc"), "machine 127.0.0.1 login joe password s3cret-pw\n");
    RemoteViewer viewer;
    Person person(std::vector<Typed>{});
    viewer.open(url());
    ASSERT_TRUE(listed(viewer));
    EXPECT_TRUE(person.notes.isEmpty());
}

// An environment variable set for one test.
class EnvironmentScope {
public:
    EnvironmentScope(const char* name, const QByteArray& value)
        : name_(name), had_(qEnvironmentVariableIsSet(name)), saved_(qgetenv(name)) {
        qputenv(name, value);
    }
    ~EnvironmentScope() {
        if (had_)
            qputenv(name_, saved_);
        else
            qunsetenv(name_);
    }

private:
    const char* name_;
    bool had_;
    QByteArray saved_;
};

TEST_F(SignIn, AProxyThatAsksHasItsOwnDialogBeforeTheServers) {
    // A forward proxy that lets through only "pat:proxy-pw".
    mgtest::NginxServer proxy(www->path(),
                              "location / {\n"
                              "  if ($http_proxy_authorization != \"Basic cGF0OnByb3h5LXB3\") {\n"
                              "    add_header Proxy-Authenticate 'Basic realm=\"p\"' always;\n"
                              "    return 407;\n  }\n"
                              "  proxy_pass http://$http_host;\n}");
    EnvironmentScope viaProxy("http_proxy", QByteArray::fromStdString(proxy.httpUrl("")));
    EnvironmentScope noBypass("NO_PROXY", "");
    EnvironmentScope noBypassLower("no_proxy", "");
    RemoteViewer viewer;
    Person person({signIn("pat", "nope"), signIn("pat", "proxy-pw"), signIn("joe", "s3cret-pw")});
    viewer.open(url());
    ASSERT_TRUE(listed(viewer));
    EXPECT_EQ(person.notes, QStringList({CSignInDlg::proxyText, CSignInDlg::proxyRefusedText,
                                         CSignInDlg::serverText}));
    EXPECT_FALSE(proxy.accessLog().empty());
}

} // namespace
