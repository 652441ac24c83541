// "Open URL": asks for an archive address and, for ftp addresses without credentials in
// them, a user name and password.
#pragma once

#include "ui/GreenDialog.h"

class QLineEdit;

class COpenUrlDlg : public CGreenDialog {
public:
    enum { IDC_URL = 1030, IDC_USER = 1035, IDC_PASSWORD = 1036 };

    explicit COpenUrlDlg(QWidget* parent = nullptr);

    // Valid after the dialog ended with OK.
    QString urlText;

    QLineEdit* urlField() const { return url_; }
    QLineEdit* userField() const { return user_; }
    QLineEdit* passwordField() const { return password_; }
    void accept() override;

private:
    void takeClipboardAddress();
    void updateCredentialFields();

    QLineEdit* url_;
    QLineEdit* user_;
    QLineEdit* password_;
};
