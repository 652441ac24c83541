#include "monitor/MonitorControl.h"

#include "monitor/Launcher.h"
#include "monitor/MonitorIds.h"
#include "monitor/MonitorInstance.h"

#include <QDeadlineTimer>
#include <QLocalSocket>
#include <QLockFile>
#include <QThread>

namespace monitor {

namespace {

constexpr int kConnectMs = 500;
constexpr int kPollMs = 20;

bool connectToMonitor(QLocalSocket& socket) {
    socket.connectToServer(MonitorInstance::socketPath());
    return socket.waitForConnected(kConnectMs);
}

// The lock tells whether the old monitor is really gone (it may be ending without answering).
bool waitForLockFree(QDeadlineTimer deadline) {
    QLockFile probe(MonitorInstance::lockPath());
    probe.setStaleLockTime(0);
    do {
        if (probe.tryLock(0)) {
            probe.unlock();
            return true;
        }
        QThread::msleep(kPollMs);
    } while (!deadline.hasExpired());
    return false;
}

} // namespace

bool isMonitorRunning() {
    QLocalSocket socket;
    return connectToMonitor(socket);
}

bool stopRunningMonitor(int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    QLocalSocket socket;
    if (!connectToMonitor(socket))
        return waitForLockFree(QDeadlineTimer(0));
    socket.write(QByteArray(kStopRequest) + '\n');
    socket.waitForBytesWritten(kConnectMs);
    // The answer comes once the monitor has freed its lock; a closed socket means it ended.
    while (!socket.canReadLine() && socket.state() == QLocalSocket::ConnectedState &&
           !deadline.hasExpired())
        socket.waitForReadyRead(static_cast<int>(qMax<qint64>(1, deadline.remainingTime())));
    socket.abort();
    return waitForLockFree(deadline);
}

bool startMonitorProcess(Launcher* launcher) {
    ProcessLauncher processLauncher;
    Launcher& chosen = launcher ? *launcher : processLauncher;
    return chosen.launchSelf(QStringLiteral("/m"));
}

void restartMonitorForMode(int newMode, Launcher* launcher) {
    stopRunningMonitor();
    if (newMode == kModeOpen || newMode == kModeAsk)
        startMonitorProcess(launcher);
}

} // namespace monitor
