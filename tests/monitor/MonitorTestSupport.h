// Stand-ins the monitor tests share: a recording launcher, settings in memory, a tray that
// can be missing or come back, timers the test ticks by hand, and helper processes.
#pragma once

#include "monitor/Launcher.h"
#include "monitor/MonitorSettings.h"
#include "monitor/NotifierTimers.h"
#include "monitor/TrayIcon.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <map>
#include <vector>

namespace mgtest {

class RecordingLauncher : public monitor::Launcher {
public:
    bool launchSelf(const QString& parameter) override {
        launches << parameter;
        return true;
    }
    QStringList launches;
};

class MemorySettings : public monitor::MonitorSettings {
public:
    explicit MemorySettings(int mode) : mode_(mode), stored_(mode) {}
    int mode() const override { return mode_; }
    int reloadMode() override { return mode_ = stored_; }
    void saveMode(int mode) override {
        mode_ = stored_ = mode;
        ++saves;
    }
    // What another process wrote meanwhile.
    void storeFromElsewhere(int mode) { stored_ = mode; }
    int saves = 0;

private:
    int mode_;
    int stored_;
};

class FakeTrayIcon : public monitor::TrayIcon {
public:
    bool add(const QIcon&, const QString& toolTip) override {
        ++adds;
        shownToolTip = toolTip;
        visible = available;
        return available;
    }
    bool remove() override {
        visible = false;
        return true;
    }
    void setMenu(QMenu* m) override { menu = m; }
    void popUpMenu(QMenu*, const QPoint&) override { ++menuPopUps; }
    // The tray restarts or appears.
    void comeBack() {
        available = true;
        emit trayCreated();
    }
    void press(int message) { emit mouseMessage(message); }

    bool available = true;
    bool visible = false;
    int adds = 0;
    int menuPopUps = 0;
    QString shownToolTip;
    QMenu* menu = nullptr;
};

// Records which timers run with which period; the test ticks them itself.
class FakeTimers : public monitor::NotifierTimers {
public:
    void start(int id, unsigned ms) override {
        running[id] = ms;
        ++starts[id];
    }
    void stop(int id) override { running.erase(id); }
    bool isRunning(int id) const { return running.count(id) != 0; }
    std::map<int, unsigned> running;
    std::map<int, int> starts;
};

// Spins the event loop until `done` or the time is up.
bool waitUntil(const std::function<bool()>& done,
               std::chrono::milliseconds timeout = std::chrono::seconds(5));

// The test program started again as a helper: "monitor" runs a monitor process, "setclip"
// owns the clipboard with a text. Its environment says which; see MonitorTestMain.cpp.
QProcess* startHelper(const QString& role, const QStringList& arguments = {},
                      const QProcessEnvironment& extra = {});

} // namespace mgtest
