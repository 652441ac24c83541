// Dragging entries out of the list onto a file manager or the desktop. The drop target copies
// local files, and it reads them the moment they are dropped: so the chosen entries are first
// extracted by the extract job (progress, CRC checks, Cancel) into a fresh folder below the
// temporary folder, and only then does the drag offer those files. When an entry fails or the
// user cancels, nothing is dragged.
#pragma once

#include <QList>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class CZipDoc;
class QDrag;
class QMimeData;
class QWidget;
class String;

class EntryDrag {
public:
    // `owner` owns the message shown when the folder cannot be made.
    EntryDrag(CZipDoc& doc, const QString& temporaryFolder, QWidget* owner);

    // Makes the folder and starts the extract job. False when it could not start (another job
    // runs, or the folder cannot be made); nothing is left behind then.
    bool startExtraction(const std::vector<String>& names);
    // Waits for the job while the event loop turns. The data to drag, or null when nothing
    // may be dragged; the folder is then removed again.
    std::unique_ptr<QMimeData> finish();
    const QString& folder() const { return folder_; }

    // What a drag offers for the files written into `folder`: one URL per top-level item (the
    // file itself, or the folder that keeps an entry's relative path), in order, once each.
    // A path that does not lie inside `folder` is left out.
    static QList<QUrl> topLevelUrls(const QString& folder, const std::vector<std::string>& written);

    // Runs the drag from `source` with Qt's drag, or with a test's stand-in.
    static void run(QWidget& source, std::unique_ptr<QMimeData> data);
    static void setRunnerForTests(std::function<void(QDrag&, Qt::DropActions)> runner);
    // The folders of this run's drags; the file manager may still copy from them until the
    // viewer ends, so they go then.
    static void removeFolders();

private:
    void removeFolder();

    CZipDoc& doc_;
    QString temporaryFolder_;
    QWidget* owner_;
    QString folder_;
};
