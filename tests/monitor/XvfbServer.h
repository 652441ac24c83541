// A private X server for the tests that need a real clipboard or a real tray.
#pragma once

#include <QProcess>
#include <QString>

#include <memory>

namespace mgtest {

class XvfbServer {
public:
    // Starts Xvfb on a display number it picks itself; `display()` stays empty when it could
    // not start. `available()` tells whether Xvfb is installed at all.
    XvfbServer();
    ~XvfbServer();
    static bool available();
    const QString& display() const { return display_; }
    // The environment of a helper process that should use this display.
    QProcessEnvironment environment() const;

private:
    std::unique_ptr<QProcess> process_;
    QString display_;
};

// A process stopped (SIGTERM, then SIGKILL) on destruction.
class ScopedProcess {
public:
    ScopedProcess(const QString& program, const QStringList& arguments,
                  const QProcessEnvironment& environment);
    ~ScopedProcess();
    QProcess& process() { return process_; }

private:
    QProcess process_;
};

} // namespace mgtest
