#include "monitor/MonitorSettings.h"

#include "app/settings/ProgramSettings.h"

namespace monitor {

int ProgramMonitorSettings::mode() const {
    return settings_.monitorMode;
}

int ProgramMonitorSettings::reloadMode() {
    return settings_.reloadMonitorMode();
}

void ProgramMonitorSettings::saveMode(int mode) {
    // The save writes every setting: take the viewer's latest values first, so that the
    // monitor's old copy of them does not overwrite what a viewer saved meanwhile.
    settings_.loadSettings();
    settings_.monitorMode = mode;
    settings_.saveSettings(); // a failure is not reported by the monitor
}

} // namespace monitor
