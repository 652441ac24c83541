#include "ui/Prompts.h"

#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>

#include <deque>

namespace prompts {
namespace {

struct Seams {
    bool automatic = false;
    std::deque<QMessageBox::StandardButton> messageAnswers;
    std::deque<QString> folders;
    std::deque<QString> saveFiles;
    std::deque<std::function<int(QDialog&)>> dialogActions;
    std::vector<ShownMessage> shown;
    std::vector<QUrl> opened;
};

Seams& seams() {
    static Seams instance;
    return instance;
}

template <typename T> bool takeNext(std::deque<T>& queue, T& out) {
    if (queue.empty())
        return false;
    out = std::move(queue.front());
    queue.pop_front();
    return true;
}

QMessageBox::StandardButton automaticAnswer(QMessageBox::StandardButtons buttons) {
    if (buttons & QMessageBox::Cancel)
        return QMessageBox::Cancel;
    if (buttons & QMessageBox::No)
        return QMessageBox::No;
    return QMessageBox::Ok;
}

} // namespace

QMessageBox::StandardButton messageBox(QWidget* owner, QMessageBox::Icon icon,
                                       const QString& caption, const QString& text,
                                       QMessageBox::StandardButtons buttons,
                                       QMessageBox::StandardButton defaultButton) {
    Seams& s = seams();
    s.shown.push_back({icon, caption, text});
    QMessageBox::StandardButton answer;
    if (takeNext(s.messageAnswers, answer))
        return answer;
    if (s.automatic)
        return automaticAnswer(buttons);
    QMessageBox box(icon, caption, text, buttons, owner);
    if (defaultButton != QMessageBox::NoButton)
        box.setDefaultButton(defaultButton);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

QString chooseFolder(QWidget* owner, const QString& title, const QString& start) {
    QString folder;
    if (takeNext(seams().folders, folder) || seams().automatic)
        return folder;
    return QFileDialog::getExistingDirectory(owner, title, start);
}

QString chooseSaveFile(QWidget* owner, const QString& title, const QString& proposed,
                       const QString& filter, const QString& defaultSuffix) {
    QString path;
    if (takeNext(seams().saveFiles, path) || seams().automatic)
        return path;
    QFileDialog dialog(owner, title, proposed, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(defaultSuffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

int runModal(QDialog& dialog) {
    std::function<int(QDialog&)> action;
    if (takeNext(seams().dialogActions, action))
        return action(dialog);
    if (seams().automatic)
        return QDialog::Rejected;
    return dialog.exec();
}

bool openWithDesktop(const QUrl& url) {
    seams().opened.push_back(url);
    if (seams().automatic)
        return true;
    return QDesktopServices::openUrl(url);
}

void setAutomatic(bool on) {
    seams().automatic = on;
}
void queueMessageBoxAnswer(QMessageBox::StandardButton answer) {
    seams().messageAnswers.push_back(answer);
}
void queueFolder(const QString& folder) {
    seams().folders.push_back(folder);
}
void queueSaveFile(const QString& path) {
    seams().saveFiles.push_back(path);
}
void queueDialogAction(std::function<int(QDialog&)> action) {
    seams().dialogActions.push_back(std::move(action));
}
const std::vector<ShownMessage>& shownMessages() {
    return seams().shown;
}
const std::vector<QUrl>& openedUrls() {
    return seams().opened;
}

void clearRecords() {
    Seams& s = seams();
    s.shown.clear();
    s.opened.clear();
    s.messageAnswers.clear();
    s.folders.clear();
    s.saveFiles.clear();
    s.dialogActions.clear();
}

} // namespace prompts
