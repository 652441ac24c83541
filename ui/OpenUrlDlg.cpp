#include "ui/OpenUrlDlg.h"

#include "ui/Addresses.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>

COpenUrlDlg::COpenUrlDlg(QWidget* parent) : CGreenDialog(parent, "Open URL", 248, 70) {
    addStatic("URL:", 7, 9, 16, 8);
    url_ = new QLineEdit(this);
    place(url_, 31, 7, 210, 12);
    addStatic("User:", 7, 26, 18, 8);
    user_ = new QLineEdit(this);
    place(user_, 31, 24, 77, 12);
    addStatic("Password:", 123, 26, 37, 8);
    password_ = new QLineEdit(this); // shown in clear, as the user typed it
    place(password_, 164, 24, 77, 12);
    for (QLineEdit* edit : {url_, user_, password_})
        keepSystemColours(edit);
    addSunkenLine(7, 42, 234);
    connect(addButton("OK", 70, 49, 50, 14, true), &QPushButton::clicked, this,
            &COpenUrlDlg::accept);
    connect(addButton("Cancel", 126, 49, 50, 14), &QPushButton::clicked, this,
            &COpenUrlDlg::reject);
    connect(url_, &QLineEdit::textChanged, this, &COpenUrlDlg::updateCredentialFields);

    fitTexts();
    takeClipboardAddress();
    updateCredentialFields();
    url_->setFocus();
}

void COpenUrlDlg::takeClipboardAddress() {
    const QString text = QGuiApplication::clipboard()->text(QClipboard::Clipboard);
    if (!text.isEmpty() && addresses::isValid(addresses::cleaned(text)))
        url_->setText(addresses::normalised(text));
}

void COpenUrlDlg::updateCredentialFields() {
    const QString text = url_->text();
    const qsizetype schemeEnd = text.indexOf("://");
    const QString scheme = schemeEnd < 0 ? text : text.left(schemeEnd);
    const bool enable = scheme.compare("ftp", Qt::CaseInsensitive) == 0 && !text.contains('@');
    user_->setEnabled(enable);
    password_->setEnabled(enable);
    if (!enable) {
        user_->clear();
        password_->clear();
    }
}

void COpenUrlDlg::accept() {
    urlText = url_->text().trimmed();
    QString user = user_->text();
    if (user.isEmpty())
        user = "anonymous";
    if (user_->isEnabled())
        urlText = addresses::withCredentials(urlText, user, password_->text());
    QDialog::accept();
}
