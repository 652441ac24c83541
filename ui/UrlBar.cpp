#include "ui/UrlBar.h"

#include "ui/CommandIds.h"

#include <QLineEdit>
#include <QPushButton>

UrlBarGeometry urlBarLayout(int clientWidth, int extra) {
    const int editWidth = clientWidth - extra - 38;
    return {QRect(0, 0, editWidth, 20), QRect(extra / 2 + editWidth - 3, 0, 40, 20)};
}

CUrlBar::CUrlBar(QWidget* parent)
    : QWidget(parent), edit_(new QLineEdit(this)), open_(new QPushButton("Open", this)) {
    edit_->setObjectName(QString::number(IDC_URL_EDIT));
    edit_->setPlaceholderText("Address of a remote zip file (http, https or ftp)");
    open_->setObjectName(QString::number(IDC_URL_OPEN));
    setFixedHeight(20);
    setMinimumWidth(160);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void CUrlBar::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // The bar's own width stands for the client width: the tool-bar area around it may be
    // narrower than the window.
    const QWidget* top = window();
    layOut(width(), top->frameGeometry().width() - top->width());
}

void CUrlBar::layOut(int clientWidth, int extra) {
    const UrlBarGeometry geometry = urlBarLayout(clientWidth, extra);
    edit_->setGeometry(geometry.edit);
    open_->setGeometry(geometry.button);
}
