// The small dialogs and the label control.
#include "ui/DamagedDlg.h"
#include "ui/Label.h"
#include "ui/OpenUrlDlg.h"
#include "ui/OverwriteDlg.h"
#include "ui/PasswordDlg.h"
#include "ui/SignInDlg.h"

#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

namespace {

void setClipboard(const QString& text) {
    QGuiApplication::clipboard()->setText(text);
}

// Shows `dialog`, moves the focus with Tab until the button named `text` has it and presses
// Enter there, as a keyboard user picks a button.
bool pressEnterOnButton(QDialog& dialog, const QString& text) {
    dialog.show();
    dialog.activateWindow();
    if (!QTest::qWaitForWindowActive(&dialog))
        return false;
    for (int tabs = 0; tabs < 10; ++tabs) {
        auto* button = qobject_cast<QPushButton*>(QApplication::focusWidget());
        if (button != nullptr && button->text() == text) {
            QTest::keyClick(button, Qt::Key_Return);
            return true;
        }
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    return false;
}

} // namespace

TEST(OpenUrlDialog, FtpAddressOnTheClipboardEnablesTheCredentials) {
    setClipboard("ftp://files.example/pub/a.zip");
    COpenUrlDlg dialog;
    EXPECT_EQ(dialog.urlField()->text(), "ftp://files.example/pub/a.zip");
    EXPECT_TRUE(dialog.userField()->isEnabled());
    EXPECT_TRUE(dialog.passwordField()->isEnabled());
}

TEST(OpenUrlDialog, HttpAddressDisablesAndEmptiesTheCredentials) {
    setClipboard("not an address");
    COpenUrlDlg dialog;
    EXPECT_TRUE(dialog.urlField()->text().isEmpty());
    dialog.urlField()->setText("FTP://h/a.zip");
    dialog.userField()->setText("me");
    dialog.urlField()->setText("http://h/a.zip");
    EXPECT_FALSE(dialog.userField()->isEnabled());
    EXPECT_TRUE(dialog.userField()->text().isEmpty());
}

TEST(OpenUrlDialog, ClipboardAddressIsNormalised) {
    setClipboard("gopher://h/a.zip");
    COpenUrlDlg dialog;
    EXPECT_EQ(dialog.urlField()->text(), "http://h/a.zip");
}

TEST(OpenUrlDialog, EmptyUserBecomesAnonymous) {
    setClipboard("");
    COpenUrlDlg dialog;
    dialog.urlField()->setText("ftp://h/a.zip");
    dialog.accept();
    EXPECT_EQ(dialog.urlText, "ftp://anonymous:@h/a.zip");
}

TEST(OpenUrlDialog, TypingAnAtSignDropsTheFieldsAndKeepsTheAddress) {
    setClipboard("");
    COpenUrlDlg dialog;
    dialog.urlField()->setText("ftp://h/a.zip");
    dialog.userField()->setText("joe");
    dialog.passwordField()->setText("pw");
    dialog.urlField()->setText("ftp://bob:x@h/a.zip");
    EXPECT_FALSE(dialog.userField()->isEnabled());
    EXPECT_TRUE(dialog.passwordField()->text().isEmpty());
    dialog.accept();
    EXPECT_EQ(dialog.urlText, "ftp://bob:x@h/a.zip");
}

TEST(OpenUrlDialog, CredentialsWithSpecialCharactersArePercentEncoded) {
    setClipboard("");
    COpenUrlDlg dialog;
    dialog.urlField()->setText("ftp://h/a.zip");
    dialog.userField()->setText("me@home");
    dialog.passwordField()->setText("a:b/c");
    dialog.accept();
    EXPECT_EQ(dialog.urlText, "ftp://me%40home:a%3Ab%2Fc@h/a.zip");
}

TEST(OverwriteDialog, EscapeAndTheCloseBoxAnswerCancel) {
    COverwriteDlg dialog("/tmp/x/a.txt");
    dialog.show();
    QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_EQ(dialog.answer, COverwriteDlg::Cancel);
    COverwriteDlg closed("/tmp/x/a.txt");
    closed.show();
    closed.close();
    EXPECT_EQ(closed.answer, COverwriteDlg::Cancel);
}

TEST(OverwriteDialog, ButtonsGiveTheirAnswersAndThePathIsShown) {
    COverwriteDlg dialog("/tmp/x/a.txt");
    EXPECT_EQ(dialog.answer, COverwriteDlg::None);
    const auto edits = dialog.findChildren<QLineEdit*>();
    ASSERT_EQ(edits.size(), 1);
    EXPECT_EQ(edits[0]->text(), "/tmp/x/a.txt");
    EXPECT_TRUE(edits[0]->isReadOnly());
    for (auto [text, answer] : {std::pair{"Yes", 1}, {"Yes to all", 2}, {"No", 3}, {"Cancel", 4}}) {
        COverwriteDlg asked("/tmp/x/a.txt");
        for (QPushButton* button : asked.findChildren<QPushButton*>())
            if (button->text() == text)
                button->click();
        EXPECT_EQ(asked.answer, answer) << text;
    }
}

// Enter presses the button that has the focus; only in a field does it press the default one.
TEST(DialogButtons, EnterOnAFocusedButtonPressesThatButton) {
    COverwriteDlg overwrite("/tmp/x/a.txt");
    ASSERT_TRUE(pressEnterOnButton(overwrite, "No"));
    EXPECT_EQ(overwrite.answer, COverwriteDlg::No);
    EXPECT_EQ(overwrite.result(), QDialog::Accepted);

    CPasswordDlg password("secret.txt", false);
    password.show();
    QTest::keyClicks(password.findChild<QLineEdit*>("password"), "pw");
    ASSERT_TRUE(pressEnterOnButton(password, "Cancel"));
    EXPECT_EQ(password.result(), QDialog::Rejected);

    CSignInDlg signIn(CSignInDlg::Asker::Server, "example.org", "me", false);
    ASSERT_TRUE(pressEnterOnButton(signIn, "Cancel"));
    EXPECT_EQ(signIn.result(), QDialog::Rejected);

    // Back in a field after visiting Cancel, Enter is OK again.
    CPasswordDlg typed("secret.txt", false);
    typed.show();
    typed.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&typed));
    auto* field = typed.findChild<QLineEdit*>("password");
    QTest::keyClick(field, Qt::Key_Tab);                       // OK
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab); // Cancel
    field->setFocus();
    QTest::keyClicks(field, "pw");
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_EQ(typed.result(), QDialog::Accepted);
    EXPECT_EQ(typed.password(), "pw");
}

