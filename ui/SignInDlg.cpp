#include "ui/SignInDlg.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

const char* noteFor(CSignInDlg::Asker asker, bool afterRefusal) {
    if (asker == CSignInDlg::Asker::Proxy)
        return afterRefusal ? CSignInDlg::proxyRefusedText : CSignInDlg::proxyText;
    return afterRefusal ? CSignInDlg::serverRefusedText : CSignInDlg::serverText;
}

} // namespace

CSignInDlg::CSignInDlg(Asker asker, const QString& host, const QString& user, bool afterRefusal,
                       QWidget* parent)
    : CGreenDialog(parent, "Sign in", 224, 90) {
    note_ = addStatic(noteFor(asker, afterRefusal), 6, 7, 214, 8);
    auto* server = new QLineEdit(host, this);
    server->setObjectName("host");
    server->setReadOnly(true);
    place(server, 5, 17, 214, 12);
    addStatic("User:", 6, 37, 40, 8);
    user_ = new QLineEdit(user, this);
    user_->setObjectName("user");
    place(user_, 48, 35, 171, 12);
    addStatic("Password:", 6, 53, 40, 8);
    password_ = new QLineEdit(this);
    password_->setObjectName("password");
    password_->setEchoMode(QLineEdit::Password);
    place(password_, 48, 51, 171, 12);
    for (QLineEdit* edit : {server, user_, password_})
        keepSystemColours(edit);
    ok_ = addButton("OK", 58, 70, 50, 14, true);
    connect(ok_, &QPushButton::clicked, this, &CSignInDlg::accept);
    connect(addButton("Cancel", 116, 70, 50, 14), &QPushButton::clicked, this, &CSignInDlg::reject);
    connect(user_, &QLineEdit::textChanged, this, &CSignInDlg::updateOk);
    fitTexts();
    updateOk();
    (user.isEmpty() ? user_ : password_)->setFocus();
}

// Without a user name there is nothing to sign in with.
void CSignInDlg::updateOk() {
    ok_->setEnabled(!user_->text().isEmpty());
}

QString CSignInDlg::user() const {
    return user_->text();
}

QString CSignInDlg::password() const {
    return password_->text();
}
