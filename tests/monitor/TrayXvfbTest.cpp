// The real notification-area icon against a real tray (trayer) on Xvfb.
#include "MonitorTestSupport.h"
#include "XvfbServer.h"

#include <QStandardPaths>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

using namespace std::chrono_literals;

namespace {

class TrayXvfbTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!mgtest::XvfbServer::available() || trayerProgram().isEmpty())
            GTEST_SKIP() << "Xvfb or trayer is not installed";
        ASSERT_FALSE(xserver.display().isEmpty()) << "Xvfb did not start";
    }
    static QString trayerProgram() {
        return QStandardPaths::findExecutable(QStringLiteral("trayer"));
    }
    void startTray() {
        tray = std::make_unique<mgtest::ScopedProcess>(
            trayerProgram(), QStringList{"--edge", "bottom", "--align", "right", "--height", "24"},
            xserver.environment());
        // trayer owns the tray selection shortly after it starts.
        QTest::qWait(500);
    }
    // The first line the helper says, or "" when it says none in time.
    static QString nextLine(QProcess& helper, std::chrono::milliseconds timeout) {
        if (!mgtest::waitUntil([&] { return helper.canReadLine(); }, timeout))
            return {};
        return QString::fromLatin1(helper.readLine().trimmed());
    }

    mgtest::XvfbServer xserver;
    std::unique_ptr<mgtest::ScopedProcess> tray;
};

TEST_F(TrayXvfbTest, TheIconGoesIntoARunningTray) {
    startTray();
    std::unique_ptr<QProcess> helper(mgtest::startHelper("tray", {}, xserver.environment()));
    EXPECT_EQ(nextLine(*helper, 10s), "added");
    helper->kill();
    helper->waitForFinished(3000);
}

TEST_F(TrayXvfbTest, APendingIconIsAddedWhenATrayAppears) {
    std::unique_ptr<QProcess> helper(mgtest::startHelper("tray", {}, xserver.environment()));
    ASSERT_EQ(nextLine(*helper, 10s), "pending");
    startTray();
    EXPECT_EQ(nextLine(*helper, 10s), "shown");
    helper->kill();
    helper->waitForFinished(3000);
}

} // namespace
