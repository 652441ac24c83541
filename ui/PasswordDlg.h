// "Password": asks for the password of an encrypted entry, in a masked field. After a wrong
// password it says so and asks again.
#pragma once

#include "ui/GreenDialog.h"

class QLabel;
class QLineEdit;

class CPasswordDlg : public CGreenDialog {
public:
    static constexpr const char* askText = "This entry is encrypted. Enter its password:";
    static constexpr const char* wrongText = "The password was wrong. Enter the right one:";

    CPasswordDlg(const QString& entryName, bool afterWrongPassword, QWidget* parent = nullptr);

    QString password() const;
    QLineEdit* passwordField() const { return password_; }
    QLabel* note() const { return note_; }

private:
    QLabel* note_;
    QLineEdit* password_;
};