TEST(DamagedDialog, ProductLabelIsBoldOnTheDialogColour) {
    CDamagedDlg dialog;
    CLabel* label = dialog.productLabel();
    EXPECT_EQ(label->text(), "Fallowmend");
    EXPECT_EQ(label->controlId(), CDamagedDlg::IDC_PRODUCT);
    EXPECT_TRUE(label->font().bold());
    EXPECT_EQ(label->effectiveTextColour(), label->palette().color(QPalette::WindowText));
}

TEST(Label, FlashingTextDisappearsEveryOtherPhase) {
    CLabel label("Hello");
    label.setBkColor(QColor(1, 2, 3)).setTextColor(QColor(200, 0, 0)).flashText(true);
    EXPECT_EQ(label.flashMode(), CLabel::FlashText);
    EXPECT_FALSE(label.flashPhase());
    EXPECT_EQ(label.effectiveTextColour(), QColor(1, 2, 3)); // hidden in the first phase
    // The next 500 ms period, however late a busy machine delivers it.
    ASSERT_TRUE(QTest::qWaitFor([&] { return label.flashPhase(); }, 5000));
    EXPECT_EQ(label.effectiveTextColour(), QColor(200, 0, 0));
    label.flashText(false);
    EXPECT_EQ(label.flashMode(), CLabel::NoFlash);
}

TEST(Label, ClickNotifiesTheParentOrFollowsTheLink) {
    CLabel label("http://www.brindlecot.example/", nullptr, 1033);
    label.resize(200, 20);
    int notifiedId = 0;
    int notifiedCode = 0;
    QObject::connect(&label, &CLabel::notified, [&](int id, int code) {
        notifiedId = id;
        notifiedCode = code;
    });
    label.setLink(true, true);
    QTest::mouseClick(&label, Qt::LeftButton);
    EXPECT_EQ(notifiedId, 1033);
    EXPECT_EQ(notifiedCode, CLabel::ClickNotification);
    EXPECT_EQ(label.linkType(), CLabel::WebLink);
    label.setMailLink(false, false);
    EXPECT_EQ(label.linkType(), CLabel::NoLink);
}

TEST(Label, PaintsGradientRotatedAndThreeDimensionalText) {
    CLabel label("Text");
    label.resize(150, 30);
    label.setBkColor(QColor(255, 0, 0), QColor(0, 0, 255), true)
        .setText3D(true, true)
        .setFontSize(12)
        .setFontItalic(true)
        .setFontUnderline(true);
    QImage image = label.grab().toImage();
    EXPECT_EQ(QColor(image.pixel(0, 15)).red(), 255);
    EXPECT_GT(QColor(image.pixel(149, 15)).blue(), 200);
    label.setRotationAngle(90, true);
    EXPECT_FALSE(label.grab().isNull());
}
