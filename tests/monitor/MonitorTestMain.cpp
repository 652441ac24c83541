// main() of the monitor tests. Without MG_MONITOR_CHILD it runs the tests (offscreen, in a
// private environment); with it, it is a helper process: a monitor ("monitor") or a
// clipboard owner ("setclip <text> [secret]").
#include "MonitorTestSupport.h"
#include "TestSupport.h"
#include "monitor/Monitor.h"
#include "monitor/MonitorIds.h"
#include "monitor/SystemTray.h"
#include "platform/HttpClient.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QMimeData>
#include <QTimer>

#include <cstdio>

#include <gtest/gtest.h>

namespace mgtest {

bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeout.count())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

QProcess* startHelper(const QString& role, const QStringList& arguments,
                      const QProcessEnvironment& extra) {
    auto* process = new QProcess;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(extra);
    environment.insert(QStringLiteral("MG_MONITOR_CHILD"), role);
    process->setProcessEnvironment(environment);
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process->start(QCoreApplication::applicationFilePath(), arguments);
    process->waitForStarted(5000);
    return process;
}

} // namespace mgtest

static void initMonitorPictures() {
    Q_INIT_RESOURCE(monitor);
}

namespace {

// Appends each launch to the file named by MG_LAUNCH_LOG, one line each.
class FileLauncher : public monitor::Launcher {
public:
    bool launchSelf(const QString& parameter) override {
        QFile log(qEnvironmentVariable("MG_LAUNCH_LOG"));
        if (!log.open(QIODevice::Append))
            return false;
        log.write(parameter.toUtf8() + '\n');
        return true;
    }
};

int runMonitorHelper(QApplication& app) {
    FileLauncher launcher;
    monitor::MonitorHooks hooks;
    hooks.launcher = &launcher;
    hooks.options.allowPrivateHosts = qEnvironmentVariableIsSet("MG_ALLOW_PRIVATE");
    hooks.options.timeToStay = 300;
    return monitor::runMonitor(app, hooks);
}

// Owns the clipboard with a text for MG_SETCLIP_MS milliseconds (default 3000).
int runClipboardOwner(QApplication& app, const QStringList& arguments) {
    auto* data = new QMimeData;
    data->setText(arguments.value(1));
    if (arguments.value(2) == QLatin1String("secret"))
        data->setData(QStringLiteral("x-kde-passwordManagerHint"), "secret");
    QApplication::clipboard()->setMimeData(data, QClipboard::Clipboard);
    const int ms = qEnvironmentVariableIntValue("MG_SETCLIP_MS");
    QTimer::singleShot(ms > 0 ? ms : 3000, &app, &QCoreApplication::quit);
    return app.exec();
}

void say(const char* line) {
    std::printf("%s\n", line);
    std::fflush(stdout);
}

// Puts the real tray icon up and tells on standard output: "added" or "pending" at once,
// "shown" once a pending icon made it into a notification area that came later.
int runTrayHelper(QApplication& app) {
    initMonitorPictures();
    app.setQuitOnLastWindowClosed(false);
    monitor::CSystemTray tray;
    const bool added = tray.install(monitor::kTrayToolTip, QIcon(":/monitor/tray.png"),
                                    monitor::kTrayIconId, false);
    say(added ? "added" : "pending");
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (!added && !tray.isShowPending() && !tray.isHidden()) {
            say("shown");
            watch.stop();
        }
    });
    watch.start(100);
    return app.exec();
}

} // namespace

int main(int argc, char** argv) {
    const QByteArray role = qgetenv("MG_MONITOR_CHILD");
    if (!role.isEmpty()) {
        QApplication app(argc, argv);
        if (role == "monitor")
            return runMonitorHelper(app);
        if (role == "tray")
            return runTrayHelper(app);
        if (role == "setclip")
            return runClipboardOwner(app, app.arguments());
        return 2;
    }
    mgtest::prepareTestEnvironment();
    initHttpGlobal();
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
