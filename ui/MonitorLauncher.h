// How the Settings dialog stops a running clipboard monitor and starts a new one.
#pragma once

class MonitorLauncher {
public:
    virtual ~MonitorLauncher() = default;
    // Asks a running monitor of this user to end; nothing happens when none runs.
    virtual void stopRunningMonitor() = 0;
    // Starts this program again as a monitor ("/m").
    virtual void startMonitor() = 0;

    // The real one, over the monitor's own stop message and a detached launch.
    static MonitorLauncher& system();
};
