// A viewer wired as the program wires it, over an archive served from memory, with the
// monitor launcher and the desktop replaced by recorders.
#pragma once

#include "RecordingOpener.h"

#include "MemorySource.h"
#include "TestSupport.h"
#include "app/settings/ProgramSettings.h"
#include "jobs/ZipDoc.h"
#include "platform/DesktopServices.h"
#include "platform/qt/QtFileTypes.h"
#include "ui/MainFrame.h"
#include "ui/MonitorLauncher.h"

#include <QPointer>
#include <QTimer>

#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace uitest {

// Handles events until `condition` holds; false after `timeoutMs`.
bool waitFor(const std::function<bool()>& condition, int timeoutMs = 20000);

// A zip archive made by Info-ZIP from {name in archive → content}.
std::vector<unsigned char> makeZip(const std::map<std::string, std::string>& files);

// Shows the real dialogs and message boxes while it lives (instead of the automatic answers)
// and hands each modal window that comes up to `act`, as a person at the keyboard would.
class ModalDriver {
public:
    explicit ModalDriver(std::function<void(QWidget& modal)> act);
    ~ModalDriver();

private:
    QTimer timer_;
    QPointer<QWidget> last_;
};

// Records the address each connect saw, and can hold the next range request.
class RecordingSource : public mgtest::MemorySource {
public:
    using MemorySource::MemorySource;
    bool connect(String& address) override;
    void setTemporaryFolder(const std::string& folder) override;
    std::string temporaryFolder() const;
    bool requestRange(int64_t first, int64_t last, bool reopenFirst) override;
    void holdNextRange();
    void release();
    bool isHeld() const { return held_; }
    std::string lastAddress() const;

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::string lastAddress_;
    std::string temporaryFolder_;
    bool holdNext_ = false;
    bool releasedHold_ = false;
    std::atomic<bool> held_{false};
};

class RecordingLauncher : public MonitorLauncher {
public:
    void stopRunningMonitor() override { calls.push_back("stop"); }
    void startMonitor() override { calls.push_back("start"); }
    std::vector<std::string> calls;
};

using RecordingOpener = mgtest::RecordingOpener;

// The settings record pointed at private folders, with a temporary folder of its own.
class SettingsScope {
public:
    SettingsScope();
    ~SettingsScope();
    ProgramSettings& settings() { return programSettings(); }
    const mgtest::TempDir& tmp() const { return tmp_; }

private:
    mgtest::TempDir tmp_{"mgui-tmp"};
    ProgramSettings saved_;
};

struct Viewer {
    // `prepare` runs after the settings are reset and before the window is made.
    explicit Viewer(std::vector<unsigned char> archive, const std::function<void()>& prepare = {});
    ~Viewer();
    // Opens the archive through the URL bar and waits until it is listed.
    bool openAndList(const QString& typed = "127.0.0.1/archive.zip");
    bool jobsIdle() { return !doc.anyJobRunning(); }

    SettingsScope scope;
    RecordingSource source;
    CZipDoc doc;
    RecordingLauncher launcher;
    RecordingOpener opener;
    QtFileTypes fileTypes{":/marrowglen/file32.png"};
    std::unique_ptr<CMainFrame> frame;
};

} // namespace uitest
