#include "monitor/MonitorInstance.h"

#include "monitor/MonitorIds.h"

#include <QDir>
#include <QLocalSocket>
#include <QStandardPaths>

namespace monitor {

namespace {
// A request is one short line; anything longer is not ours.
constexpr qint64 kMaxRequestLine = 64;
constexpr int kAnswerWriteMs = 500;
} // namespace

MonitorInstance::MonitorInstance(QObject* parent) : QObject(parent), lock_(lockPath()) {
    // A monitor lives as long as it likes; only a dead owner makes the lock stale.
    lock_.setStaleLockTime(0);
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&server_, &QLocalServer::newConnection, this, &MonitorInstance::onNewConnection);
}

MonitorInstance::~MonitorInstance() {
    release();
}

QString MonitorInstance::runtimeFolder() {
    // Honours XDG_RUNTIME_DIR; without it Qt makes a private per-user folder.
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    QDir().mkpath(folder);
    return folder;
}

QString MonitorInstance::socketPath() {
    return runtimeFolder() + QLatin1Char('/') + QLatin1String(kMonitorClassName);
}

QString MonitorInstance::lockPath() {
    return socketPath() + QLatin1String(".lock");
}

bool MonitorInstance::acquire() {
    if (held_)
        return true;
    if (!lock_.tryLock(0))
        return false;
    const QString path = socketPath();
    // We hold the lock, so a socket file left there belongs to a monitor that died.
    QLocalServer::removeServer(path);
    if (!server_.listen(path)) {
        lock_.unlock();
        return false;
    }
    held_ = true;
    return true;
}

void MonitorInstance::release() {
    if (!held_)
        return;
    server_.close();
    lock_.unlock();
    held_ = false;
}

void MonitorInstance::onNewConnection() {
    while (QLocalSocket* peer = server_.nextPendingConnection()) {
        connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
        connect(peer, &QLocalSocket::readyRead, this, [this, peer] { onRequest(peer); });
        if (peer->canReadLine())
            onRequest(peer);
    }
}

void MonitorInstance::onRequest(QLocalSocket* peer) {
    if (!peer->canReadLine()) {
        if (peer->bytesAvailable() > kMaxRequestLine)
            peer->abort();
        return;
    }
    const QByteArray line = peer->readLine(kMaxRequestLine).trimmed();
    if (line != kStopRequest) {
        peer->abort();
        return;
    }
    emit stopRequested();
    release();
    // The answer tells the sender that a new monitor can start now.
    peer->write(QByteArray(kStopAnswer) + '\n');
    peer->waitForBytesWritten(kAnswerWriteMs);
    peer->disconnectFromServer();
}

} // namespace monitor
