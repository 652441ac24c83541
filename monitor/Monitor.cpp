#include "monitor/Monitor.h"

#include "app/settings/ProgramSettings.h"
#include "monitor/Launcher.h"
#include "monitor/MonitorInstance.h"
#include "monitor/MonitorSettings.h"
#include "platform/HttpClient.h"

#include <QApplication>

namespace monitor {

int runMonitor(QApplication& app, const MonitorHooks& hooks) {
    MonitorInstance instance;
    if (!instance.acquire())
        return 1;
    initHttpGlobal(); // before the first probe thread; start-up may have done it already
    // The pop-up comes and goes; only the stop message or Exit ends the monitor.
    app.setQuitOnLastWindowClosed(false);

    ProgramSettings& record = programSettings();
    if (!hooks.settings && record.monitorMode == 0 && !record.loadSettings())
        record.setDefaults();
    ProgramMonitorSettings programMonitorSettings(record);
    ProcessLauncher processLauncher;
    MonitorSettings& settings = hooks.settings ? *hooks.settings : programMonitorSettings;
    Launcher& launcher = hooks.launcher ? *hooks.launcher : processLauncher;

    ClipboardMonitor monitor(settings, launcher, hooks.options);
    QObject::connect(&instance, &MonitorInstance::stopRequested, &monitor, &ClipboardMonitor::stop);
    QObject::connect(&monitor, &ClipboardMonitor::stopped, &app, [&instance] {
        instance.release(); // a new monitor may start while this one winds down
        QCoreApplication::exit(0);
    });
    monitor.startMonitor(hooks.makeTrayIcon ? hooks.makeTrayIcon() : nullptr);
    const int result = app.exec();
    monitor.stop(); // also when the loop was ended from outside (a signal): the icon goes
    return result;
}

} // namespace monitor
