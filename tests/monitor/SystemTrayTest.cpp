#include "monitor/SystemTray.h"
#include "MonitorTestSupport.h"
#include "monitor/MonitorIds.h"

#include <QAction>
#include <QMenu>
#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace monitor;

namespace {

class SystemTrayTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto fake = std::make_unique<mgtest::FakeTrayIcon>();
        icon = fake.get();
        tray.setTrayIcon(std::move(fake));
    }
    CSystemTray tray;
    mgtest::FakeTrayIcon* icon = nullptr;
};

TEST_F(SystemTrayTest, TheMenuHasItsIdsTextsAndSeparatorsInOrder) {
    ASSERT_TRUE(tray.install(kTrayToolTip, QIcon(), kTrayIconId, false));
    QStringList seen;
    for (QAction* action : tray.menu()->actions())
        seen << (action->isSeparator()
                     ? QStringLiteral("-")
                     : QString::number(action->data().toInt()) + " " + action->text());
    EXPECT_EQ(seen, (QStringList{"32801 &Show Last URL", "32800 &Launch Marrowglen", "-",
                                 "32805 &Don't Monitor", "32803 Monitor && &Open",
                                 "32804 Monitor && &Ask", "-", "32799 E&xit"}));
    EXPECT_EQ(icon->menu, tray.menu());
    EXPECT_TRUE(icon->visible);
    EXPECT_EQ(icon->shownToolTip, "Marrowglen Demo Clipboard Monitor");
}

TEST_F(SystemTrayTest, CutsTheToolTipAt63Characters) {
    const QString longTip(80, QLatin1Char('x'));
    tray.install(longTip, QIcon(), kTrayIconId, false);
    EXPECT_EQ(icon->shownToolTip, QString(63, QLatin1Char('x')));
}

TEST_F(SystemTrayTest, DefaultItemAndCheckMarksKeepTheTexts) {
    tray.install(kTrayToolTip, QIcon(), kTrayIconId, false);
    EXPECT_TRUE(tray.markDefaultItem(ID_TRAY_SHOW_LAST_URL, false));
    EXPECT_EQ(tray.menu()->defaultAction(), tray.action(ID_TRAY_SHOW_LAST_URL));
    EXPECT_TRUE(tray.setItemCheck(ID_TRAY_MONITOR_ASK, true));
    EXPECT_TRUE(tray.action(ID_TRAY_MONITOR_ASK)->isChecked());
    EXPECT_TRUE(tray.setItemCheck(ID_TRAY_MONITOR_ASK, false));
    EXPECT_FALSE(tray.action(ID_TRAY_MONITOR_ASK)->isChecked());
    EXPECT_EQ(tray.action(ID_TRAY_MONITOR_ASK)->text(), "Monitor && &Ask");
    EXPECT_FALSE(tray.setItemCheck(4711, true));
    // By position: the second item.
    EXPECT_TRUE(tray.markDefaultItem(1, true));
    EXPECT_EQ(tray.menu()->defaultAction(), tray.action(ID_TRAY_LAUNCH));
}

TEST_F(SystemTrayTest, RightClickShowsTheMenuAndDoubleClickHandsOverTheDefault) {
    tray.install(kTrayToolTip, QIcon(), kTrayIconId, false);
    tray.markDefaultItem(ID_TRAY_SHOW_LAST_URL, false);
    QSignalSpy notify(&tray, &CSystemTray::trayNotify);
    QSignalSpy commands(&tray, &CSystemTray::command);
    EXPECT_EQ(tray.handleIconMessage(kTrayIconId, WM_RBUTTONUP), 1);
    EXPECT_EQ(icon->menuPopUps, 1);
    EXPECT_EQ(tray.handleIconMessage(kTrayIconId, WM_LBUTTONDBLCLK), 1);
    ASSERT_EQ(notify.count(), 1);
    EXPECT_EQ(notify.at(0).at(0).toInt(), ID_TRAY_SHOW_LAST_URL);
    EXPECT_EQ(commands.count(), 0); // a double-click is not a command
    EXPECT_EQ(tray.handleIconMessage(kTrayIconId + 1, WM_RBUTTONUP), 0);

    tray.action(ID_TRAY_EXIT)->trigger();
    ASSERT_EQ(commands.count(), 1);
    EXPECT_EQ(commands.at(0).at(0).toInt(), ID_TRAY_EXIT);
}

TEST_F(SystemTrayTest, AnIconWithoutTrayIsAddedWhenTheTrayComesBack) {
    icon->available = false;
    EXPECT_FALSE(tray.install(kTrayToolTip, QIcon(), kTrayIconId, false));
    EXPECT_TRUE(tray.isShowPending());
    EXPECT_FALSE(icon->visible);
    icon->comeBack();
    EXPECT_TRUE(icon->visible);
    EXPECT_FALSE(tray.isShowPending());
    EXPECT_FALSE(tray.isHidden());
    EXPECT_EQ(icon->shownToolTip, "Marrowglen Demo Clipboard Monitor");
    // A shell restart puts a standing icon back as well.
    const int adds = icon->adds;
    icon->comeBack();
    EXPECT_EQ(icon->adds, adds + 1);
}

TEST_F(SystemTrayTest, ARemovedOrHiddenIconStaysAwayWhenTheTrayRestarts) {
    tray.install(kTrayToolTip, QIcon(), kTrayIconId, false);
    EXPECT_TRUE(tray.deleteIcon());
    EXPECT_TRUE(tray.isRemoved());
    EXPECT_FALSE(icon->visible);
    icon->comeBack();
    EXPECT_FALSE(icon->visible);
    tray.uninstall();
    EXPECT_EQ(tray.menu(), nullptr);
    EXPECT_EQ(icon->menu, nullptr);
}

} // namespace
