#include "monitor/SystemTray.h"

#include "monitor/MonitorIds.h"

#include <QCursor>
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>

namespace monitor {

std::unique_ptr<QMenu> buildTrayMenu(int menuId) {
    auto menu = std::make_unique<QMenu>();
    if (menuId != IDR_TRAY_MENU)
        return menu;
    menu->setObjectName(QStringLiteral("TRAY_MENU"));
    const auto add = [&menu](int id, const char* text) {
        QAction* action = menu->addAction(QString::fromLatin1(text));
        action->setData(id);
    };
    add(ID_TRAY_SHOW_LAST_URL, kTextShowLastUrl);
    add(ID_TRAY_LAUNCH, kTextLaunch);
    menu->addSeparator();
    add(ID_TRAY_DONT_MONITOR, kTextDontMonitor);
    add(ID_TRAY_MONITOR_OPEN, kTextMonitorOpen);
    add(ID_TRAY_MONITOR_ASK, kTextMonitorAsk);
    menu->addSeparator();
    add(ID_TRAY_EXIT, kTextExit);
    return menu;
}

CSystemTray::CSystemTray(QObject* parent) : QObject(parent) {}

CSystemTray::~CSystemTray() = default;

void CSystemTray::setTrayIcon(std::unique_ptr<TrayIcon> icon) {
    icon_ = std::move(icon);
}

bool CSystemTray::install(const QString& toolTip, const QIcon& icon, int menuId, bool hidden) {
    if (!icon_)
        icon_ = std::make_unique<QtTrayIcon>();
    connect(icon_.get(), &TrayIcon::mouseMessage, this,
            [this](int message) { emit trayMessage(iconId_, message); });
    connect(icon_.get(), &TrayIcon::trayCreated, this, &CSystemTray::restoreIcon);
    iconId_ = menuId;
    iconImage_ = icon;
    toolTip_ = toolTip.left(kMaxToolTip);
    menu_ = buildTrayMenu(menuId);
    connect(menu_.get(), &QMenu::triggered, this,
            [this](QAction* action) { emit command(action->data().toInt()); });
    connect(menu_.get(), &QMenu::aboutToShow, this, &CSystemTray::menuAboutToShow);
    icon_->setMenu(menu_.get());
    // A changed work area can mean a restarted panel: put the icon back then too.
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        connect(screen, &QScreen::availableGeometryChanged, this, &CSystemTray::restoreIcon);
    hidden_ = hidden;
    if (hidden)
        return true;
    if (!icon_->add(iconImage_, toolTip_)) {
        hidden_ = removed_ = showPending_ = true;
        return false;
    }
    return true;
}

bool CSystemTray::deleteIcon() {
    showPending_ = false;
    if (removed_)
        return true;
    if (icon_ && icon_->remove())
        hidden_ = removed_ = true;
    return removed_;
}

void CSystemTray::restoreIcon() {
    if (!icon_ || (!showPending_ && hidden_))
        return; // a hidden icon stays hidden
    if (icon_->add(iconImage_, toolTip_))
        showPending_ = removed_ = hidden_ = false;
    else
        showPending_ = true;
}

bool CSystemTray::markDefaultItem(int item, bool byPosition) {
    if (defaultItem_ == item && defaultByPosition_ == byPosition)
        return true;
    defaultItem_ = item;
    defaultByPosition_ = byPosition;
    if (!menu_ || menu_->actions().isEmpty())
        return false;
    menu_->setDefaultAction(defaultAction());
    return true;
}

QAction* CSystemTray::action(int commandId) const {
    if (!menu_)
        return nullptr;
    for (QAction* candidate : menu_->actions())
        if (!candidate->isSeparator() && candidate->data().toInt() == commandId)
            return candidate;
    return nullptr;
}

QAction* CSystemTray::defaultAction() const {
    if (!defaultByPosition_)
        return action(defaultItem_);
    const QList<QAction*> actions = menu_ ? menu_->actions() : QList<QAction*>();
    return defaultItem_ >= 0 && defaultItem_ < actions.size() ? actions[defaultItem_] : nullptr;
}

bool CSystemTray::setItemCheck(int commandId, bool checked) {
    QAction* item = action(commandId);
    if (!item)
        return false;
    item->setCheckable(true);
    item->setChecked(checked);
    return true;
}

int CSystemTray::handleIconMessage(int iconId, int mouseMessage) {
    if (iconId != iconId_ || !menu_)
        return 0;
    if (mouseMessage == WM_RBUTTONUP) {
        menu_->setDefaultAction(defaultAction());
        icon_->popUpMenu(menu_.get(), QCursor::pos());
    } else if (mouseMessage == WM_LBUTTONDBLCLK) {
        const QAction* chosen = defaultAction();
        emit trayNotify(chosen ? chosen->data().toInt() : 0);
    }
    return 1;
}

void CSystemTray::uninstall() {
    deleteIcon();
    if (icon_)
        icon_->setMenu(nullptr);
    menu_.reset();
}

} // namespace monitor
