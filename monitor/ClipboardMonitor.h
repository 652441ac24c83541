// The monitor process's state and behaviour: watches the clipboard, recognises zip links and,
// by the monitor mode, starts a viewer on them or announces them with the pop-up; runs the
// tray icon and its menu.
#pragma once

#include "monitor/LinkChecker.h"
#include "monitor/SystemTray.h"
#include "monitor/TaskbarNotifier.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <memory>

class QMimeData;

namespace monitor {

class Launcher;
class MonitorInstance;
class MonitorSettings;

struct MonitorOptions {
    unsigned timeToShow = 500;
    unsigned timeToStay = 5000;
    unsigned timeToHide = 500;
    std::chrono::milliseconds probeBound = LinkChecker::kDefaultBound;
    bool allowPrivateHosts = false; // tests probe servers on loopback
    SignatureProbe probe;           // empty: the real network probe
    QString skinPath = QStringLiteral(":/monitor/skin.png");
    // How long the icon may take to get into a notification area before the user is told
    // that the monitor runs without one, and how long that notice stays.
    std::chrono::milliseconds noTrayNoticeAfter{5000};
    unsigned noTrayNoticeStay = 20000;
};

// Shown once when no notification area took the icon: the monitor would otherwise run unseen.
constexpr const char* kNoTrayNotice =
    "The clipboard monitor runs without a tray icon. To stop it, run marrowglen --stop-monitor "
    "or choose \"don't monitor\" in Settings (click here).";

class ClipboardMonitor : public QObject {
    Q_OBJECT
public:
    ClipboardMonitor(MonitorSettings& settings, Launcher& launcher, MonitorOptions options = {},
                     QObject* parent = nullptr);
    ~ClipboardMonitor() override;

    // Dresses the pop-up, puts up the tray icon and starts watching the clipboard. The
    // single-instance check is the caller's (see MonitorInstance). `trayIcon` replaces the
    // real notification-area icon (tests).
    void startMonitor(std::unique_ptr<TrayIcon> trayIcon = nullptr);
    // Stops watching and takes the icon down; `stopped` follows. Nothing is saved.
    void stop();

    // A change of the clipboard's text (`secret`: a password manager marked it so).
    void onClipboardText(const QString& text, bool secret);
    void announceLink(const QString& text, bool test);
    void onTrayMessage(int iconId, int mouseMessage);
    void onCommand(int commandId);
    // Starts a viewer on the last link.
    void launchViewer();

    QString lastUrl() const { return lastUrl_; }
    CTaskbarNotifier& notifier() { return *notifier_; }
    CSystemTray& tray() { return tray_; }
    LinkChecker& checker() { return checker_; }

signals:
    void stopped();
    // A link was acted on (mode 2: a viewer is being started; mode 3: the pop-up shows it).
    void announced(const QString& link);

private:
    void onClipboardChanged();
    void onChecked(const QString& text, bool isZipLink);
    void act(const QString& text);
    void refreshModeChecks(int mode);
    void dressNotifier();
    void tellIfNoTray();

    MonitorSettings& settings_;
    Launcher& launcher_;
    MonitorOptions options_;
    std::unique_ptr<CTaskbarNotifier> notifier_;
    CSystemTray tray_;
    LinkChecker checker_;
    QTimer trayWatch_;
    QString lastUrl_;
    bool running_ = false;
};

// True when a password manager marked the clipboard's content as secret.
bool isMarkedSecret(const QMimeData* data);

} // namespace monitor
