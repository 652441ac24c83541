// What a viewer's Settings dialog does to the monitor process when the monitor mode changes.
#pragma once

#include <QString>

namespace monitor {

class Launcher;

// True when a monitor of this user is running and answers on its socket.
bool isMonitorRunning();

// Sends the stop message to the running monitor and waits, at most `timeoutMs`, until it has
// let go of its socket and lock, so that a monitor started right after does not find it.
// True when no monitor runs afterwards (also when none ran).
bool stopRunningMonitor(int timeoutMs = 3000);

// Starts a new monitor: the running executable with "/m", detached.
bool startMonitorProcess(Launcher* launcher = nullptr);

// After a change of mode: stops the running monitor and, for modes 2 and 3, starts a new one,
// so that exactly one monitor runs in the new mode (none in mode 1).
void restartMonitorForMode(int newMode, Launcher* launcher = nullptr);

} // namespace monitor
