// "Damaged Zip File": the archive is damaged; offers the repair product's page.
#pragma once

#include "ui/GreenDialog.h"

class CLabel;
class QLabel;

class CDamagedDlg : public CGreenDialog {
public:
    enum { IDC_PRODUCT = 1033 };
    explicit CDamagedDlg(QWidget* parent = nullptr);

    CLabel* productLabel() const { return product_; }

private:
    void placeAfterText(const QLabel& text);

    CLabel* product_;
};
