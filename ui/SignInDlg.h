// "Sign in": asks for the user name and password that a server (or the proxy on the way to
// it) wants before it serves the archive. After a refusal it says so and asks again.
#pragma once

#include "ui/GreenDialog.h"

class QLabel;
class QLineEdit;

class CSignInDlg : public CGreenDialog {
public:
    enum class Asker { Server, Proxy };

    static constexpr const char* serverText = "The server asks for a user name and password:";
    static constexpr const char* proxyText =
        "The proxy on the way to this server asks for a user name and password:";
    static constexpr const char* serverRefusedText =
        "The server refused the user name and password. Try again:";
    static constexpr const char* proxyRefusedText =
        "The proxy refused the user name and password. Try again:";

    CSignInDlg(Asker asker, const QString& host, const QString& user, bool afterRefusal,
               QWidget* parent = nullptr);

    QString user() const;
    QString password() const;
    QLineEdit* userField() const { return user_; }
    QLineEdit* passwordField() const { return password_; }
    QLabel* note() const { return note_; }
    QPushButton* okButton() const { return ok_; }

private:
    void updateOk();

    QLabel* note_;
    QLineEdit* user_;
    QLineEdit* password_;
    QPushButton* ok_;
};
