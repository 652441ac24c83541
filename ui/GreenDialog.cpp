#include "ui/GreenDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

#include <cmath>

CGreenDialog::CGreenDialog(QWidget* parent, const QString& caption, int widthDu, int heightDu)
    : QDialog(parent) {
    setWindowTitle(caption);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    // The dialogs were laid out for an 8-point face; dialog units follow the font in use the
    // way the system derives them (average width of the Latin letters, line height).
    QFont dialogFont = font();
    dialogFont.setPointSize(8);
    setFont(dialogFont);
    QFontMetricsF metrics(dialogFont);
    const QString letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    unitX_ = metrics.horizontalAdvance(letters) / letters.size() / 4.0;
    unitY_ = metrics.height() / 8.0;
    QPalette green = palette();
    green.setColor(QPalette::Window, dialogColour);
    green.setColor(QPalette::Button, dialogColour.lighter(115));
    setPalette(green);
    setAutoFillBackground(true);
    setFixedSize(int(std::lround(widthDu * unitX_)), int(std::lround(heightDu * unitY_)));
}

void CGreenDialog::place(QWidget* widget, int x, int y, int width, int height) const {
    widget->setGeometry(int(std::lround(x * unitX_)), int(std::lround(y * unitY_)),
                        int(std::lround(width * unitX_)), int(std::lround(height * unitY_)));
}

QLabel* CGreenDialog::addStatic(const QString& text, int x, int y, int width, int height) {
    auto* label = new QLabel(text, this);
    label->setWordWrap(height > 10);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    place(label, x, y, width, height);
    return label;
}

QPushButton* CGreenDialog::addButton(const QString& text, int x, int y, int width, int height,
                                     bool isDefault) {
    auto* button = new QPushButton(text, this);
    button->setDefault(isDefault);
    // Enter presses the button that has the focus, as a keyboard user expects: without this,
    // Enter on a focused Cancel or No pressed the default button (OK, Yes) instead.
    button->setAutoDefault(true);
    place(button, x, y, width, height);
    return button;
}

QFrame* CGreenDialog::addSunkenLine(int x, int y, int width) {
    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    place(line, x, y, width, 2);
    return line;
}

void CGreenDialog::keepSystemColours(QWidget* edit) {
    edit->setPalette(QApplication::palette(edit));
    edit->setAutoFillBackground(true);
}

void CGreenDialog::fitTexts() {
    int right = width();
    const int margin = int(std::lround(7 * unitX_));
    for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        const auto* label = qobject_cast<QLabel*>(child);
        const bool singleLine = (label != nullptr && !label->wordWrap()) ||
                                qobject_cast<QRadioButton*>(child) != nullptr ||
                                qobject_cast<QCheckBox*>(child) != nullptr;
        if (!singleLine || child->sizeHint().width() <= child->width())
            continue;
        child->resize(child->sizeHint().width(), child->height());
        right = std::max(right, child->geometry().right() + margin);
    }
    setFixedSize(right, height());
}
