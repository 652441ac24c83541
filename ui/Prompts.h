// Every question the viewer puts to the user goes through here: message boxes, folder and
// file choosers, modal dialogs and handing a file or page to the desktop. Widget tests queue
// the next answers so that nothing ever waits for a person.
#pragma once

#include <QMessageBox>
#include <QString>
#include <QUrl>

#include <functional>
#include <vector>

class QDialog;
class QWidget;

namespace prompts {

// `defaultButton` takes the keyboard focus and Enter; NoButton leaves the style's choice.
QMessageBox::StandardButton
messageBox(QWidget* owner, QMessageBox::Icon icon, const QString& caption, const QString& text,
           QMessageBox::StandardButtons buttons = QMessageBox::Ok,
           QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);
// An empty text when the user cancelled.
QString chooseFolder(QWidget* owner, const QString& title, const QString& start = {});
// `defaultSuffix` is added by the dialog itself to a name typed without one, so that its
// overwrite question is about the file that will be written.
QString chooseSaveFile(QWidget* owner, const QString& title, const QString& proposed,
                       const QString& filter, const QString& defaultSuffix = {});
// Runs the dialog modally and returns its result code.
int runModal(QDialog& dialog);
// Hands an address (web page, local file) to the desktop's default program.
bool openWithDesktop(const QUrl& url);

// --- Seams for tests -------------------------------------------------------------------------
struct ShownMessage {
    QMessageBox::Icon icon;
    QString caption;
    QString text;
};

// While automatic, unanswered prompts are not shown: message boxes answer their first
// button of No/Cancel/Ok kind, choosers answer "cancelled", dialogs are rejected, and
// desktop opens are only recorded.
void setAutomatic(bool on);
void queueMessageBoxAnswer(QMessageBox::StandardButton answer);
void queueFolder(const QString& folder);
void queueSaveFile(const QString& path);
// The action sees the dialog after it has been set up and returns the result code.
void queueDialogAction(std::function<int(QDialog&)> action);
const std::vector<ShownMessage>& shownMessages();
const std::vector<QUrl>& openedUrls();
void clearRecords();

} // namespace prompts
