#include "ui/DamagedDlg.h"

#include "ui/Label.h"

#include <QLabel>
#include <QPushButton>
#include <QTextLayout>

CDamagedDlg::CDamagedDlg(QWidget* parent) : CGreenDialog(parent, "Damaged Zip File", 186, 91) {
    addStatic("This Zip File appears to be damaged. You can choose to ignore the fact by "
              "pressing Cancel.",
              7, 7, 172, 21);
    QLabel* text2 =
        addStatic("If you would like to open this file anyway, please download it and then open it "
                  "with",
                  7, 31, 172, 17);
    product_ = new CLabel("Fallowmend", this, IDC_PRODUCT);
    place(product_, 117, 39, 59, 8);
    product_->setFontBold(true).setBkColor(dialogColour, QColor(0, 0, 0), false);
    placeAfterText(*text2);
    addStatic("to fully extract its contents.", 7, 48, 110, 8);
    addSunkenLine(7, 63, 172);
    connect(addButton("Go to Fallowmend home page", 7, 70, 117, 14, true), &QPushButton::clicked,
            this, &CDamagedDlg::accept);
    connect(addButton("Cancel", 129, 70, 50, 14), &QPushButton::clicked, this,
            &CDamagedDlg::reject);
    fitTexts();
}

void CDamagedDlg::placeAfterText(const QLabel& text) {
    // The name reads as the end of the sentence before it, wherever the font in use makes
    // that sentence's last line end.
    QTextLayout layout(text.text(), text.font());
    layout.beginLayout();
    QTextLine last;
    qreal y = 0;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(text.width());
        line.setPosition(QPointF(0, y));
        y += line.height();
        last = line;
    }
    layout.endLayout();
    if (!last.isValid())
        return;
    const int space = text.fontMetrics().horizontalAdvance(' ');
    QFont bold = text.font();
    bold.setBold(true);
    const int nameWidth = QFontMetrics(bold).horizontalAdvance(product_->text()) + 2;
    QPoint at =
        text.geometry().topLeft() + QPoint(int(last.naturalTextWidth()) + space, int(last.y()));
    if (at.x() + nameWidth > text.geometry().right())
        at = text.geometry().topLeft() + QPoint(0, int(last.y() + last.height()));
    product_->setGeometry(QRect(at, QSize(nameWidth, int(last.height()))));
}
