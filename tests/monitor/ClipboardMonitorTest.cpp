#include "monitor/ClipboardMonitor.h"
#include "MonitorTestSupport.h"
#include "app/settings/ProgramSettings.h"
#include "monitor/MonitorIds.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QMenu>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <thread>

using namespace monitor;
using namespace std::chrono_literals;

namespace {

class ClipboardMonitorTest : public ::testing::Test {
protected:
    void start(int mode, MonitorOptions options = {}, bool trayAvailable = true) {
        settings = std::make_unique<mgtest::MemorySettings>(mode);
        options.timeToShow = 50;
        options.timeToStay = 200;
        options.timeToHide = 50;
        if (!options.probe)
            options.probe = [this](const String& address, std::chrono::milliseconds) {
                const QString link = QString::fromStdString(address.str());
                probed << link;
                // The server holds zip archives under their names and behind "/download".
                return !deadLinks.contains(link) &&
                       (link.contains("/download") || link.endsWith("zip", Qt::CaseInsensitive));
            };
        monitor = std::make_unique<ClipboardMonitor>(*settings, launcher, options);
        auto fake = std::make_unique<mgtest::FakeTrayIcon>();
        icon = fake.get();
        icon->available = trayAvailable;
        monitor->startMonitor(std::move(fake));
    }
    // Copies and waits until the monitor has decided on the text (the probe runs apart).
    void copy(const QString& text) {
        monitor->onClipboardText(text, false);
        mgtest::waitUntil([&] { return !monitor->checker().isBusy(); });
        QCoreApplication::processEvents();
    }
    bool launchedSoon(int count) {
        return mgtest::waitUntil([&] { return launcher.launches.size() >= count; }, 3s);
    }
    QAction* action(int id) { return monitor->tray().action(id); }

