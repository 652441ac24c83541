#include "ui/MonitorLauncher.h"

#include "monitor/MonitorControl.h"

namespace {

class SystemMonitorLauncher : public MonitorLauncher {
public:
    void stopRunningMonitor() override { monitor::stopRunningMonitor(); }
    void startMonitor() override { monitor::startMonitorProcess(); }
};

} // namespace

MonitorLauncher& MonitorLauncher::system() {
    static SystemMonitorLauncher launcher;
    return launcher;
}
