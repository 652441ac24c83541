#include "ui/AboutDlg.h"

#include <QIcon>
#include <QLabel>
#include <QPushButton>

CAboutDlg::CAboutDlg(QWidget* parent) : CGreenDialog(parent, "About Marrowglen", 200, 96) {
    auto* icon = new QLabel(this);
    icon->setPixmap(QIcon(":/marrowglen/app.png").pixmap(32, 32));
    place(icon, 8, 8, 22, 20);
    addStatic(QString("Marrowglen %1").arg(MARROWGLEN_VERSION), 38, 8, 150, 9)
        ->setStyleSheet("font-weight: bold");
    addStatic("Looks inside zip archives on web and FTP servers without downloading them: "
              "lists the entries, previews and extracts single files, saves the whole archive.",
              38, 20, 155, 44);
    addSunkenLine(7, 70, 186);
    connect(addButton("OK", 143, 76, 50, 14, true), &QPushButton::clicked, this,
            &CAboutDlg::accept);
    fitTexts();
}
