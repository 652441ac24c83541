#include "ui/EntryDrag.h"

#include "jobs/ZipDoc.h"
#include "ui/Prompts.h"
#include "ui/TemporaryFolderCleaner.h"

#include <QDir>
#include <QDrag>
#include <QEventLoop>
#include <QMimeData>
#include <QTemporaryDir>

namespace {

std::function<void(QDrag&, Qt::DropActions)>& testRunner() {
    static std::function<void(QDrag&, Qt::DropActions)> runner;
    return runner;
}

QStringList& foldersOfThisRun() {
    static QStringList folders;
    return folders;
}

void removeTree(const QString& folder) {
    // Links inside are removed as links: nothing outside the folder is touched.
    clearFolderContents(folder.toStdString());
    QDir().rmdir(folder);
}

} // namespace

EntryDrag::EntryDrag(CZipDoc& doc, const QString& temporaryFolder, QWidget* owner)
    : doc_(doc), temporaryFolder_(temporaryFolder), owner_(owner) {}

bool EntryDrag::startExtraction(const std::vector<String>& names) {
    if (names.empty() || doc_.anyJobRunning() || !doc_.isOpen())
        return false;
    QDir().mkpath(temporaryFolder_);
    QTemporaryDir made(QDir(temporaryFolder_).filePath("drag-XXXXXX"));
    if (!made.isValid()) {
        prompts::messageBox(owner_, QMessageBox::Warning, "Marrowglen",
                            "The entries cannot be dragged: no folder can be made in the "
                            "temporary folder\n" +
                                temporaryFolder_);
        return false;
    }
    made.setAutoRemove(false);
    folder_ = made.path();
    ExtractRequest request;
    request.names = names;
    request.destination = String(folder_.toUtf8().toStdString());
    // The folder is new: a second entry of the same name is the only thing to replace.
    request.overwriteAll = true;
    request.announceCompletion = false;
    if (!doc_.startExtract(std::move(request))) {
        removeFolder();
        return false;
    }
    foldersOfThisRun() << folder_;
    return true;
}

std::unique_ptr<QMimeData> EntryDrag::finish() {
    ZipExtractThread& job = doc_.extractJob();
    if (job.isRunning()) {
        // The job's calls onto this thread, its progress and the Cancel button need the loop.
        QEventLoop loop;
        QObject::connect(&doc_, &CZipDoc::jobEnded, &loop, [&] {
            if (!job.isRunning())
                loop.quit();
        });
        if (job.isRunning())
            loop.exec();
    }
    const ExtractOutcome& outcome = job.lastOutcome();
    QList<QUrl> urls;
    if (!outcome.cancelled && outcome.failures == 0)
        urls = topLevelUrls(folder_, outcome.written);
    if (urls.isEmpty()) {
        removeFolder();
        return nullptr;
    }
    auto data = std::make_unique<QMimeData>();
    data->setUrls(urls);
    return data;
}

void EntryDrag::removeFolder() {
    if (folder_.isEmpty())
        return;
    removeTree(folder_);
    foldersOfThisRun().removeAll(folder_);
    folder_.clear();
}

QList<QUrl> EntryDrag::topLevelUrls(const QString& folder,
                                    const std::vector<std::string>& written) {
    const QString base = QDir::cleanPath(folder);
    QList<QUrl> urls;
    for (const std::string& path : written) {
        const QString cleaned = QDir::cleanPath(QString::fromStdString(path));
        if (!cleaned.startsWith(base + '/'))
            continue;
        const QString top = cleaned.mid(base.size() + 1).section('/', 0, 0);
        if (top.isEmpty() || top == "." || top == "..")
            continue;
        const QUrl url = QUrl::fromLocalFile(base + '/' + top);
        if (!urls.contains(url))
            urls << url;
    }
    return urls;
}

void EntryDrag::run(QWidget& source, std::unique_ptr<QMimeData> data) {
    // A copy only: the files are the program's, the drop target makes its own.
    const Qt::DropActions actions = Qt::CopyAction;
    auto* drag = new QDrag(&source);
    drag->setMimeData(data.release());
    if (testRunner())
        testRunner()(*drag, actions);
    else
        drag->exec(actions, Qt::CopyAction);
    drag->deleteLater();
}

void EntryDrag::setRunnerForTests(std::function<void(QDrag&, Qt::DropActions)> runner) {
    testRunner() = std::move(runner);
}

void EntryDrag::removeFolders() {
    for (const QString& folder : foldersOfThisRun())
        removeTree(folder);
    foldersOfThisRun().clear();
}
