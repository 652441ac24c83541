#include "XvfbServer.h"

#include "MonitorTestSupport.h"

#include <QStandardPaths>

using namespace std::chrono_literals;

namespace mgtest {

namespace {
QString xvfbProgram() {
    return QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
}

void stopProcess(QProcess& process) {
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(3000)) {
        process.kill();
        process.waitForFinished(3000);
    }
}
} // namespace

bool XvfbServer::available() {
    return !xvfbProgram().isEmpty();
}

XvfbServer::XvfbServer() : process_(std::make_unique<QProcess>()) {
    if (!available())
        return;
    // -displayfd: Xvfb takes the first free display and writes its number to descriptor 1.
    process_->start(xvfbProgram(),
                    {"-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "1024x768x24"});
    if (!process_->waitForStarted(5000) ||
        !waitUntil([this] { return process_->canReadLine(); }, 10s))
        return;
    const QByteArray number = process_->readLine().trimmed();
    if (!number.isEmpty())
        display_ = QStringLiteral(":") + QString::fromLatin1(number);
}

XvfbServer::~XvfbServer() {
    stopProcess(*process_);
}

QProcessEnvironment XvfbServer::environment() const {
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("DISPLAY"), display_);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    return environment;
}

ScopedProcess::ScopedProcess(const QString& program, const QStringList& arguments,
                             const QProcessEnvironment& environment) {
    QProcessEnvironment whole = QProcessEnvironment::systemEnvironment();
    whole.insert(environment);
    process_.setProcessEnvironment(whole);
    process_.start(program, arguments);
    process_.waitForStarted(5000);
}

ScopedProcess::~ScopedProcess() {
    stopProcess(process_);
}

} // namespace mgtest
