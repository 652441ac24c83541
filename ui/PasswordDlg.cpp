#include "ui/PasswordDlg.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

CPasswordDlg::CPasswordDlg(const QString& entryName, bool afterWrongPassword, QWidget* parent)
    : CGreenDialog(parent, "Password", 224, 72) {
    // A read-only field shows a long name whole, by scrolling.
    auto* name = new QLineEdit(entryName, this);
    name->setObjectName("entryName");
    name->setReadOnly(true);
    name->setCursorPosition(0);
    place(name, 5, 5, 214, 12);
    note_ = addStatic(afterWrongPassword ? wrongText : askText, 6, 21, 214, 8);
    addStatic("Password:", 6, 35, 40, 8);
    password_ = new QLineEdit(this);
    password_->setObjectName("password");
    password_->setEchoMode(QLineEdit::Password);
    place(password_, 48, 33, 171, 12);
    for (QLineEdit* edit : {name, password_})
        keepSystemColours(edit);
    connect(addButton("OK", 58, 52, 50, 14, true), &QPushButton::clicked, this,
            &CPasswordDlg::accept);
    connect(addButton("Cancel", 116, 52, 50, 14), &QPushButton::clicked, this,
            &CPasswordDlg::reject);
    fitTexts();
    password_->setFocus();
}

QString CPasswordDlg::password() const {
    return password_->text();
}
