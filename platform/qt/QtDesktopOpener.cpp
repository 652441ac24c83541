#include "platform/qt/QtDesktopOpener.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QMetaObject>
#include <QString>
#include <QThread>
#include <QUrl>

namespace {

bool openOnThisThread(const std::string& path) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path)));
}

} // namespace

bool QtDesktopOpener::openLocalFile(const std::string& path) {
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr)
        return false;
    if (QThread::currentThread() == app->thread())
        return openOnThisThread(path);
    bool opened = false;
    QMetaObject::invokeMethod(
        app, [&path] { return openOnThisThread(path); }, Qt::BlockingQueuedConnection, &opened);
    return opened;
}
