// The one-monitor-per-user rule. A monitor runs exactly when it holds the per-user lock and
// listens on the per-user socket named after the monitor's class name (both under the user's
// runtime folder); other processes find it and send it the stop message over that socket.
#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>

namespace monitor {

// Line sent to ask the running monitor to end, and its answer once it has let go.
constexpr const char* kStopRequest = "STOP";
constexpr const char* kStopAnswer = "BYE";

class MonitorInstance : public QObject {
    Q_OBJECT
public:
    explicit MonitorInstance(QObject* parent = nullptr);
    ~MonitorInstance() override;

    // True when this process is now the monitor; false at once when another one runs.
    bool acquire();
    // Stops listening and frees the lock, so that a new monitor can start at once.
    void release();
    bool isHeld() const { return held_; }

    static QString runtimeFolder();
    static QString socketPath();
    static QString lockPath();

signals:
    // Another process asked this monitor to end. Emitted before the lock is freed.
    void stopRequested();

private:
    void onNewConnection();
    void onRequest(class QLocalSocket* peer);

    QLockFile lock_;
    QLocalServer server_;
    bool held_ = false;
};

} // namespace monitor