    mgtest::RecordingLauncher launcher;
    std::unique_ptr<mgtest::MemorySettings> settings;
    std::unique_ptr<ClipboardMonitor> monitor;
    mgtest::FakeTrayIcon* icon = nullptr;
    QStringList probed;
    QStringList deadLinks; // the probe reads from other threads only while the test waits
};

TEST_F(ClipboardMonitorTest, OpenModeLaunchesAViewerOncePerNewLink) {
    start(kModeOpen);
    copy("http://h.example/a.zip");
    ASSERT_TRUE(launchedSoon(1));
    copy("http://h.example/a.zip");
    copy("not a link at all");
    copy("mailto:x@h.example");
    copy("http://h.example/a.zip"); // still the last link acted on
    QTest::qWait(50);
    EXPECT_EQ(launcher.launches, QStringList{"http://h.example/a.zip"});
    copy("ftp://h.example/b.ZIP");
    copy("http://h.example/a.zip"); // another link came between: news again
    ASSERT_TRUE(launchedSoon(3));
    EXPECT_EQ(launcher.launches, (QStringList{"http://h.example/a.zip", "ftp://h.example/b.ZIP",
                                              "http://h.example/a.zip"}));
    EXPECT_EQ(monitor->lastUrl(), "http://h.example/a.zip");
    EXPECT_EQ(probed, (QStringList{"http://h.example/a.zip", "ftp://h.example/b.ZIP",
                                   "http://h.example/a.zip"}));
}

TEST_F(ClipboardMonitorTest, ADeadLinkIsNotAnnouncedAndIsCheckedAgainWhenCopiedAgain) {
    start(kModeAsk);
    const QString link = "http://h.example/gone.zip";
    deadLinks << link;
    monitor->onClipboardText(link, false); // one copy may tell twice
    monitor->onClipboardText(link, false);
    ASSERT_TRUE(mgtest::waitUntil([&] { return !monitor->checker().isBusy(); }));
    EXPECT_EQ(probed, QStringList{link});
    EXPECT_FALSE(monitor->notifier().isVisible());
    deadLinks.clear(); // the server has it now
    copy(link);
    ASSERT_TRUE(mgtest::waitUntil([&] { return monitor->notifier().isVisible(); }));
    EXPECT_EQ(monitor->notifier().text(), link);
    EXPECT_EQ(probed, (QStringList{link, link}));
}

TEST_F(ClipboardMonitorTest, LinksCopiedInQuickSuccessionEachOpenTheirOwnViewer) {
    start(kModeOpen);
    monitor->onClipboardText("http://h.example/a.zip", false);
    monitor->onClipboardText("http://h.example/b.zip", false);
    ASSERT_TRUE(launchedSoon(2));
    EXPECT_EQ(launcher.launches, (QStringList{"http://h.example/a.zip", "http://h.example/b.zip"}));
}

TEST_F(ClipboardMonitorTest, AskModeShowsThePopUpWhoseClickLaunches) {
    start(kModeAsk);
    copy("https://h.example/files/c.zip");
    CTaskbarNotifier& notifier = monitor->notifier();
    EXPECT_TRUE(notifier.isVisible());
    EXPECT_EQ(notifier.text(), "https://h.example/files/c.zip");
    EXPECT_TRUE(launcher.launches.isEmpty());
    const QSize skin = notifier.skinSize();
    EXPECT_EQ(notifier.textRect(), QRect(10, 25, skin.width() - 20, skin.height() - 55));
    EXPECT_GT(notifier.skinSize().height(), 2); // the bundled skin
    QTest::mouseClick(&notifier, Qt::LeftButton);
    ASSERT_TRUE(launchedSoon(1));
    EXPECT_EQ(launcher.launches, QStringList{"https://h.example/files/c.zip"});
    EXPECT_TRUE(mgtest::waitUntil([&] { return notifier.state() == CTaskbarNotifier::Hidden; }));
    // The tray's left click shows the last link again.
    icon->press(WM_LBUTTONDOWN);
    EXPECT_TRUE(notifier.isVisible());
}

TEST_F(ClipboardMonitorTest, AMissingSkinIsReplacedByAPaintedOne) {
    MonitorOptions options;
    options.skinPath = "/nonexistent/skin.png";
    start(kModeAsk, options);
    copy("http://h.example/a.zip");
    EXPECT_EQ(monitor->notifier().skinSize(), QSize(224, 112));
    EXPECT_TRUE(monitor->notifier().isVisible());
}

TEST_F(ClipboardMonitorTest, DontMonitorModeAnnouncesNothing) {
    start(kModeAsk);
    copy("http://h.example/a.zip");
    EXPECT_EQ(monitor->lastUrl(), "http://h.example/a.zip");
    action(ID_TRAY_DONT_MONITOR)->trigger();
    monitor->notifier().withdraw();
    copy("http://h.example/b.zip");
    icon->press(WM_LBUTTONDOWN);
    action(ID_TRAY_SHOW_LAST_URL)->trigger();
    QTest::qWait(50);
    EXPECT_EQ(monitor->notifier().state(), CTaskbarNotifier::Hidden);
    EXPECT_EQ(monitor->lastUrl(), "http://h.example/a.zip");
    EXPECT_TRUE(launcher.launches.isEmpty());
}

TEST_F(ClipboardMonitorTest, SecretsAndPrivateHostsAreLeftAlone) {
    start(kModeOpen);
    monitor->onClipboardText("http://h.example/secret.zip", true);
    copy("http://192.168.1.1/download");
    copy("http://localhost/download");
    QTest::qWait(50);
    EXPECT_TRUE(launcher.launches.isEmpty());
    EXPECT_TRUE(probed.isEmpty());
    auto* data = new QMimeData;
    data->setText("x");
    data->setData(kPasswordManagerHintFormat, "secret");
    EXPECT_TRUE(isMarkedSecret(data));
    delete data;
}

TEST_F(ClipboardMonitorTest, ALinkWithoutZipNameIsProbedOffTheUserInterfaceThread) {
    start(kModeOpen);
    copy("http://h.example/download?id=7");
    copy("http://h.example/page");
    ASSERT_TRUE(launchedSoon(1));
    QTest::qWait(50);
    EXPECT_EQ(launcher.launches, QStringList{"http://h.example/download?id=7"});
    EXPECT_EQ(probed, (QStringList{"http://h.example/download?id=7", "http://h.example/page"}));
}

TEST_F(ClipboardMonitorTest, ASilentServerCannotFreezeTheMonitor) {
    MonitorOptions options;
    options.probeBound = 300ms;
    options.probe = [](const String& address, std::chrono::milliseconds) {
        if (address.str().find("silent") != std::string::npos)
            std::this_thread::sleep_for(3s);
        return true;
    };
    start(kModeOpen, options);
    int ticks = 0;
    QTimer heartbeat;
    QObject::connect(&heartbeat, &QTimer::timeout, [&] { ++ticks; });
    heartbeat.start(20);
    const auto started = std::chrono::steady_clock::now();
    copy("http://silent.example/get");
    copy("http://h.example/next");
    ASSERT_TRUE(launchedSoon(1));
    EXPECT_LT(std::chrono::steady_clock::now() - started, 2s);
    EXPECT_EQ(launcher.launches, QStringList{"http://h.example/next"});
    EXPECT_GT(ticks, 5); // the event loop went on while the probe hung
}

// Without a notification area the user learns once that the monitor runs and how to end it;
// with a tray, or one that turns up in time, nothing is said.
TEST_F(ClipboardMonitorTest, WithoutATrayTheUserIsToldOnceHowToStopTheMonitor) {
    MonitorOptions options;
    options.noTrayNoticeAfter = 100ms;
    start(kModeAsk, options, false);
    CTaskbarNotifier& notifier = monitor->notifier();
    ASSERT_TRUE(mgtest::waitUntil([&] { return notifier.isVisible(); }));
    EXPECT_EQ(notifier.text(), kNoTrayNotice);
    EXPECT_TRUE(notifier.text().contains("marrowglen --stop-monitor"));
    const QRect room = notifier.textRect();
    const QRect needed =
        QFontMetrics(notifier.currentFont()).boundingRect(room, Qt::TextWordWrap, notifier.text());
    EXPECT_LE(needed.height(), room.height()) << "the notice is cut short";
    QTest::mouseClick(&notifier, Qt::LeftButton); // a viewer, for its Settings dialog
    ASSERT_TRUE(launchedSoon(1));
    EXPECT_EQ(launcher.launches, QStringList{QString()});
    notifier.withdraw();
    QTest::qWait(300);
    EXPECT_FALSE(notifier.isVisible());

    for (bool trayComesLate : {false, true}) {
        start(kModeAsk, options, !trayComesLate);
        if (trayComesLate)
            icon->comeBack();
        QTest::qWait(300);
        EXPECT_FALSE(monitor->notifier().isVisible()) << trayComesLate;
    }
}

TEST_F(ClipboardMonitorTest, TrayMenuCommands) {
    start(kModeAsk);
    EXPECT_TRUE(action(ID_TRAY_MONITOR_ASK)->isChecked());
    EXPECT_EQ(monitor->tray().menu()->defaultAction(), action(ID_TRAY_SHOW_LAST_URL));
    action(ID_TRAY_MONITOR_OPEN)->trigger();
    EXPECT_EQ(settings->mode(), kModeOpen);
    EXPECT_EQ(settings->saves, 1);
    EXPECT_TRUE(action(ID_TRAY_MONITOR_OPEN)->isChecked());
    EXPECT_FALSE(action(ID_TRAY_MONITOR_ASK)->isChecked());
    EXPECT_FALSE(action(ID_TRAY_DONT_MONITOR)->isChecked());

    // A viewer changed the mode: the right click shows it.
    settings->storeFromElsewhere(kModeDontMonitor);
    icon->press(WM_RBUTTONUP);
    EXPECT_EQ(icon->menuPopUps, 1);
    EXPECT_TRUE(action(ID_TRAY_DONT_MONITOR)->isChecked());
    EXPECT_FALSE(action(ID_TRAY_MONITOR_OPEN)->isChecked());

    action(ID_TRAY_LAUNCH)->trigger();
    EXPECT_EQ(launcher.launches, QStringList{QString()});

    QSignalSpy stopped(monitor.get(), &ClipboardMonitor::stopped);
    action(ID_TRAY_EXIT)->trigger();
    EXPECT_EQ(stopped.count(), 1);
    EXPECT_FALSE(icon->visible);
    EXPECT_EQ(settings->saves, 1); // ending saves nothing
}

TEST(ClipboardMonitorSettings, ModeCommandsWriteThroughTheSettingsStore) {
    ProgramSettings record;
    record.setDefaults();
    record.tmpFolder = "/tmp/kept-by-a-viewer";
    record.saveSettings();
    ProgramSettings stale;
    stale.loadSettings();
    ProgramSettings fresh;
    fresh.loadSettings();
    fresh.tmpFolder = "/tmp/changed-by-a-viewer";
    fresh.saveSettings();

    ProgramMonitorSettings settings(stale);
    mgtest::RecordingLauncher launcher;
    ClipboardMonitor monitor(settings, launcher);
    monitor.startMonitor(std::make_unique<mgtest::FakeTrayIcon>());
    for (int id : {ID_TRAY_MONITOR_OPEN, ID_TRAY_DONT_MONITOR}) {
        monitor.tray().action(id)->trigger();
        ProgramSettings reread;
        reread.loadSettings();
        EXPECT_EQ(reread.monitorMode, id == ID_TRAY_MONITOR_OPEN ? kModeOpen : kModeDontMonitor);
        EXPECT_STREQ(reread.tmpFolder.text(), "/tmp/changed-by-a-viewer");
    }
    monitor.stop();
}

// The offscreen platform keeps a clipboard of its own: a change reaches the monitor.
TEST_F(ClipboardMonitorTest, FollowsTheApplicationClipboard) {
    start(kModeOpen);
    QGuiApplication::clipboard()->setText("http://h.example/from-clipboard.zip");
    ASSERT_TRUE(launchedSoon(1));
    EXPECT_EQ(launcher.launches, QStringList{"http://h.example/from-clipboard.zip"});
}

} // namespace
