// The notification-area icon as the tray class needs it, behind an interface so that tests can
// play a tray that is missing, fails or restarts. Mouse messages keep their window-message
// numbers, which the monitor's callback is written against.
#pragma once

#include <QIcon>
#include <QObject>
#include <QPoint>
#include <QString>
#include <QTimer>

class QMenu;
class QSystemTrayIcon;

namespace monitor {

constexpr int WM_LBUTTONDOWN = 0x0201;
constexpr int WM_RBUTTONUP = 0x0205;
constexpr int WM_LBUTTONDBLCLK = 0x0203;

class TrayIcon : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    // Puts the icon into the notification area; false when there is none to take it.
    virtual bool add(const QIcon& icon, const QString& toolTip) = 0;
    // Takes the icon out; true when it is gone.
    virtual bool remove() = 0;
    // The menu the platform shows on a right click.
    virtual void setMenu(QMenu* menu) = 0;
    // Shows the menu at a point when the platform does not show it by itself.
    virtual void popUpMenu(QMenu* menu, const QPoint& at) = 0;

signals:
    // A mouse message on the icon (WM_LBUTTONDOWN, WM_RBUTTONUP, WM_LBUTTONDBLCLK).
    void mouseMessage(int message);
    // The notification area came (back): an icon that could not be added may be added now.
    void trayCreated();
};

// The real icon over QSystemTrayIcon.
class QtTrayIcon : public TrayIcon {
    Q_OBJECT
public:
    explicit QtTrayIcon(QObject* parent = nullptr);
    ~QtTrayIcon() override;
    bool add(const QIcon& icon, const QString& toolTip) override;
    bool remove() override;
    void setMenu(QMenu* menu) override;
    void popUpMenu(QMenu* menu, const QPoint& at) override;

private:
    void watchTray();

    QSystemTrayIcon* icon_;
    QTimer watch_;
    bool trayWasAvailable_;
};

} // namespace monitor
