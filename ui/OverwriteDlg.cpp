#include "ui/OverwriteDlg.h"

#include <QLineEdit>
#include <QPushButton>

COverwriteDlg::COverwriteDlg(const QString& path, QWidget* parent)
    : CGreenDialog(parent, "Confirm overwrite", 224, 54), fileName(path) {
    auto* field = new QLineEdit(fileName, this);
    field->setReadOnly(true);
    field->setCursorPosition(0);
    keepSystemColours(field);
    place(field, 5, 5, 214, 12);
    addStatic("This file already exists. Overwrite it?", 6, 21, 160, 8);
    const struct {
        const char* text;
        Answer answer;
        int x;
    } buttons[] = {
        {"Yes", Yes, 5}, {"Yes to all", YesToAll, 59}, {"No", No, 114}, {"Cancel", Cancel, 169}};
    for (const auto& b : buttons) {
        QPushButton* button = addButton(b.text, b.x, 35, 50, 14, b.answer == Yes);
        const Answer chosen = b.answer;
        connect(button, &QPushButton::clicked, this, [this, chosen] { choose(chosen); });
        if (chosen == Yes)
            button->setFocus();
    }
    fitTexts();
}

void COverwriteDlg::choose(Answer chosen) {
    answer = chosen;
    QDialog::accept();
}

void COverwriteDlg::reject() {
    answer = Cancel;
    QDialog::reject();
}
