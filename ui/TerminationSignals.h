// SIGTERM, SIGINT and SIGHUP end the program through its normal exit path (settings saved,
// swap and spill files removed) instead of killing it on the spot. The handler only writes
// the signal's number into a pipe; the event loop reads it and tells `received`. A second
// signal while the first is being handled ends the process at once, as the default would.
#pragma once

#include <QObject>

class QSocketNotifier;

class TerminationSignals : public QObject {
    Q_OBJECT
public:
    // One per process: the handlers and their pipe are process-wide.
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

signals:
    void received(int signalNumber);

private:
    void onReadable();

    QSocketNotifier* notifier_ = nullptr;
};
