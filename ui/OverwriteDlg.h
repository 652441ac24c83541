// "Confirm overwrite": what to do with a file that an extraction would replace.
#pragma once

#include "ui/GreenDialog.h"

class QLineEdit;

class COverwriteDlg : public CGreenDialog {
public:
    enum Answer { None = 0, Yes = 1, YesToAll = 2, No = 3, Cancel = 4 };
    enum { IDC_FILE = 1017, IDC_YES_TO_ALL = 1012, IDC_NO = 1015 };

    explicit COverwriteDlg(const QString& fileName, QWidget* parent = nullptr);

    QString fileName;
    int answer = None;

    // Pressing a button: the same as the user's click.
    void choose(Answer chosen);
    // Escape and the close box answer Cancel.
    void reject() override;
};
