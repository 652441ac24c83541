// The monitor as a process: one per user, the stop message, the Settings dialog's restart.
#include "MonitorTestSupport.h"
#include "monitor/MonitorControl.h"
#include "monitor/MonitorInstance.h"

#include <QFile>
#include <QLocalSocket>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <signal.h>

using namespace monitor;
using namespace std::chrono_literals;

namespace {

// Starts monitors the way the Settings dialog does, as helper processes of the test program.
class HelperLauncher : public Launcher {
public:
    bool launchSelf(const QString& parameter) override {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("MG_MONITOR_CHILD"), QStringLiteral("monitor"));
        process.setProcessEnvironment(environment);
        process.setProgram(QCoreApplication::applicationFilePath());
        process.setArguments({parameter});
        qint64 pid = 0;
        const bool started = process.startDetached(&pid);
        pids << pid;
        return started;
    }
    QList<qint64> pids;
};

bool processGone(qint64 pid) {
    return ::kill(static_cast<pid_t>(pid), 0) != 0;
}

class MonitorProcessTest : public ::testing::Test {
protected:
    void TearDown() override {
        stopRunningMonitor();
        for (auto& helper : helpers)
            if (helper->state() != QProcess::NotRunning) {
                helper->kill();
                helper->waitForFinished(3000);
            }
    }
    QProcess* startMonitorHelper() {
        helpers.emplace_back(mgtest::startHelper(QStringLiteral("monitor"), {"/m"}));
        return helpers.back().get();
    }
    std::vector<std::unique_ptr<QProcess>> helpers;
};

TEST(MonitorInstance, OneHolderAtATime) {
    MonitorInstance first;
    MonitorInstance second;
    ASSERT_TRUE(first.acquire());
    EXPECT_FALSE(second.acquire());
    EXPECT_TRUE(isMonitorRunning());
    first.release();
    EXPECT_TRUE(second.acquire());
    EXPECT_TRUE(MonitorInstance::socketPath().startsWith(qEnvironmentVariable("XDG_RUNTIME_DIR")));
}

TEST(MonitorInstance, AStrangerOnTheSocketIsIgnored) {
    MonitorInstance instance;
    ASSERT_TRUE(instance.acquire());
    int stops = 0;
    QObject::connect(&instance, &MonitorInstance::stopRequested, [&] { ++stops; });
    QLocalSocket socket;
    socket.connectToServer(MonitorInstance::socketPath());
    ASSERT_TRUE(socket.waitForConnected(1000));
    socket.write("HELLO\n");
    socket.write(QByteArray(200, 'x'));
    socket.flush();
    EXPECT_TRUE(
        mgtest::waitUntil([&] { return socket.state() != QLocalSocket::ConnectedState; }, 2s));
    EXPECT_EQ(stops, 0);
    EXPECT_TRUE(instance.isHeld());
}

TEST_F(MonitorProcessTest, ASecondMonitorEndsAtOnceAndTheStopMessageEndsTheFirst) {
    QProcess* first = startMonitorHelper();
    ASSERT_TRUE(mgtest::waitUntil([] { return isMonitorRunning(); }));
    QProcess* second = startMonitorHelper();
    ASSERT_TRUE(second->waitForFinished(5000));
    EXPECT_EQ(second->exitCode(), 1);
    EXPECT_EQ(first->state(), QProcess::Running);
    EXPECT_TRUE(isMonitorRunning());

    EXPECT_TRUE(stopRunningMonitor());
    EXPECT_FALSE(isMonitorRunning());
    ASSERT_TRUE(first->waitForFinished(5000));
    EXPECT_EQ(first->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(first->exitCode(), 0);
}

TEST_F(MonitorProcessTest, AMonitorThatDiedLeavesNothingInTheWay) {
    QProcess* crashed = startMonitorHelper();
    ASSERT_TRUE(mgtest::waitUntil([] { return isMonitorRunning(); }));
    crashed->kill();
    crashed->waitForFinished(3000);
    QProcess* next = startMonitorHelper();
    EXPECT_TRUE(mgtest::waitUntil([] { return isMonitorRunning(); }));
    EXPECT_EQ(next->state(), QProcess::Running);
}

// A change of mode ends with exactly one monitor, in the new mode (none for mode 1).
TEST_F(MonitorProcessTest, TheSettingsDialogRestartEndsWithExactlyOneMonitor) {
    QProcess* old = startMonitorHelper();
    ASSERT_TRUE(mgtest::waitUntil([] { return isMonitorRunning(); }));
    HelperLauncher launcher;
    restartMonitorForMode(3, &launcher);
    ASSERT_EQ(launcher.pids.size(), 1);
    EXPECT_TRUE(old->waitForFinished(5000));
    EXPECT_TRUE(mgtest::waitUntil([] { return isMonitorRunning(); }));
    QTest::qWait(300); // the new one must not have ended on finding the old one
    EXPECT_FALSE(processGone(launcher.pids[0]));
    EXPECT_TRUE(isMonitorRunning());

    restartMonitorForMode(1, &launcher);
    EXPECT_EQ(launcher.pids.size(), 1);
    EXPECT_FALSE(isMonitorRunning());
    EXPECT_TRUE(mgtest::waitUntil([&] { return processGone(launcher.pids[0]); }));
}

TEST(MonitorControl, StartingLaunchesTheProgramWithSlashM) {
    mgtest::RecordingLauncher launcher;
    EXPECT_TRUE(startMonitorProcess(&launcher));
    EXPECT_EQ(launcher.launches, QStringList{"/m"});
    EXPECT_TRUE(stopRunningMonitor(200)); // none runs: nothing to stop
}

} // namespace
