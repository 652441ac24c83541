// The monitor process ("/m"): no visible window, at most one per user.
#pragma once

#include "monitor/ClipboardMonitor.h"

#include <functional>
#include <memory>

class QApplication;

namespace monitor {

// What tests replace in a monitor process; the defaults are the real parts.
struct MonitorHooks {
    Launcher* launcher = nullptr;
    MonitorSettings* settings = nullptr;
    std::function<std::unique_ptr<TrayIcon>()> makeTrayIcon;
    MonitorOptions options;
};

// Runs the monitor until it is stopped (tray Exit or the stop message). Returns at once with
// 1 when another monitor of this user runs, leaving that one alone.
int runMonitor(QApplication& app, const MonitorHooks& hooks = {});

} // namespace monitor
