// The program's about box.
#pragma once

#include "ui/GreenDialog.h"

class CAboutDlg : public CGreenDialog {
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};
