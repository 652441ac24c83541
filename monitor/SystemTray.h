// One icon with a tooltip in the notification area: routes the icon's mouse messages, shows
// the tray menu with its default item and check marks, and puts the icon back when the
// notification area comes back.
#pragma once

#include "monitor/TrayIcon.h"

#include <QIcon>
#include <QObject>
#include <QString>

#include <memory>

class QAction;
class QMenu;

namespace monitor {

class CSystemTray : public QObject {
    Q_OBJECT
public:
    static constexpr int kMaxToolTip = 63;

    explicit CSystemTray(QObject* parent = nullptr);
    ~CSystemTray() override;

    // Seam for tests: the icon to drive (the real one by default).
    void setTrayIcon(std::unique_ptr<TrayIcon> icon);

    // Makes the icon with its menu (the tray menu for `menuId`); shown unless `hidden`.
    // True when the icon stands, or when it was made hidden.
    bool install(const QString& toolTip, const QIcon& icon, int menuId, bool hidden);
    bool deleteIcon();
    void restoreIcon();
    bool markDefaultItem(int item, bool byPosition);
    bool setItemCheck(int commandId, bool checked);
    // 1 when the message was for this icon, 0 otherwise.
    int handleIconMessage(int iconId, int mouseMessage);
    void uninstall();

    int iconId() const { return iconId_; }
    QString toolTip() const { return toolTip_; }
    QMenu* menu() const { return menu_.get(); }
    QAction* action(int commandId) const;
    bool isHidden() const { return hidden_; }
    bool isRemoved() const { return removed_; }
    bool isShowPending() const { return showPending_; }

signals:
    // A mouse message on the icon, as the monitor's callback takes it.
    void trayMessage(int iconId, int mouseMessage);
    // A command chosen in the tray menu.
    void command(int commandId);
    // A double-click: the default command, handed over without running it.
    void trayNotify(int defaultCommand);
    // The menu is about to be shown (a chance to refresh its check marks).
    void menuAboutToShow();

private:
    QAction* defaultAction() const;

    std::unique_ptr<TrayIcon> icon_;
    std::unique_ptr<QMenu> menu_;
    QIcon iconImage_;
    QString toolTip_;
    int iconId_ = 0;
    bool hidden_ = true;
    bool removed_ = false;
    bool showPending_ = false;
    int defaultItem_ = 0;
    bool defaultByPosition_ = false;
};

// The tray menu (resource 181) in the order the user sees it; each action carries its id.
std::unique_ptr<QMenu> buildTrayMenu(int menuId);

} // namespace monitor
