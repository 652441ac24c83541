#include "monitor/Launcher.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>

namespace monitor {

QString selfExecutable() {
    const QString target = QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
    if (!target.isEmpty())
        return target;
    return QCoreApplication::applicationFilePath();
}

bool ProcessLauncher::launchSelf(const QString& parameter) {
    QStringList arguments;
    if (!parameter.isEmpty())
        arguments << parameter;
    return QProcess::startDetached(selfExecutable(), arguments);
}

} // namespace monitor
