#include "ui/UrlBar.h"

#include "ui/CommandIds.h"

#include <QComboBox>
#include <QCompleter>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

UrlBarGeometry urlBarLayout(int clientWidth, int extra) {
    const int editWidth = clientWidth - extra - 38;
    return {QRect(0, 0, editWidth, 20), QRect(extra / 2 + editWidth - 3, 0, 40, 20)};
}

CUrlBar::CUrlBar(QWidget* parent)
    : QWidget(parent), combo_(new QComboBox(this)), edit_(nullptr), completer_(nullptr),
      open_(new QPushButton("Open", this)) {
    combo_->setEditable(true);
    // What is typed is opened, not added: the list holds only addresses that were opened.
    combo_->setInsertPolicy(QComboBox::NoInsert);
    combo_->setMaxCount(20);
    edit_ = combo_->lineEdit();
    edit_->setObjectName(QString::number(IDC_URL_EDIT));
    edit_->setPlaceholderText("Address of a zip file (http, https, ftp) or a local path");
    // Completion from the history as one types: any part of an address, case ignored.
    completer_ = new QCompleter(combo_->model(), this);
    completer_->setCaseSensitivity(Qt::CaseInsensitive);
    completer_->setFilterMode(Qt::MatchContains);
    completer_->setCompletionMode(QCompleter::PopupCompletion);
    combo_->setCompleter(completer_);
    open_->setObjectName(QString::number(IDC_URL_OPEN));
    setFixedHeight(20);
    setMinimumWidth(160);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);

    connect(open_, &QPushButton::clicked, this, &CUrlBar::requestOpen);
    connect(edit_, &QLineEdit::returnPressed, this, &CUrlBar::requestOpen);
    connect(combo_, &QComboBox::activated, this, &CUrlBar::requestOpen);
}

// Enter on an address the list holds makes the combo box report an activation as well as
// the field its Enter, and a completion chosen with Enter may do the same: the requests are
// gathered and handled once, after the event that caused them.
void CUrlBar::requestOpen() {
    if (openPending_)
        return;
    openPending_ = true;
    QTimer::singleShot(0, this, [this] {
        openPending_ = false;
        emit openRequested();
    });
}

void CUrlBar::setHistory(const QStringList& addresses) {
    const QString text = edit_->text();
    combo_->clear();
    combo_->addItems(addresses);
    combo_->setCurrentIndex(-1);
    edit_->setText(text);
}

QStringList CUrlBar::history() const {
    QStringList list;
    for (int i = 0; i < combo_->count(); ++i)
        list << combo_->itemText(i);
    return list;
}

void CUrlBar::focusAndSelect() {
    edit_->setFocus(Qt::ShortcutFocusReason);
    edit_->selectAll();
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
    combo_->setGeometry(geometry.edit);
    open_->setGeometry(geometry.button);
}
